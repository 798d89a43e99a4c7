// quillane-test: unit tests of board programs. Finds the test_... functions and labels of a test
// image, runs its start-up once, saves the machine there and calls every test from that state
// through the debug engine, as quillane-run drives the machine; the checks of quillane_test.h and
// quillane_test.inc reach it through writes to port F0, which the board does not decode.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fnmatch.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "debug/collect/coverage.h"
#include "debug/collect/profile.h"
#include "debug/core/engine.h"
#include "debug/info/source.h"
#include "debug/travel/history.h"
#include "debug/travel/record.h"
#include "debug/travel/state.h"
#include "files/output.h"
#include "machine/process.h"
#include "runner/golden.h"
#include "runner/machine_options.h"
#include "runner/test_report.h"

namespace {

enum : int { EXIT_PASSED = 0, EXIT_FAILED = 1, EXIT_USAGE = 2 };

// The channel and the test's stack: SP starts at FF00 (as the C start-up code sets it), the return
// address to the runner sits at FEFE, and the stack may grow down to FB00.
constexpr uint8_t CHANNEL_PORT = 0xF0;
constexpr uint16_t STACK_TOP = 0xFF00;
constexpr uint16_t RETURN_SLOT = STACK_TOP - 2;
constexpr uint16_t STACK_BOTTOM = 0xFB00;
constexpr uint16_t ROM_END = 0x2000;
constexpr uint16_t MONITOR_WARM_START = 0x0010;
constexpr uint64_t DEFAULT_BUDGET = 10000000;
// The start-up (the monitor's boot, typing its g command, the image's own start-up) ends within
// this much board time, 20 s, or the image is not a test image that starts.
constexpr uint64_t STARTUP_TICKS = 200000000;
// More messages than this from one test end it: a check in a loop that never ends.
constexpr uint32_t MAX_MESSAGES = 10000;
// Failures kept in full per test; the rest are counted.
constexpr size_t MAX_FAILURES = 20;

// Message kinds (quillane_test.h, quillane_test.inc).
enum : uint8_t {
    MSG_CHECK = 1,
    MSG_EQ = 2,
    MSG_MEM = 3,
    MSG_FAIL = 4,
    MSG_BUDGET = 5,
    MSG_SCREEN = 6,
    MSG_BUDGET_THOUSANDS = 7, // assembly's BUDGET: actual thousand T-states
    MSG_REG_A = 16,           // 16-27: A B C D E H L BC DE HL IX IY
    MSG_REG_IY = 27,
    MSG_FLAG_Z = 28,
    MSG_FLAG_C = 29,
    MSG_BYTE = 30,
    MSG_WORD = 31,
};
enum : uint8_t { FLAG_FATAL = 1, FLAG_ACTUAL_SIGNED = 2, FLAG_EXPECTED_SIGNED = 4 };

const char usage_text[] =
    "Usage: quillane-test [options] IMAGE\n"
    "Runs the unit tests of a test image (sdk/qcc --test, or sdk/qasm with quillane_test.inc):\n"
    "every C function and label test_..., each from the state after the image's start-up and\n"
    "test_setup, called like a function that returns to the runner.\n"
    "\n"
    "Machine:\n"
    "  --rom FILE          the ROM image (default: tessik.hex in the current directory, else\n"
    "                      the installed one in share/quillane)\n"
    "  --no-rom            no ROM; the image starts at its start address\n"
    "  --symbols FILE      load symbols or debug information (repeatable); what lies beside\n"
    "                      IMAGE (IMAGE.cdb, .noi, .sym, .lines) loads anyway\n"
    "  --source-dir DIR    where sources are looked for (repeatable)\n"
    "Tests:\n"
    "  --list              print the tests found, in source order, and run none\n"
    "  --filter GLOB       run the tests whose names match GLOB (repeatable; a leading -\n"
    "                      excludes the names that match the rest)\n"
    "  --budget N          T-states a test may run (decimal; default 10000000, a board\n"
    "                      second); QT_BUDGET(n), or BUDGET n in thousands, sets\n"
    "                      one test's own\n"
    "  --jobs N            run the tests in N processes (default: the number of processors);\n"
    "                      the results and their order are those of one\n"
    "  --golden DIR        the pictures QT_CHECK_SCREEN(\"name\") compares the screen with\n"
    "                      (DIR/name.png); a difference writes name.actual.png and\n"
    "                      name.diff.png beside it\n"
    "  --update-golden     write the pictures instead of comparing\n"
    "Reports (files replaced only once written in full; checked before the run):\n"
    "  --tap               TAP version 13 on standard output instead of the summary\n"
    "  --junit FILE        JUnit XML\n"
    "  --json FILE         the results as JSON\n"
    "  --coverage FILE     the lines and functions the tests ran, as an lcov tracefile\n"
    "  --profile FILE      where the tests' T-states went, in callgrind's format\n"
    "  --record-failures DIR  a recording NAME.rec of each failed test, which\n"
    "                      quillane-run --replay opens stopped at its first failure\n"
    "  --help, --version\n"
    "\n"
    "Exit status: 0 all tests passed, 1 a test failed or the image holds no tests, 2 bad\n"
    "arguments, an image that fails to load or start, or a report that cannot be written.\n";

struct options_t {
    runner_machine_t machine;
    bool list = false;
    bool tap = false;
    std::vector<std::string> filters;
    uint64_t budget = DEFAULT_BUDGET;
    long jobs = 0; // 0: the number of processors
    std::string junit, json, coverage, profile, record_dir, golden;
    bool update_golden = false;
};

int bad(const std::string &message) {
    std::fprintf(stderr, "quillane-test: %s\n", message.c_str());
    return EXIT_USAGE;
}

// Returns -1 when the options are good, else the exit status (after --help or an error).
int parse(int argc, char **argv, options_t *o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        std::string error;
        const int machine = runner_machine_option(argc, argv, &i, &o->machine, &error);
        if (machine < 0) return bad(error);
        if (machine > 0) continue;
        if (runner_info_option(a, "quillane-test", usage_text)) return EXIT_PASSED;
        if (a == "--list") {
            o->list = true;
        } else if (a == "--tap") {
            o->tap = true;
        } else if (a == "--update-golden") {
            o->update_golden = true;
        } else if (a == "--filter" || a == "--budget" || a == "--jobs" || a == "--junit" ||
                   a == "--json" || a == "--coverage" || a == "--profile" ||
                   a == "--record-failures" || a == "--golden") {
            if (i + 1 >= argc) return bad(a + " needs a value");
            const std::string v = argv[++i];
            if (v.empty()) return bad(a + " needs a value, not an empty one");
            uint64_t number = 0;
            if (a == "--filter") o->filters.push_back(v);
            if (a == "--budget" || a == "--jobs") {
                if (!dbg_parse_decimal(v, a == "--jobs" ? 256 : DBG_TICKS_MAX, &number) ||
                    number == 0)
                    return bad(a + " needs a decimal number from 1" +
                               (a == "--jobs" ? " to 256" : "") + ": " + v);
                if (a == "--budget") o->budget = number;
                if (a == "--jobs") o->jobs = static_cast<long>(number);
            }
            if (a == "--junit") o->junit = v;
            if (a == "--json") o->json = v;
            if (a == "--coverage") o->coverage = v;
            if (a == "--profile") o->profile = v;
            if (a == "--record-failures") o->record_dir = v;
            if (a == "--golden") o->golden = v;
        } else if (a.size() > 1 && a[0] == '-') {
            return bad("unknown option " + a + " (--help lists the options)");
        } else {
            o->machine.images.push_back(a);
        }
    }
    if (o->machine.images.size() != 1) return bad("one test image, please (--help)");
    if (o->update_golden && o->golden.empty()) return bad("--update-golden needs --golden DIR");
    runner_machine_finish(&o->machine);
    if (o->jobs == 0) o->jobs = std::max(1L, sysconf(_SC_NPROCESSORS_ONLN));
    return -1;
}

