#pragma once

#include "testsupport/EnvGuard.h"

#include <cstdlib>
#include <string>

namespace testsupport {

// A new empty folder <parent>/<stem>XXXXXX, parent by default TMPDIR (or /tmp when that is not
// set); its path, or the empty text when it could not be made. The caller removes it (RemoveTree).
std::string MakeTempFolder(const std::string& stem, const char* parent = nullptr);

// A folder made by MakeTempFolder, removed with everything in it when the object goes, read-only
// subfolders included.
class TempDir {
public:
    explicit TempDir(const std::string& stem = "tavon-test-", const char* parent = nullptr);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    bool Ok() const { return !m_path.empty(); }
    const std::string& Path() const { return m_path; }
    // Path() + "/" + name.
    std::string File(const std::string& name) const;

private:
    std::string m_path;
};

// Makes a folder the working directory for the life of the object; the old one comes back after.
class WorkDirGuard {
public:
    explicit WorkDirGuard(const std::string& dir);
    ~WorkDirGuard();
    WorkDirGuard(const WorkDirGuard&) = delete;
    WorkDirGuard& operator=(const WorkDirGuard&) = delete;

    bool Ok() const { return m_ok; }

private:
    std::string m_old;
    bool m_ok = false;
};

// A fresh temporary folder made the working directory, for code that keeps its files there.
class TempWorkDir {
public:
    explicit TempWorkDir(const std::string& stem = "tavon-work-", const char* parent = nullptr)
        : m_dir(stem, parent), m_cwd(m_dir.Path()) {}

    bool Ok() const { return m_dir.Ok() && m_cwd.Ok(); }
    const std::string& Path() const { return m_dir.Path(); }

private:
    TempDir m_dir;
    WorkDirGuard m_cwd; // left before the folder is removed
};

// A private temporary folder that is both TMPDIR and XDG_RUNTIME_DIR for the life of the object,
// so that the local sockets ("RAK Pipe") of this process and of the children it starts meet there
// and never a real one. The old values come back before the folder is removed.
class PrivateTmpDir {
public:
    explicit PrivateTmpDir(const std::string& stem = "tavon-tmp-", const char* parent = nullptr)
        : m_dir(stem, parent),
          m_tmpdir("TMPDIR", m_dir.Ok() ? m_dir.Path().c_str() : std::getenv("TMPDIR")),
          m_runtime("XDG_RUNTIME_DIR",
                    m_dir.Ok() ? m_dir.Path().c_str() : std::getenv("XDG_RUNTIME_DIR")) {}

    bool Ok() const { return m_dir.Ok(); }
    const std::string& Path() const { return m_dir.Path(); }
    std::string File(const std::string& name) const { return m_dir.File(name); }

private:
    TempDir m_dir;
    EnvGuard m_tmpdir;
    EnvGuard m_runtime;
};

} // namespace testsupport
