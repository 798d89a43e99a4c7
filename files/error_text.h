// The system's text for an errno value. glibc's strerror_r returns the text (which need not be in
// the buffer), the POSIX one (the browser edition's C library) returns 0 and fills the buffer;
// overloading on the result takes whichever the C library has.
#pragma once

#include <cstddef>
#include <cstring>

static inline const char *emu_strerror_result(const char *text, const char *) {
    return text;
}
static inline const char *emu_strerror_result(int failed, const char *buffer) {
    return failed ? "Unknown error" : buffer;
}

static inline const char *emu_error_text(int code, char *buffer, size_t size) {
    return emu_strerror_result(strerror_r(code, buffer, size), buffer);
}