struct test_t {
    std::string name;
    uint16_t address;
    std::string where; // its first line, "a_test.c:12"
};

// The C functions test_... of the debug information and the labels test_... of the symbols, in
// the order of their addresses, which is their order in the sources (files in link order).
std::vector<test_t> discover(dbg_engine_t *e, bool *has_setup, uint16_t *setup) {
    std::vector<test_t> tests;
    const dbg_source_t *model = dbg_source_model(e);
    auto add = [&](const std::string &name, uint16_t address) {
        if (name.rfind("test_", 0) != 0) return;
        if (name == "test_setup") {
            *has_setup = true;
            *setup = address;
            return;
        }
        for (const test_t &t : tests)
            if (t.address == address || t.name == name) return;
        tests.push_back({name, address, model ? dbg_source_where(model, address) : ""});
    };
    if (model)
        for (const dbg_function_t &f : model->functions)
            add(f.name, f.start);
    for (const auto &[address, name] : dbg_symbol_table(e)->by_address)
        add(name, address);
    std::stable_sort(tests.begin(), tests.end(),
                     [](const test_t &a, const test_t &b) { return a.address < b.address; });
    return tests;
}

// --filter: a name is run when it matches an including pattern (or there is none) and no
// excluding one.
bool selected(const std::string &name, const std::vector<std::string> &filters) {
    bool any_include = false, included = false;
    for (const std::string &f : filters) {
        const bool exclude = f[0] == '-';
        const std::string glob = exclude ? f.substr(1) : f;
        const bool match = fnmatch(glob.c_str(), name.c_str(), 0) == 0;
        if (exclude && match) return false;
        if (!exclude) {
            any_include = true;
            included = included || match;
        }
    }
    return !any_include || included;
}

