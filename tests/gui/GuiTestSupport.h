#pragma once

// What the GUI tests share with the others comes from TestSupport; only the GUI's own place
// (a working folder and a TMPDIR side by side, the zone pinned) is put together here.

#include "testsupport/EnvGuard.h"
#include "testsupport/Files.h"
#include "testsupport/QtProcesses.h"
#include "testsupport/RecordingPrompt.h"
#include "testsupport/TempDir.h"

#include "linkselect/PortDialogHost.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

using testsupport::RecordingPrompt;
using testsupport::RunBuildProgram;
using testsupport::WaitFor;

// tavon-instrument serving "RAK Pipe" in the current TMPDIR.
using Simulator = testsupport::InstrumentProcess;

// The connection dialog as a user with no instrument leaves it: cancelled.
class CancellingHost : public PortDialogHost {
public:
    int RunModal(PortDialogLogic&) override {
        ++runs;
        return 2;
    }
    int runs = 0;
};

// A named child of a window; a missing one fails the test.
template <typename T> T* NamedChild(const QObject& parent, const char* name) {
    T* child = parent.findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
}

// A file's bytes (a relative name from the working directory); empty when it cannot be read.
inline QByteArray ReadFileBytes(const QString& path) {
    return QByteArray::fromStdString(testsupport::ReadFile(path.toStdString()));
}

// A private folder for the local socket (TMPDIR and XDG_RUNTIME_DIR) and a temporary working
// directory, both in one temporary folder. The previous TMPDIR, working directory and zone come
// back, and the folder goes, with the object.
class PrivatePlace {
public:
    QString work() const { return QString::fromStdString(m_work); }
    QString tmp() const { return QString::fromStdString(m_tmp); }

private:
    static std::string Made(const std::string& path) {
        mkdir(path.c_str(), 0700);
        return path;
    }

    testsupport::TempDir m_root{"tavon-gui-"};
    std::string m_work = Made(m_root.File("work"));
    std::string m_tmp = Made(m_root.File("tmp"));
    testsupport::EnvGuard m_tmpdir{"TMPDIR", m_tmp};
    testsupport::EnvGuard m_runtime{"XDG_RUNTIME_DIR", m_tmp};
    testsupport::WorkDirGuard m_cwd{m_work};
    // Labels and headings come from the instrument's wall-clock time; pin the zone anyway so that
    // nothing here depends on the machine's.
    testsupport::ZoneGuard m_zone{"Europe/Berlin"};
};
