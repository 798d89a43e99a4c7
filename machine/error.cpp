// Fatal errors of start-up and the message boxes that report them.
#include "machine/error.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void emu_stderr_box(const char *caption, const char *text) {
    std::fprintf(stderr, "quillane: %s: %s\n", caption, text);
}

emu_error_box_t error_box = emu_stderr_box;
std::string last_error_text;
int last_error_code = 0;

} // namespace

void emu_set_error_box(emu_error_box_t box) {
    error_box = box ? box : emu_stderr_box;
}

void emu_show_error_box(const char *caption, const char *text) {
    error_box(caption, text);
}

void emu_set_last_error_text(const char *text, int code) {
    last_error_text = text ? text : "";
    last_error_code = code;
}

void exit_with_fatal_error(const char *function_name) {
    // A library that reports its own text takes precedence over errno.
    int code = last_error_code;
    std::string text = last_error_text;
    if (text.empty()) {
        code = errno;
        text = code ? std::strerror(code) : "Unknown error";
    }
    std::string message = "Fatal error occurred in function ";
    message += function_name;
    message += "(): ";
    message += text;
    emu_show_error_box("Critical Error", message.c_str());
    // A failure must never end the process with the success code, even when the host kept no
    // error code for it.
    std::exit(code != 0 ? code : 1);
}