struct runner_t {
    dbg_engine_t *e;
    std::string golden; // --golden, --update-golden
    bool update_golden;
    // Where the start-up stops (qt_ready), and where the tests return to. A test that jumps back
    // into the start-up code does not pass for returned: the start-up pushes onto the stack
    // before qt_ready, over the return address, which is a guard.
    uint16_t ready;
    dbg_machine_state_t start; // the machine after the start-up and test_setup
    uint64_t budget;
};

uint16_t peek16(dbg_engine_t *e, uint16_t address) {
    return static_cast<uint16_t>(dbg_peek(e, address) | dbg_peek(e, address + 1) << 8);
}

uint64_t peek64(dbg_engine_t *e, uint16_t address) {
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = value << 8 | dbg_peek(e, static_cast<uint16_t>(address + i));
    return value;
}

// A 0-terminated string of the program, at most 200 bytes.
std::string peek_string(dbg_engine_t *e, uint16_t address) {
    std::string s;
    for (uint16_t a = address; s.size() < 200; ++a) {
        const uint8_t c = dbg_peek(e, a);
        if (c == 0) break;
        s += static_cast<char>(c);
    }
    return s;
}

std::string hex_bytes(dbg_engine_t *e, uint16_t address, uint32_t count) {
    std::string s;
    for (uint32_t i = 0; i < count && i < 16; ++i)
        s += (i ? " " : "") + dbg_hex2(dbg_peek(e, static_cast<uint16_t>(address + i)));
    return count > 16 ? s + " ..." : s;
}

std::string number_text(uint64_t value, bool is_signed) {
    if (is_signed) return std::to_string(static_cast<int64_t>(value));
    return std::to_string(value);
}

// "file:line" of code at address from the line tables, and that line's text (an assembly
// check's own words), or "" when unknown.
std::string where_of(dbg_engine_t *e, uint16_t address, std::string *text = nullptr) {
    dbg_source_t *model = dbg_source_model(e);
    if (!model) return "";
    const dbg_line_range_t *line = dbg_source_line_at(model, address);
    if (!line) return "";
    if (text) {
        const std::vector<std::string> &lines = dbg_source_text(model, line->file);
        if (line->line >= 1 && static_cast<size_t>(line->line) <= lines.size()) {
            std::string t = lines[line->line - 1];
            t = t.substr(0, t.find(';'));
            const size_t first = t.find_first_not_of(" \t");
            const size_t last = t.find_last_not_of(" \t\r");
            *text = first == std::string::npos ? "" : t.substr(first, last - first + 1);
        }
    }
    return dbg_place_of_line(e, line->file, line->line);
}

// One test's run: its result so far and what ends it.
struct call_t {
    qt_result_t result;
    uint64_t start_tick;
    uint64_t limit;     // the tick its budget ends at
    uint64_t stop_tick; // a recording's run stops here (UINT64_MAX: none)
    uint32_t messages = 0;
    size_t dropped = 0; // failures past MAX_FAILURES
    bool done = false;
};

void fail(call_t *c, dbg_engine_t *e, qt_failure_t f) {
    if (c->result.failures.empty()) c->result.failure_tick = dbg_ticks(e);
    if (c->result.failures.size() < MAX_FAILURES)
        c->result.failures.push_back(std::move(f));
    else
        ++c->dropped;
}

