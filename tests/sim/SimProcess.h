#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// tavon-instrument started as a child process in a private TMPDIR, which this process adopts too
// so that "RAK Pipe" means the same socket on both sides.
class SimProcess {
public:
    SimProcess();
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Starts it and waits for its ready line. False with Errors() on failure.
    bool Start(const QStringList& arguments);
    void Stop();
    QString ReadyLine() const { return m_ready; }
    QString Errors() const { return m_errors; }
    QString Folder() const { return m_tmp.path(); }

    static QString BinDir();
    // Runs a program of the build to its end; returns its exit code, -1 when it did not end.
    static int Run(const QString& program, const QStringList& arguments, QByteArray* out = nullptr,
                   QByteArray* err = nullptr, int timeoutMs = 60000);

private:
    QTemporaryDir m_tmp;
    QByteArray m_oldTmp;
    bool m_hadTmp;
    QProcess m_process;
    QString m_ready;
    QString m_errors;
};
