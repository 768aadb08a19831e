#include "testsupport/TempDir.h"

#include "testsupport/Files.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#ifdef _WIN32
#include <direct.h>
#include <windows.h>

#include <cerrno>
#include <random>
#endif

namespace testsupport {

namespace {

// mkdtemp; Windows has none, so there the Xs become random letters until a new folder is made.
char* MakeUniqueFolder(char* pattern) {
#ifndef _WIN32
    return mkdtemp(pattern);
#else
    const size_t length = std::strlen(pattern);
    if (length < 6)
        return nullptr;
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    static std::mt19937 random(GetCurrentProcessId() ^ GetTickCount());
    for (int attempt = 0; attempt < 100; ++attempt) {
        for (size_t i = length - 6; i < length; ++i)
            pattern[i] = kLetters[random() % (sizeof kLetters - 1)];
        if (_mkdir(pattern) == 0)
            return pattern;
        if (errno != EEXIST)
            return nullptr;
    }
    return nullptr;
#endif
}

} // namespace

std::string MakeTempFolder(const std::string& stem, const char* parent) {
    const char* base = parent != nullptr ? parent : std::getenv("TMPDIR");
    const std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/" + stem + "XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (MakeUniqueFolder(buffer.data()) == nullptr)
        return std::string();
    return buffer.data();
}

TempDir::TempDir(const std::string& stem, const char* parent)
    : m_path(MakeTempFolder(stem, parent)) {}

TempDir::~TempDir() {
    RemoveTree(m_path);
}

std::string TempDir::File(const std::string& name) const {
    return m_path + "/" + name;
}

WorkDirGuard::WorkDirGuard(const std::string& dir) {
    char old[PATH_MAX];
    if (getcwd(old, sizeof old) == nullptr)
        return;
    m_old = old;
    m_ok = !dir.empty() && chdir(dir.c_str()) == 0;
}

WorkDirGuard::~WorkDirGuard() {
    if (m_ok && chdir(m_old.c_str()) != 0)
        m_ok = false; // the old folder has gone meanwhile; nowhere better to go
}

} // namespace testsupport
