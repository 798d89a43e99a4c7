// Where the programs find the data files they ship with (the monitor ROM, its symbols, the SDK's
// sources): in the current directory when run from a build, in <prefix>/share/quillane when
// installed. The installed folder is found from the running executable's own path, so any install
// prefix works.
#pragma once

#include <string>

// <prefix>/share/quillane when the running executable lies in <prefix>/bin and that folder exists,
// else "" (a program run from its build directory).
std::string emu_installed_data_dir();

// name in the current directory when it is there, else its installed copy when there is one, else
// name unchanged, so that a failure to open it names the current directory's file.
std::string emu_find_data_file(const std::string &name);
