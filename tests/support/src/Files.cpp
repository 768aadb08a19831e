#include "testsupport/Files.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace testsupport {

namespace {

// Windows has no symbolic links that its C runtime would follow or report, hence no lstat.
int StatNoFollow(const std::string& path, struct stat* info) {
#ifdef _WIN32
    return stat(path.c_str(), info);
#else
    return lstat(path.c_str(), info);
#endif
}

void MakeWritable(const std::string& dir, const struct stat& info) {
#ifdef _WIN32
    chmod(dir.c_str(), info.st_mode | _S_IREAD | _S_IWRITE);
#else
    chmod(dir.c_str(), info.st_mode | S_IRWXU);
#endif
}

} // namespace

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
    return StatNoFollow(path, &info) == 0;
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
    if (dir.empty() || StatNoFollow(dir, &info) != 0 || !S_ISDIR(info.st_mode))
        return;
    // A test may have left the folder read-only to prove that nothing is written there.
    MakeWritable(dir, info);
    for (const std::string& name : ListFolder(dir)) {
        const std::string path = dir + "/" + name;
        if (StatNoFollow(path, &info) == 0 && S_ISDIR(info.st_mode)) {
            RemoveTree(path);
        } else {
            // Windows refuses to delete a read-only file.
            chmod(path.c_str(), info.st_mode | S_IWRITE);
            std::remove(path.c_str());
        }
    }
    rmdir(dir.c_str());
}

} // namespace testsupport
