#include "testsupport/TempDir.h"

#include "testsupport/Files.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <vector>

namespace testsupport {

std::string MakeTempFolder(const std::string& stem, const char* parent) {
    const char* base = parent != nullptr ? parent : std::getenv("TMPDIR");
    const std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/" + stem + "XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr)
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
