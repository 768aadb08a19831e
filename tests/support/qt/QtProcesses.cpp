#include "testsupport/QtProcesses.h"

#include "testsupport/Processes.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

namespace testsupport {

QString QtBinDir() {
    return QString::fromStdString(BinDir());
}

bool InstrumentProcess::Start(const QStringList& arguments, int readyMs) {
    m_ready.clear();
    m_errors.clear();
    m_process.setProgram(QtBinDir() + "/tavon-instrument");
    m_process.setArguments(arguments);
    m_process.start();
    if (!m_process.waitForStarted(10000)) {
        m_errors = m_process.errorString();
        return false;
    }
    QByteArray out;
    QElapsedTimer clock;
    clock.start();
    while (!out.contains('\n') && clock.elapsed() < readyMs) {
        if (!m_process.waitForReadyRead(100) && m_process.state() != QProcess::Running)
            break;
        out += m_process.readAllStandardOutput();
    }
    m_errors = QString::fromLocal8Bit(m_process.readAllStandardError());
    m_ready = QString::fromLocal8Bit(out).trimmed();
    return m_ready.startsWith("ready:");
}

void InstrumentProcess::Stop() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

void InstrumentProcess::Kill() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(5000);
}

int RunBuildProgram(const QString& program, const QStringList& arguments, QByteArray* out,
                    QByteArray* err, int timeoutMs) {
    QProcess process;
    process.start(QtBinDir() + "/" + program, arguments);
    if (!process.waitForStarted(10000) || !process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        return -1;
    }
    if (out != nullptr)
        *out = process.readAllStandardOutput();
    if (err != nullptr)
        *err = process.readAllStandardError();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

bool WaitFor(const std::function<bool()>& cond, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!cond()) {
        if (clock.elapsed() > timeoutMs)
            return cond();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return true;
}

} // namespace testsupport