// The value an assembly register check compares: HL is on the stack (the check pushed it).
uint32_t register_value(dbg_engine_t *e, const z_cpu_t &r, uint8_t kind) {
    const uint16_t hl = peek16(e, r.SP);
    switch (kind) {
    case MSG_REG_A: return r.AF >> 8;
    case MSG_REG_A + 1: return r.BC >> 8;
    case MSG_REG_A + 2: return r.BC & 0xFF;
    case MSG_REG_A + 3: return r.DE >> 8;
    case MSG_REG_A + 4: return r.DE & 0xFF;
    case MSG_REG_A + 5: return hl >> 8;
    case MSG_REG_A + 6: return hl & 0xFF;
    case MSG_REG_A + 7: return r.BC;
    case MSG_REG_A + 8: return r.DE;
    case MSG_REG_A + 9: return hl;
    case MSG_REG_A + 10: return r.IX;
    default: return r.IY;
    }
}

const char *const register_names[] = {"A", "B",  "C",  "D",  "E",  "H",
                                      "L", "BC", "DE", "HL", "IX", "IY"};

// A message on the channel: the record HL points to (24 bytes, see quillane_test.h).
void message(runner_t *run, call_t *c, const dbg_stop_t &stop) {
    dbg_engine_t *e = run->e;
    if (++c->messages > MAX_MESSAGES) {
        c->result.failures.push_back(
            {where_of(e, stop.access_pc),
             "flooded the channel: more than " + std::to_string(MAX_MESSAGES) + " messages", "",
             ""});
        c->done = true;
        return;
    }
    const z_cpu_t r = dbg_registers(e);
    const uint16_t record = r.HL;
    const uint8_t kind = dbg_peek(e, record), flags = dbg_peek(e, record + 1);
    const uint16_t line = peek16(e, record + 2), file = peek16(e, record + 4);
    const uint16_t text_at = peek16(e, record + 6);
    const uint64_t actual = peek64(e, record + 8), expected = peek64(e, record + 16);
    qt_failure_t f;
    std::string line_text;
    f.where = line && file ? peek_string(e, file) + ":" + std::to_string(line)
                           : where_of(e, stop.access_pc, &line_text);
    f.text = text_at ? peek_string(e, text_at) : line_text;
    bool failed = true;
    switch (kind) {
    case MSG_CHECK:
    case MSG_FAIL: break;
    case MSG_EQ:
        f.expected = number_text(expected, flags & FLAG_EXPECTED_SIGNED);
        f.actual = number_text(actual, flags & FLAG_ACTUAL_SIGNED);
        break;
    case MSG_MEM: {
        const uint16_t address = actual & 0xFFFF, bytes = expected & 0xFFFF;
        const uint32_t count = (actual >> 16) & 0xFFFF;
        failed = false;
        for (uint32_t i = 0; i < count && !failed; ++i) {
            const uint16_t at = static_cast<uint16_t>(address + i);
            const uint16_t want = static_cast<uint16_t>(bytes + i);
            if (dbg_peek(e, at) == dbg_peek(e, want)) continue;
            failed = true;
            const uint32_t shown = std::min<uint32_t>(count - i, 8);
            f.text += ": byte " + std::to_string(i) + " (" + dbg_hex4(at) + ") differs";
            f.expected = hex_bytes(e, want, shown);
            f.actual = hex_bytes(e, at, shown);
        }
        break;
    }
    case MSG_BUDGET:
    case MSG_BUDGET_THOUSANDS:
        c->limit =
            dbg_ticks_after(c->start_tick, kind == MSG_BUDGET ? actual : uint64_t{actual} * 1000);
        failed = false;
        break;
    case MSG_SCREEN: {
        std::string failure;
        failed = !qt_screen_check(e, run->golden, run->update_golden, f.text, &failure);
        f.text = "QT_CHECK_SCREEN(\"" + f.text + "\"): " + failure;
        break;
    }
    default:
        if (kind >= MSG_REG_A && kind <= MSG_BYTE + 1) {
            uint32_t value = 0;
            int digits = 2;
            if (kind <= MSG_REG_IY) {
                value = register_value(e, r, kind);
                digits = kind >= MSG_REG_A + 7 ? 4 : 2;
            } else if (kind == MSG_FLAG_Z || kind == MSG_FLAG_C) {
                value = (r.AF >> (kind == MSG_FLAG_Z ? 6 : 0)) & 1;
                digits = 1;
            } else if (kind == MSG_BYTE) {
                value = dbg_peek(e, actual & 0xFFFF);
            } else {
                value = peek16(e, actual & 0xFFFF);
                digits = 4;
            }
            failed = value != expected;
            auto show = [&](uint32_t v) {
                return digits == 1 ? std::to_string(v) : digits == 2 ? dbg_hex2(v) : dbg_hex4(v);
            };
            if (failed) {
                f.expected = show(expected);
                f.actual = show(value);
            }
            if (f.text.empty())
                f.text = kind <= MSG_REG_IY
                             ? std::string("CHECK_") + register_names[kind - MSG_REG_A]
                             : "check";
        } else {
            f.text = "unknown message kind " + std::to_string(kind) + " at " + dbg_hex4(record);
        }
    }
    if (failed) fail(c, e, f);
    if (failed && (flags & FLAG_FATAL)) c->done = true;
}

