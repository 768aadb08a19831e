#include "SimProcess.h"

#include <QElapsedTimer>
#include <QProcessEnvironment>

SimProcess::SimProcess() : m_tmp(QDir::tempPath() + "/simXXXXXX") {
    m_hadTmp = qEnvironmentVariableIsSet("TMPDIR");
    m_oldTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", m_tmp.path().toLocal8Bit());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TMPDIR", m_tmp.path());
    m_process.setProcessEnvironment(env);
}

SimProcess::~SimProcess() {
    Stop();
    if (m_hadTmp)
        qputenv("TMPDIR", m_oldTmp);
    else
        qunsetenv("TMPDIR");
}

QString SimProcess::BinDir() {
    const QString dir = qEnvironmentVariable("TAVON_BIN_DIR");
    return dir.isEmpty() ? QStringLiteral(".") : dir;
}

bool SimProcess::Start(const QStringList& arguments) {
    m_process.setProgram(BinDir() + "/tavon-instrument");
    m_process.setArguments(arguments);
    m_process.start();
    if (!m_process.waitForStarted(10000)) {
        m_errors = m_process.errorString();
        return false;
    }
    QByteArray out;
    QElapsedTimer clock;
    clock.start();
    while (!out.contains('\n') && clock.elapsed() < 30000) {
        if (!m_process.waitForReadyRead(100) && m_process.state() != QProcess::Running)
            break;
        out += m_process.readAllStandardOutput();
    }
    m_errors = QString::fromLocal8Bit(m_process.readAllStandardError());
    m_ready = QString::fromLocal8Bit(out).trimmed();
    return m_ready.startsWith("ready:");
}

void SimProcess::Stop() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

int SimProcess::Run(const QString& program, const QStringList& arguments, QByteArray* out,
                    QByteArray* err, int timeoutMs) {
    QProcess process;
    process.start(BinDir() + "/" + program, arguments);
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
