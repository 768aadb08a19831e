#include "download/ReportOutput.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#ifdef _WIN32
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

#include "download/CommandArguments.h"
#include "download/ExitStatus.h"

namespace {

bool WriteAll(std::FILE* file, const std::string& data) {
    return std::fwrite(data.data(), 1, data.size(), file) == data.size();
}

// Why `path` could not be created, in the user's terms: the file is written under a temporary
// name, which would only mislead, and a missing folder is the usual cause.
std::string CreateFailure(const std::string& path, int error) {
    if (error == ENOENT || error == ENOTDIR) {
        const size_t slash = path.find_last_of("/\\");
        const std::string folder =
            slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
        struct stat info;
        if (stat(folder.c_str(), &info) != 0) {
            return "cannot write " + path + ": the folder " + folder + " does not exist";
        }
        if (!S_ISDIR(info.st_mode)) {
            return "cannot write " + path + ": " + folder + " is not a folder";
        }
    }
    return "cannot write " + path + ": " + std::strerror(error);
}

} // namespace

bool IsRegularOrMissing(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        return errno == ENOENT;
    }
    return S_ISREG(info.st_mode);
}

int WriteOutput(const std::string& path, const std::string& data) {
    if (path.empty()) {
#ifdef _WIN32
        _setmode(_fileno(stdout), _O_BINARY); // RTF line ends must stay as they are
#endif
        const bool ok = WriteAll(stdout, data) && std::fflush(stdout) == 0;
        if (!ok) {
            PrintError(std::string("cannot write to standard output: ") + std::strerror(errno));
            return kExitOutputFailed;
        }
        return kExitOk;
    }
    // Devices and pipes (/dev/stdout, a fifo) cannot be replaced by a rename; write to them.
    const bool replace = IsRegularOrMissing(path);
    const std::string target = replace ? path + ".part" : path;
    std::FILE* file = std::fopen(target.c_str(), "wb");
    if (file == nullptr) {
        PrintError(CreateFailure(path, errno));
        return kExitOutputFailed;
    }
    bool ok = WriteAll(file, data);
    ok = std::fclose(file) == 0 && ok;
#ifdef _WIN32
    if (ok && replace) {
        std::remove(path.c_str()); // rename does not replace an existing file there
    }
#endif
    if (ok && replace && std::rename(target.c_str(), path.c_str()) != 0) {
        ok = false;
    }
    if (!ok) {
        const int error = errno;
        if (replace) {
            std::remove(target.c_str());
        }
        PrintError("cannot write " + path + ": " + std::strerror(error));
        return kExitOutputFailed;
    }
    return kExitOk;
}

namespace {

int MakeFolder(const char* path) {
#ifdef _WIN32
    return _mkdir(path);
#else
    return mkdir(path, 0777);
#endif
}

int RemoveFolder(const char* path) {
#ifdef _WIN32
    return _rmdir(path);
#else
    return rmdir(path);
#endif
}

} // namespace

bool MakeFolders(const std::string& dir, std::string& message, std::vector<std::string>* made) {
    std::string path;
    size_t start = 0;
    while (start <= dir.size()) {
        const size_t slash = dir.find('/', start);
        const size_t end = slash == std::string::npos ? dir.size() : slash;
        path = dir.substr(0, end);
        if (!path.empty()) {
            struct stat info;
            if (stat(path.c_str(), &info) != 0) {
                if (MakeFolder(path.c_str()) != 0 && errno != EEXIST) {
                    message = "cannot make the folder " + path + ": " + std::strerror(errno);
                    return false;
                }
                if (made != nullptr) {
                    made->push_back(path);
                }
            } else if (!S_ISDIR(info.st_mode)) {
                message = path + " is not a folder";
                return false;
            }
        }
        if (slash == std::string::npos) {
            break;
        }
        start = slash + 1;
    }
    return true;
}

void RemoveEmptyFolders(const std::vector<std::string>& made) {
    // Deepest first, whoever made them (several instruments make folders side by side under
    // one they share); a folder that holds anything stays, and so do the ones above it.
    std::vector<std::string> deepestFirst = made;
    std::sort(deepestFirst.begin(), deepestFirst.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (const std::string& folder : deepestFirst) {
        RemoveFolder(folder.c_str());
    }
}

std::string FolderName(const std::string& name) {
    std::string folder;
    for (const char c : name) {
        const bool plain = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
                           (c >= 'a' && c <= 'z') || c == '-' || c == '_' || c == '.';
        folder += plain ? c : '_';
    }
    if (folder.empty() || folder[0] == '.') {
        folder.insert(folder.begin(), '_');
    }
    return folder;
}
