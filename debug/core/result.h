// What a command of the debugger returns: its printed text or a one-line error. The engine's own
// commands (run control, collectors, states) answer in it, and the command language passes it on.
#pragma once

#include <string>

struct dbg_result_t {
    std::string output; // what the command prints (lines end with '\n'); empty for none
    bool error;         // output is a one-line error
    bool quit;          // the command was `quit`
    bool stopped;       // a run command ended with a stop (inline mode)
};

// A command's result: what it prints, as given; or a one-line error, its line end added.
inline dbg_result_t dbg_done(const std::string &output = "") {
    return {output, false, false, false};
}
inline dbg_result_t dbg_failed(const std::string &message) {
    return {message + "\n", true, false, false};
}