// What a stop means for the test: a message, its return, or a guard.
void stopped(runner_t *run, call_t *c, const dbg_stop_t &stop) {
    dbg_engine_t *e = run->e;
    const uint16_t sp = dbg_registers(e).SP;
    auto guard = [&](uint16_t address, const std::string &reason) {
        fail(c, e, {where_of(e, address), reason, "", ""});
        c->done = true;
    };
    switch (stop.cause) {
    case DBG_CAUSE_PORT_OUT: message(run, c, stop); return;
    case DBG_CAUSE_BREAKPOINT:
        if (stop.pc == run->ready) {
            c->done = true;
            if (sp != STACK_TOP)
                guard(stop.pc, "returned with the stack unbalanced: SP " + dbg_hex4(sp) + ", not " +
                                   dbg_hex4(STACK_TOP));
        } else {
            guard(stop.pc, "reached the monitor's warm start (" + dbg_hex4(stop.pc) + ")");
        }
        return;
    case DBG_CAUSE_WATCH_WRITE:
        if (stop.address < ROM_END)
            guard(stop.access_pc,
                  "wrote " + dbg_hex2(stop.value) + " into the ROM at " + dbg_hex4(stop.address));
        else if (stop.address >= RETURN_SLOT)
            guard(stop.access_pc, "overwrote the runner's return address at " +
                                      dbg_hex4(stop.address) + " (SP " + dbg_hex4(sp) + ")");
        else
            guard(stop.access_pc,
                  "the stack grew below " + dbg_hex4(STACK_BOTTOM) + " (SP " + dbg_hex4(sp) + ")");
        return;
    case DBG_CAUSE_WATCH_READ:
        guard(stop.access_pc, "the stack pointer left the test's stack: read " +
                                  dbg_hex4(stop.address) + " above its return address (SP " +
                                  dbg_hex4(sp) + ")");
        return;
    case DBG_CAUSE_HALT: {
        const z_cpu_t r = dbg_registers(e);
        guard(stop.pc, r.iff1 ? "HALT: nothing on the board interrupts, so it never ends"
                              : "HALT with interrupts disabled");
        return;
    }
    case DBG_CAUSE_INVALID: guard(stop.pc, stop.text); return;
    case DBG_CAUSE_TICKS:
        if (dbg_ticks(e) >= c->stop_tick) {
            c->done = true; // a recording's run reached its failure
            return;
        }
        guard(stop.pc,
              "ran past its budget of " + std::to_string(c->limit - c->start_tick) + " T-states");
        return;
    default: guard(stop.pc, "stopped: " + stop.text); return;
    }
}

// The machine as a call of address leaves it: the return address on the test's stack.
void set_call(dbg_engine_t *e, uint16_t return_to, uint16_t address) {
    std::string error;
    dbg_set_register(e, "sp", RETURN_SLOT, &error);
    dbg_poke(e, RETURN_SLOT, return_to & 0xFF);
    dbg_poke(e, RETURN_SLOT + 1, return_to >> 8);
    dbg_set_register(e, "pc", address, &error);
}

// Calls the code at address like a function from the machine's state now, with the return
// address pointing at the start-up's stop, and runs it to its end.
qt_result_t call(runner_t *run, const std::string &name, uint16_t address,
                 uint64_t stop_tick = UINT64_MAX) {
    dbg_engine_t *e = run->e;
    std::string error;
    set_call(e, run->ready, address);
    call_t c;
    c.result.name = name;
    c.start_tick = dbg_ticks(e);
    c.limit = dbg_ticks_after(c.start_tick, run->budget);
    c.stop_tick = stop_tick;
    while (!c.done) {
        dbg_set_tick_limit(e, std::min(c.limit, c.stop_tick));
        stopped(run, &c, dbg_continue(e));
    }
    // Failures past the kept ones are counted where they were left out, before a guard's reason.
    if (c.dropped)
        c.result.failures.insert(
            c.result.failures.begin() + MAX_FAILURES,
            {"", "and " + std::to_string(c.dropped) + " more failures", "", ""});
    c.result.ticks = dbg_ticks(e) - c.start_tick;
    return c.result;
}

