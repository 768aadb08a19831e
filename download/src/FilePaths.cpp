#include "download/FilePaths.h"

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

std::string FolderOfPath(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string NameOfPath(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string PartNameOf(const std::string& path) {
    return path + "." + std::to_string(ProcessId()) + ".part";
}

int ProcessId() {
#ifdef _WIN32
    return _getpid();
#else
    return static_cast<int>(getpid());
#endif
}
