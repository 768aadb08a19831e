#include "testsupport/Files.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace testsupport {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    out.close();
    return static_cast<bool>(out);
}

bool FileExists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

std::vector<std::string> ListFolder(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* entry = readdir(d)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void RemoveTree(const std::string& dir) {
    struct stat info;
    if (dir.empty() || lstat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return;
    // A test may have left the folder read-only to prove that nothing is written there.
    chmod(dir.c_str(), info.st_mode | S_IRWXU);
    for (const std::string& name : ListFolder(dir)) {
        const std::string path = dir + "/" + name;
        if (lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
            RemoveTree(path);
        else
            std::remove(path.c_str());
    }
    rmdir(dir.c_str());
}

} // namespace testsupport