// The guards every test runs under, as breakpoints and watchpoints of the engine.
bool add_guards(runner_t *run, std::string *error) {
    dbg_engine_t *e = run->e;
    dbg_break_add(e, run->ready, 0);
    dbg_break_add(e, MONITOR_WARM_START, 0);
    dbg_watch_add(e, DBG_WATCH_OUT, CHANNEL_PORT, 1);
    dbg_watch_add(e, DBG_WATCH_WRITE, 0, ROM_END);
    dbg_watch_add(e, DBG_WATCH_WRITE, RETURN_SLOT, 2);
    dbg_watch_add(e, DBG_WATCH_READ, STACK_TOP, 0x10000 - STACK_TOP);
    // A push below the stack's bottom; other writes there are the program's data.
    return dbg_watch_add_if(e, DBG_WATCH_WRITE, STACK_BOTTOM - 0x100, 0x100,
                            "sp < 0x" + dbg_hex4(STACK_BOTTOM + 2), error) >= 0;
}

qt_result_t run_test(runner_t *run, const test_t &t) {
    dbg_state_restore(run->e, run->start);
    qt_result_t r = call(run, t.name, t.address);
    r.where = t.where;
    return r;
}

// A failed test again, recorded from its call to its first failure.
bool record_failure(runner_t *run, const test_t &t, const qt_result_t &failed,
                    const std::string &dir, std::string *error) {
    dbg_engine_t *e = run->e;
    dbg_state_restore(e, run->start);
    const std::string path = dir + "/" + t.name + ".rec";
    // The recording starts where the test is called, its stack and PC set.
    set_call(e, run->ready, t.address);
    if (!dbg_record_open(e, path, error)) return false;
    call(run, t.name, t.address, failed.failure_tick);
    // A C check fails inside the SDK's qt_send: the recording ends back in the test's own code,
    // where the check was made.
    dbg_set_tick_limit(e, dbg_ticks_after(dbg_ticks(e), run->budget));
    for (int depth = 0; depth < 4; ++depth) {
        const dbg_source_t *model = dbg_source_model(e);
        const dbg_function_t *f =
            model ? dbg_source_function_at(model, dbg_registers(e).PC) : nullptr;
        if (!f || f->name.rfind("qt_", 0) != 0) break;
        dbg_finish(e);
    }
    return dbg_record_close(e, error);
}

// Runs tests[i] for every i = first, first + step, ...; results into results[i].
void run_share(runner_t *run, const std::vector<test_t> &tests, size_t first, size_t step,
               const std::string &record_dir, std::vector<qt_result_t> *results) {
    for (size_t i = first; i < tests.size(); i += step) {
        (*results)[i] = run_test(run, tests[i]);
        std::string error;
        if (!record_dir.empty() && !(*results)[i].passed() &&
            !record_failure(run, tests[i], (*results)[i], record_dir, &error))
            (*results)[i].failures.push_back({"", "no recording: " + error, "", ""});
    }
}

