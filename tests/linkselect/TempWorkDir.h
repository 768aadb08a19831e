#pragma once

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

// A fresh temporary directory made the working directory for the life of the object, since the
// settings file always lives in the working directory.
class TempWorkDir {
public:
    TempWorkDir() {
        char pattern[] = "/tmp/linkselect-test-XXXXXX";
        const char* made = mkdtemp(pattern);
        path_ = made ? made : "";
        char old[4096];
        oldDir_ = getcwd(old, sizeof old) ? old : "/";
        if (!path_.empty() && chdir(path_.c_str()) != 0) {
            path_.clear();
        }
    }
    ~TempWorkDir() {
        if (chdir(oldDir_.c_str()) != 0) {
            return;
        }
        if (!path_.empty()) {
            const std::string command = "chmod -R u+rwx '" + path_ + "' && rm -rf '" + path_ + "'";
            if (std::system(command.c_str()) != 0) {
                return;
            }
        }
    }
    TempWorkDir(const TempWorkDir&) = delete;
    TempWorkDir& operator=(const TempWorkDir&) = delete;

    const std::string& Path() const { return path_; }
    bool Ok() const { return !path_.empty(); }

private:
    std::string path_;
    std::string oldDir_;
};

inline std::string ReadFileBytes(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteFileBytes(const std::string& name, const std::string& bytes) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline bool FileExists(const std::string& name) {
    return access(name.c_str(), F_OK) == 0;
}
