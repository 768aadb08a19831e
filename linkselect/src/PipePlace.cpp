#include "linkselect/PipePlace.h"

#include <cstdlib>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

#ifndef _WIN32
// An absolute path to an existing folder, without its trailing slashes; empty otherwise.
std::string UsableFolder(const char* variable) {
    const char* value = std::getenv(variable);
    if (value == nullptr || value[0] != '/') {
        return std::string();
    }
    std::string folder = value;
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    struct stat info;
    if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return std::string();
    }
    return folder;
}
#endif

} // namespace

std::string PipeSocketPath(const std::string& name) {
#ifdef _WIN32
    return name;
#else
    if (!name.empty() && name[0] == '/') {
        return name;
    }
    std::string folder = UsableFolder("XDG_RUNTIME_DIR");
    if (folder.empty()) {
        folder = UsableFolder("TMPDIR");
    }
    if (folder.empty()) {
        folder = "/tmp";
    }
    return folder == "/" ? "/" + name : folder + "/" + name;
#endif
}