// --jobs: the tests dealt out to processes forked from the saved start, each sending its results
// through a pipe; a process that ends early leaves its tests failed with that reason.
void run_parallel(runner_t *run, const std::vector<test_t> &tests, size_t jobs,
                  const std::string &record_dir, std::vector<qt_result_t> *results) {
    std::fflush(stdout);
    std::fflush(stderr);
    std::vector<int> fds;
    std::vector<pid_t> pids;
    for (size_t k = 0; k < jobs; ++k) {
        int p[2];
        if (pipe(p) != 0) break;
        const pid_t pid = fork();
        if (pid < 0) {
            close(p[0]);
            close(p[1]);
            break;
        }
        if (pid == 0) {
            close(p[0]);
            for (int fd : fds)
                close(fd);
            run_share(run, tests, k, jobs, record_dir, results);
            std::string bytes;
            for (size_t i = k; i < tests.size(); i += jobs)
                bytes += qt_result_encode((*results)[i]);
            for (size_t at = 0; at < bytes.size();) {
                const ssize_t put = write(p[1], bytes.data() + at, bytes.size() - at);
                if (put < 0 && errno == EINTR) continue;
                if (put <= 0) _exit(1);
                at += static_cast<size_t>(put);
            }
            _exit(0);
        }
        close(p[1]);
        fds.push_back(p[0]);
        pids.push_back(pid);
    }
    const size_t started = fds.size();
    // Whatever could not be started runs here.
    if (started < jobs)
        for (size_t k = started; k < jobs; ++k)
            run_share(run, tests, k, jobs, record_dir, results);
    std::vector<std::string> received(started);
    std::vector<bool> open(started, true);
    for (size_t left = started; left > 0;) {
        std::vector<pollfd> watch;
        for (size_t k = 0; k < started; ++k)
            if (open[k]) watch.push_back({fds[k], POLLIN, 0});
        if (poll(watch.data(), watch.size(), -1) < 0 && errno != EINTR) break;
        for (const pollfd &w : watch) {
            if (!w.revents) continue;
            const size_t k = std::find(fds.begin(), fds.end(), w.fd) - fds.begin();
            char buffer[65536];
            const ssize_t got = read(w.fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got > 0) {
                received[k].append(buffer, static_cast<size_t>(got));
                continue;
            }
            open[k] = false;
            --left;
        }
    }
    for (size_t k = 0; k < started; ++k) {
        close(fds[k]);
        int status = 0;
        waitpid(pids[k], &status, 0);
        size_t at = 0;
        for (size_t i = k; i < tests.size(); i += jobs) {
            qt_result_t r;
            if (qt_result_decode(received[k], &at, &r)) {
                (*results)[i] = r;
            } else {
                (*results)[i].name = tests[i].name;
                (*results)[i].where = tests[i].where;
                (*results)[i].failures = {{"", "the test's process ended early", "", ""}};
            }
        }
    }
}

// Boots the monitor and starts the image as g START does, up to its stop at qt_ready; false with
// the reason. START is qt_start where the image has one (assembly), else its start address.
bool start_up(runner_t *run, const options_t &o, uint16_t image_start, std::string *error) {
    dbg_engine_t *e = run->e;
    dbg_symbol_lookup(dbg_symbol_table(e), "qt_start", &image_start);
    if (o.machine.no_rom) {
        dbg_set_register(e, "pc", image_start, error);
    } else if (!dbg_type(e, "g " + dbg_hex4(image_start) + "\n", true, error)) {
        return false;
    }
    const int ready = dbg_break_add(e, run->ready, 0);
    dbg_set_tick_limit(e, dbg_ticks_after(dbg_ticks(e), STARTUP_TICKS));
    const dbg_stop_t stop = dbg_continue(e);
    dbg_delete(e, ready);
    if (stop.cause == DBG_CAUSE_BREAKPOINT) return true;
    *error = "the image's start-up did not reach qt_ready: " + stop.text;
    return false;
}

// The start-up ends while the monitor's g command is still being typed (Enter not yet let go):
// its key events are done at once and left out of the saved state, so that no test starts
// with a key held or the engine watching a queue at every instruction.
void settle_keys(dbg_engine_t *e, dbg_machine_state_t *start) {
    if (start->keys.empty() && !start->typing_wait) return;
    for (const dbg_key_event_t k : start->keys)
        dbg_key(e, k.vk, k.down);
    dbg_state_capture(e, start);
    start->keys.clear();
    start->typing_wait = false;
    dbg_state_restore(e, *start);
}

std::string basename_of(const std::string &path) {
    return path.substr(path.rfind('/') + 1);
}

struct report_file_t {
    const std::string *path;
    emu_output_t out;
};

} // namespace

