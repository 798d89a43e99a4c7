// The scenario table every front end runs over tests/c/stepping.c (its lines found by their "@"
// marks): the command language and DAP in test_source.cpp, the window's console, buttons and a
// client attached to its debug adapter port in gui/test_stepping_window.cpp. Each scenario must
// stop at the same address, line and frame with the same parameter values in every front end.
#pragma once

#include <fstream>
#include <string>
#include <vector>

namespace stepping {

inline const std::string program = QUILLANE_BUILD_DIR "/tests/c/stepping";
inline const std::string source = QUILLANE_SOURCE_DIR "/tests/c/stepping.c";

// The line of stepping.c that holds "@mark" (0 when none does).
inline int line_of(const std::string &mark) {
    std::ifstream in(source);
    std::string text;
    for (int line = 1; std::getline(in, text); ++line)
        if (text.find("@" + mark + " ") != std::string::npos) return line;
    return 0;
}

// "@mark" in a step becomes "stepping.c:LINE".
inline std::string marked(const std::string &text) {
    const size_t at = text.find('@');
    if (at == std::string::npos) return text;
    size_t end = text.find(' ', at);
    if (end == std::string::npos) end = text.size();
    return text.substr(0, at) +
           "stepping.c:" + std::to_string(line_of(text.substr(at + 1, end - at - 1))) +
           text.substr(end);
}

struct scenario_t {
    const char *name;
    std::vector<std::string> console; // command lines
    // DAP: "fbreak NAME [HITS] [CONDITION]", "lbreak @mark", "clear", "logpoint NAME MESSAGE", or
    // a request without arguments beyond the thread (continue, stepIn, next, stepOut, stepBack,
    // reverseContinue): the window presses its button for those but continue.
    std::vector<std::string> dap;
    const char *mark;     // the line it stops at
    const char *function; // the innermost frame
    std::vector<std::string> names;
    std::vector<std::string> shown; // what print shows for them (a part of each line)
};

inline std::vector<scenario_t> scenarios() {
    const std::vector<std::string> scale_args = {"amount", "factor"};
    return {
        {"function breakpoint",
         {"break scale", "continue"},
         {"fbreak scale", "continue"},
         "scale",
         "scale",
         scale_args,
         {"amount = 1 (", "factor = 3 ("}},
        {"line breakpoint",
         {"break @scale", "continue"},
         {"lbreak @scale", "continue"},
         "scale",
         "scale",
         scale_args,
         {"amount = 1 (", "factor = 3 ("}},
        {"step into a direct call",
         {"break @direct", "continue", "delete", "step"},
         {"lbreak @direct", "continue", "clear", "stepIn"},
         "scale",
         "scale",
         scale_args,
         {"amount = 1 (", "factor = 3 ("}},
        {"step into a call through a pointer",
         {"break @pointer", "continue", "delete", "step"},
         {"lbreak @pointer", "continue", "clear", "stepIn"},
         "scale",
         "scale",
         scale_args,
         {"amount = 5 (", "factor = 7 ("}},
        {"step over",
         {"break @direct", "continue", "delete", "next"},
         {"lbreak @direct", "continue", "clear", "next"},
         "loop",
         "main",
         {"seen"},
         {"seen = 3 ("}},
        {"step out",
         {"break scale", "continue", "delete", "finish"},
         {"fbreak scale", "continue", "clear", "stepOut"},
         "direct",
         "main",
         {"seen"},
         {"seen = 3 ("}},
        // One stop for the `}` of a function that returns through POP HL / INC SP / JP (HL):
        // next is back in the caller (after the call, in its line), not at INC SP.
        {"} of a JP (HL) function",
         {"break @choose_end", "continue", "delete", "next"},
         {"lbreak @choose_end", "continue", "clear", "next"},
         "jphl",
         "main",
         {},
         {}},
        // amount 1 is false, 2 is skipped, 3 stops.
        {"conditional breakpoint",
         {"break scale 1 if amount >= 2", "continue"},
         {"fbreak scale 2 amount >= 2", "continue"},
         "scale",
         "scale",
         scale_args,
         {"amount = 3 (", "factor = 3 ("}},
        {"conditional breakpoint in reverse",
         {"break @after", "continue", "delete", "break scale if amount == 3", "rcontinue"},
         {"lbreak @after", "continue", "clear", "fbreak scale amount == 3", "reverseContinue"},
         "scale",
         "scale",
         scale_args,
         {"amount = 3 (", "factor = 3 ("}},
        // Back from the caller's line into the last line that ran: the callee's `}`.
        {"reverse step by line",
         {"break @after", "continue", "rstep"},
         {"lbreak @after", "continue", "stepBack"},
         "choose_end",
         "choose",
         {},
         {}},
    };
}

// A DAP breakpoint step ("fbreak", "logpoint", "lbreak", "clear") as its requests: command and
// arguments; empty for a run request.
struct dap_request_t {
    std::string command, arguments;
};
inline std::vector<dap_request_t> dap_breakpoint_requests(const std::string &step) {
    const size_t space = step.find(' ');
    const std::string verb = step.substr(0, space);
    std::string name, extra;
    if (space != std::string::npos) {
        const size_t after = step.find(' ', space + 1);
        name = step.substr(space + 1,
                           after == std::string::npos ? std::string::npos : after - space - 1);
        if (after != std::string::npos) extra = step.substr(after + 1);
    }
    const std::string file = R"({"source":{"path":")" + source + R"("},"breakpoints":)";
    if (verb == "fbreak") {
        std::string b = R"({"name":")" + name + R"(")";
        if (!extra.empty() && extra[0] >= '0' && extra[0] <= '9') {
            const size_t gap = extra.find(' ');
            b += R"(,"hitCondition":")" + extra.substr(0, gap) + R"(")";
            extra = gap == std::string::npos ? "" : extra.substr(gap + 1);
        }
        if (!extra.empty()) b += R"(,"condition":")" + extra + R"(")";
        return {{"setFunctionBreakpoints", R"({"breakpoints":[)" + b + "}]}"}};
    }
    if (verb == "logpoint")
        return {{"setFunctionBreakpoints", R"({"breakpoints":[{"name":")" + name +
                                               R"(","logMessage":")" + extra + R"("}]})"}};
    if (verb == "lbreak") {
        const std::string line = marked(name).substr(std::string("stepping.c:").size());
        return {{"setBreakpoints", file + R"([{"line":)" + line + "}]}"}};
    }
    if (verb == "clear")
        return {{"setBreakpoints", file + "[]}"},
                {"setFunctionBreakpoints", R"({"breakpoints":[]})"}};
    return {};
}

} // namespace stepping
