// Two builds of one C program for the reload tests: the second adds a global and lines above
// work() and main(), and drops helper().
#pragma once

#include <cstdlib>
#include <fstream>
#include <string>

// Writes DIR/shifted.c and compiles it with the SDK's qcc into DIR/shifted.ihx (with its .noi,
// .map and .cdb); false when the compiler is not there.
inline bool reload_build_c(const std::string &dir, const std::string &source) {
    std::ofstream(dir + "/shifted.c") << source;
    const std::string command = "cd '" + dir +
                                "' && sh '" QUILLANE_SOURCE_DIR
                                "/sdk/qcc' shifted.c -o shifted.ihx >qcc.log 2>&1";
    return std::system(command.c_str()) == 0;
}

inline const char *const reload_first_build = R"(int g_total;

int helper(int x) {
    return x * 3;
}

int work(int n) {
    g_total += n;
    return g_total;
}

void main(void) {
    work(helper(2));
}
)";
inline const char *const reload_second_build = R"(int g_total;
int g_added = 1234;

/* Seven lines of comment and a blank line
   move work and main
   down by five.
   .
   .
   .
   . */

int work(int n) {
    g_total += n + g_added;
    return g_total;
}

void main(void) {
    work(7);
}
)";