int main(int argc, char **argv) {
    runner_ignore_write_signals();

    options_t o;
    const int parsed = parse(argc, argv, &o);
    if (parsed >= 0) return parsed;

    runner_t run{runner_power_on(false), o.golden, o.update_golden, 0, {}, o.budget};
    dbg_engine_t *e = run.e;
    std::string error;
    uint16_t image_start = 0;
    if (!runner_load_images(e, o.machine, true, &image_start, &error) ||
        !runner_load_debug_info(e, "quillane-test", o.machine, false, &error))
        return bad(error);
    const std::string &image = o.machine.images.front();
    bool has_setup = false;
    uint16_t setup = 0;
    std::vector<test_t> tests = discover(e, &has_setup, &setup);
    if (tests.empty()) {
        std::fprintf(stderr,
                     "quillane-test: %s: no tests found (C functions or labels named test_...; "
                     "is its debug information, .cdb or .sym with .lines, beside it?)\n",
                     image.c_str());
        return EXIT_FAILED;
    }
    tests.erase(std::remove_if(tests.begin(), tests.end(),
                               [&](const test_t &t) { return !selected(t.name, o.filters); }),
                tests.end());
    if (o.list) {
        for (const test_t &t : tests)
            std::printf("%s%s%s\n", t.name.c_str(), t.where.empty() ? "" : " ", t.where.c_str());
        return EXIT_PASSED;
    }
    if (tests.empty()) {
        std::fprintf(stderr, "quillane-test: no test matches the filters\n");
        return EXIT_FAILED;
    }
    if (!dbg_symbol_lookup(dbg_symbol_table(e), "qt_ready", &run.ready))
        return bad(image + ": not a test image (no qt_ready): build C tests with qcc --test, "
                           "assembly tests with INCLUDE \"quillane_test.inc\" first");
    if (!o.coverage.empty() && !dbg_source_model(e))
        return bad("--coverage needs source lines: the image's .cdb, or .sym with its .lines");

    // Every report is open before the run: a path that cannot be written ends here.
    report_file_t reports[] = {{&o.junit, {}}, {&o.json, {}}, {&o.coverage, {}}, {&o.profile, {}}};
    for (report_file_t &r : reports) {
        emu_file_error_t reason{};
        if (r.path->empty() || emu_output_open(&r.out, r.path->c_str(), &reason)) continue;
        for (report_file_t &opened : reports)
            emu_output_discard(&opened.out);
        return bad(emu_file_error_message(*r.path, reason));
    }
    if (!o.record_dir.empty() && access(o.record_dir.c_str(), W_OK) != 0)
        return bad(o.record_dir + ": " + std::strerror(errno) + " (--record-failures)");

    dbg_history_stop(e); // restoring states would only fill it
    if (!start_up(&run, o, image_start, &error) || !add_guards(&run, &error)) {
        for (report_file_t &r : reports)
            emu_output_discard(&r.out);
        return bad(image + ": " + error);
    }
    if (has_setup) {
        const qt_result_t r = call(&run, "test_setup", setup);
        if (!r.passed()) {
            std::fprintf(stderr, "quillane-test: test_setup failed:\n");
            for (const qt_failure_t &f : r.failures)
                std::fprintf(stderr, "      %s\n", qt_failure_line(f).c_str());
            for (report_file_t &rf : reports)
                emu_output_discard(&rf.out);
            return EXIT_FAILED;
        }
    }
    dbg_state_capture(e, &run.start);
    settle_keys(e, &run.start);

    // Profiles and coverage are collected in this process, over all tests.
    const bool collecting = !o.coverage.empty() || !o.profile.empty();
    if (!o.profile.empty()) dbg_profile_start(e);
    if (!o.coverage.empty()) dbg_coverage_start(e);
    std::vector<qt_result_t> results(tests.size());
    const size_t jobs = collecting ? 1 : std::min<size_t>(o.jobs, tests.size());
    if (jobs > 1)
        run_parallel(&run, tests, jobs, o.record_dir, &results);
    else
        run_share(&run, tests, 0, 1, o.record_dir, &results);

    const bool colour = isatty(1) && !getenv("NO_COLOR");
    const std::string summary =
        o.tap ? qt_report_tap(results) : qt_report_terminal(results, colour);
    std::fputs(summary.c_str(), stdout);
    bool written = true;
    const std::string texts[] = {qt_report_junit(results, basename_of(image)),
                                 qt_report_json(results, image), "", ""};
    for (size_t i = 0; i < std::size(reports); ++i) {
        report_file_t &r = reports[i];
        if (r.path->empty()) continue;
        std::string text = texts[i];
        if ((i == 2 && !dbg_coverage_text(e, &text, &error)) ||
            (i == 3 && !dbg_profile_text(e, &text, &error))) {
            emu_output_discard(&r.out);
            std::fprintf(stderr, "quillane-test: %s\n", error.c_str());
            written = false;
            continue;
        }
        written = runner_finish_output("quillane-test", &r.out, *r.path, text) && written;
    }
    written = runner_flush_stdout("quillane-test") && written;
    if (!written) return EXIT_USAGE;
    for (const qt_result_t &r : results)
        if (!r.passed()) return EXIT_FAILED;
    return EXIT_PASSED;
}
