#include "runner/test_report.h"

#include <cstdio>

namespace {

// Board time in seconds: the board's clock is 10 MHz.
std::string seconds(uint64_t ticks) {
    char text[32];
    std::snprintf(text, sizeof text, "%.7f", static_cast<double>(ticks) / 1e7);
    return text;
}

std::string xml_escape(const std::string &s) {
    std::string out;
    for (unsigned char c : s) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c == '"')
            out += "&quot;";
        else if (c == '\'')
            out += "&apos;";
        // XML 1.0 allows no other control characters, not even as references.
        else if (c < 0x20 && c != '\t' && c != '\n')
            out += '?';
        else
            out += static_cast<char>(c);
    }
    return out;
}

std::string json_string(const std::string &s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            // Board strings are bytes, not UTF-8: each stands for its own code point.
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

size_t count_failed(const std::vector<qt_result_t> &results) {
    size_t failed = 0;
    for (const qt_result_t &r : results)
        failed += !r.passed();
    return failed;
}

void put_string(std::string *out, const std::string &s) {
    const uint32_t n = static_cast<uint32_t>(s.size());
    out->append(reinterpret_cast<const char *>(&n), sizeof n);
    out->append(s);
}

bool get_string(const std::string &in, size_t *at, std::string *s) {
    uint32_t n = 0;
    if (in.size() - *at < sizeof n) return false;
    in.copy(reinterpret_cast<char *>(&n), sizeof n, *at);
    *at += sizeof n;
    if (in.size() - *at < n) return false;
    *s = in.substr(*at, n);
    *at += n;
    return true;
}

} // namespace

std::string qt_failure_line(const qt_failure_t &f) {
    std::string line = f.where.empty() ? f.text : f.where + ": " + f.text;
    if (!f.expected.empty() || !f.actual.empty())
        line += ": expected " + f.expected + ", actual " + f.actual;
    return line;
}

std::string qt_result_encode(const qt_result_t &r) {
    std::string out;
    put_string(&out, r.name);
    put_string(&out, r.where);
    put_string(&out, std::to_string(r.ticks));
    put_string(&out, std::to_string(r.failure_tick));
    put_string(&out, std::to_string(r.failures.size()));
    for (const qt_failure_t &f : r.failures)
        for (const std::string *s : {&f.where, &f.text, &f.expected, &f.actual})
            put_string(&out, *s);
    return out;
}

bool qt_result_decode(const std::string &bytes, size_t *at, qt_result_t *r) {
    std::string ticks, failure_tick, count;
    if (!get_string(bytes, at, &r->name) || !get_string(bytes, at, &r->where) ||
        !get_string(bytes, at, &ticks) || !get_string(bytes, at, &failure_tick) ||
        !get_string(bytes, at, &count))
        return false;
    r->ticks = std::stoull(ticks);
    r->failure_tick = std::stoull(failure_tick);
    r->failures.assign(std::stoul(count), {});
    for (qt_failure_t &f : r->failures)
        for (std::string *s : {&f.where, &f.text, &f.expected, &f.actual})
            if (!get_string(bytes, at, s)) return false;
    return true;
}

std::string qt_report_terminal(const std::vector<qt_result_t> &results, bool colour) {
    const char *green = colour ? "\033[32m" : "", *red = colour ? "\033[31m" : "";
    const char *plain = colour ? "\033[0m" : "";
    std::string out;
    for (const qt_result_t &r : results) {
        out += r.passed() ? std::string(green) + "PASS" : std::string(red) + "FAIL";
        out += plain;
        out += "  " + r.name + " (" + std::to_string(r.ticks) + " T-states)\n";
        for (const qt_failure_t &f : r.failures)
            out += "      " + qt_failure_line(f) + "\n";
    }
    const size_t failed = count_failed(results);
    out += std::string(failed ? red : green) + std::to_string(results.size() - failed) +
           " passed, " + std::to_string(failed) + " failed" + plain + "\n";
    return out;
}

