// quillane-test's results and the reports made of them: the terminal summary, TAP 13, JUnit XML
// and JSON. Every report is a function of the results alone (times are board time), so a run
// with several jobs reports exactly what one job does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct qt_failure_t {
    std::string where;    // "file:line", or "" when unknown
    std::string text;     // the check's expression or the guard's reason
    std::string expected; // "" when the failure compares nothing
    std::string actual;
};

struct qt_result_t {
    std::string name;
    std::string where;  // where the test starts ("a_test.c:12"), or ""
    uint64_t ticks = 0; // T-states from its call to its end
    std::vector<qt_failure_t> failures;
    uint64_t failure_tick = 0; // the board tick of the first failure (for recordings)
    bool passed() const { return failures.empty(); }
};

// "a_test.c:9: add(2, 2) == 5: expected 5, actual 4"
std::string qt_failure_line(const qt_failure_t &f);

// A result as bytes and back (between the processes of --jobs); false when the bytes are short.
std::string qt_result_encode(const qt_result_t &r);
bool qt_result_decode(const std::string &bytes, size_t *at, qt_result_t *r);

// A line per test with its T-states, each failure in full under it, then "N passed, N failed".
// colour: ANSI colours for a terminal.
std::string qt_report_terminal(const std::vector<qt_result_t> &results, bool colour);
std::string qt_report_tap(const std::vector<qt_result_t> &results);
// suite: the suite's name (the image's).
std::string qt_report_junit(const std::vector<qt_result_t> &results, const std::string &suite);
std::string qt_report_json(const std::vector<qt_result_t> &results, const std::string &image);
