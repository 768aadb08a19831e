#pragma once

#include "testsupport/TempDir.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>

namespace testsupport {

// The build's programs as QProcess children, for tests that keep a Qt event loop running while a
// child serves them.

QString QtBinDir(); // BinDir() as a QString

// tavon-instrument started in the current environment (so in the current TMPDIR), up to its
// "ready:" line. Stopped (SIGTERM, then SIGKILL) at the latest by the destructor.
class InstrumentProcess {
public:
    InstrumentProcess() = default;
    ~InstrumentProcess() { Stop(); }
    InstrumentProcess(const InstrumentProcess&) = delete;
    InstrumentProcess& operator=(const InstrumentProcess&) = delete;

    // Starts it and waits up to readyMs for its first line. True when that is a "ready:" line;
    // otherwise Errors() holds why.
    bool Start(const QStringList& arguments, int readyMs = 30000);
    void Stop();
    // Ends it at once (SIGKILL), as an instrument that is switched off or goes out of reach.
    void Kill();
    QString ReadyLine() const { return m_ready; }
    QString Errors() const { return m_errors; }

private:
    QProcess m_process;
    QString m_ready;
    QString m_errors;
};

// tavon-instrument in a private TMPDIR of its own, which this process adopts too so that
// "RAK Pipe" means the same socket on both sides. The old TMPDIR comes back after the child has
// been stopped.
class PrivateInstrument {
public:
    explicit PrivateInstrument(const std::string& stem = "sim") : m_tmp(stem) {}

    bool Start(const QStringList& arguments) { return m_process.Start(arguments); }
    void Stop() { m_process.Stop(); }
    QString ReadyLine() const { return m_process.ReadyLine(); }
    QString Errors() const { return m_process.Errors(); }
    QString Folder() const { return QString::fromStdString(m_tmp.Path()); }

private:
    PrivateTmpDir m_tmp;
    InstrumentProcess m_process; // stopped before the folder goes
};

// Runs a program of the build to its end; its exit code, -1 when it crashed or did not end in
// timeoutMs.
int RunBuildProgram(const QString& program, const QStringList& arguments, QByteArray* out = nullptr,
                    QByteArray* err = nullptr, int timeoutMs = 60000);

// Runs the event loop until cond holds or timeoutMs pass; returns cond().
bool WaitFor(const std::function<bool()>& cond, int timeoutMs);

} // namespace testsupport