std::string qt_report_tap(const std::vector<qt_result_t> &results) {
    std::string out = "TAP version 13\n1.." + std::to_string(results.size()) + "\n";
    for (size_t i = 0; i < results.size(); ++i) {
        const qt_result_t &r = results[i];
        out += std::string(r.passed() ? "ok " : "not ok ") + std::to_string(i + 1) + " - " +
               r.name + "\n";
        // The YAML block: its strings in JSON's form, which YAML reads as double-quoted.
        out += "  ---\n  t_states: " + std::to_string(r.ticks) + "\n";
        if (!r.passed()) {
            const qt_failure_t &f = r.failures.front();
            out += "  message: " + json_string(qt_failure_line(f)) + "\n";
            if (!f.where.empty()) out += "  at: " + json_string(f.where) + "\n";
            if (!f.expected.empty()) out += "  expected: " + json_string(f.expected) + "\n";
            if (!f.actual.empty()) out += "  actual: " + json_string(f.actual) + "\n";
            if (r.failures.size() > 1) {
                out += "  failures:\n";
                for (const qt_failure_t &more : r.failures)
                    out += "    - " + json_string(qt_failure_line(more)) + "\n";
            }
        }
        out += "  ...\n";
    }
    return out;
}

std::string qt_report_junit(const std::vector<qt_result_t> &results, const std::string &suite) {
    uint64_t ticks = 0;
    for (const qt_result_t &r : results)
        ticks += r.ticks;
    const std::string counts = "tests=\"" + std::to_string(results.size()) + "\" failures=\"" +
                               std::to_string(count_failed(results)) + "\" errors=\"0\" time=\"" +
                               seconds(ticks) + "\"";
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"quillane-test\" " + counts +
        ">\n  <testsuite name=\"" + xml_escape(suite) + "\" " + counts + " skipped=\"0\">\n";
    for (const qt_result_t &r : results) {
        // The class is the file that holds the test, as JUnit's reporters group by it.
        std::string file = r.where.substr(0, r.where.rfind(':'));
        std::string classname = file.empty() ? suite : file.substr(0, file.rfind('.'));
        out += "    <testcase name=\"" + xml_escape(r.name) + "\" classname=\"" +
               xml_escape(classname) + "\"";
        if (!r.where.empty())
            out += " file=\"" + xml_escape(file) + "\" line=\"" +
                   r.where.substr(r.where.rfind(':') + 1) + "\"";
        out += " time=\"" + seconds(r.ticks) + "\">\n";
        out += "      <properties><property name=\"t-states\" value=\"" + std::to_string(r.ticks) +
               "\"/></properties>\n";
        if (!r.passed()) {
            std::string body;
            for (const qt_failure_t &f : r.failures)
                body += qt_failure_line(f) + "\n";
            out += "      <failure message=\"" + xml_escape(qt_failure_line(r.failures.front())) +
                   "\" type=\"failure\">" + xml_escape(body) + "</failure>\n";
        }
        out += "    </testcase>\n";
    }
    return out + "  </testsuite>\n</testsuites>\n";
}

std::string qt_report_json(const std::vector<qt_result_t> &results, const std::string &image) {
    const size_t failed = count_failed(results);
    std::string out = "{\"image\": " + json_string(image) +
                      ", \"passed\": " + std::to_string(results.size() - failed) +
                      ", \"failed\": " + std::to_string(failed) + ", \"tests\": [";
    for (size_t i = 0; i < results.size(); ++i) {
        const qt_result_t &r = results[i];
        out += i ? ",\n  " : "\n  ";
        out += "{\"name\": " + json_string(r.name) + ", \"where\": " + json_string(r.where) +
               ", \"passed\": " + (r.passed() ? "true" : "false") +
               ", \"t_states\": " + std::to_string(r.ticks) + ", \"failures\": [";
        for (size_t k = 0; k < r.failures.size(); ++k) {
            const qt_failure_t &f = r.failures[k];
            out += std::string(k ? ", " : "") + "{\"where\": " + json_string(f.where) +
                   ", \"text\": " + json_string(f.text) +
                   ", \"expected\": " + json_string(f.expected) +
                   ", \"actual\": " + json_string(f.actual) +
                   ", \"message\": " + json_string(qt_failure_line(f)) + "}";
        }
        out += "]}";
    }
    return out + "\n]}\n";
}
