// Data files found beside the build or in the installation.
#include "files/data.h"

#include <climits>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool data_exists(const std::string &path, bool folder) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && (folder ? S_ISDIR(info.st_mode) : true);
}

std::string data_parent(const std::string &path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

} // namespace

std::string emu_installed_data_dir() {
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return "";
    exe[n] = '\0';
    // <prefix>/bin/program -> <prefix>/share/quillane
    const std::string prefix = data_parent(data_parent(exe));
    const std::string dir = (prefix == "/" ? std::string() : prefix) + "/share/quillane";
    return data_exists(dir, true) ? dir : std::string();
}

std::string emu_find_data_file(const std::string &name) {
    if (data_exists(name, false)) return name;
    const std::string dir = emu_installed_data_dir();
    if (!dir.empty() && data_exists(dir + "/" + name, false)) return dir + "/" + name;
    return name;
}
