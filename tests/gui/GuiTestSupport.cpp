#include "GuiTestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <cstdlib>
#include <ctime>

bool WaitFor(const std::function<bool()>& cond, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!cond()) {
        if (clock.elapsed() > timeoutMs) {
            return cond();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return true;
}

QString BinDir() {
    return QString::fromLocal8Bit(qgetenv("TAVON_BIN_DIR"));
}

QByteArray ReadFileBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QByteArray();
    }
    return file.readAll();
}

PrivatePlace::PrivatePlace() {
    QByteArray pattern = QDir::tempPath().toLocal8Bit() + "/tavon-gui-XXXXXX";
    root_ = QString::fromLocal8Bit(mkdtemp(pattern.data()));
    work_ = root_ + "/work";
    tmp_ = root_ + "/tmp";
    QDir().mkpath(work_);
    QDir().mkpath(tmp_);
    hadTmpDir_ = qEnvironmentVariableIsSet("TMPDIR");
    oldTmpDir_ = qgetenv("TMPDIR");
    qputenv("TMPDIR", tmp_.toLocal8Bit());
    oldCwd_ = QDir::currentPath();
    QDir::setCurrent(work_);
    // Labels and headings come from the instrument's wall-clock time; pin the zone anyway so that
    // nothing here depends on the machine's.
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
}

PrivatePlace::~PrivatePlace() {
    QDir::setCurrent(oldCwd_);
    if (hadTmpDir_) {
        qputenv("TMPDIR", oldTmpDir_);
    } else {
        qunsetenv("TMPDIR");
    }
    QDir(root_).removeRecursively();
}

Simulator::~Simulator() {
    Stop();
}

bool Simulator::Start(const QStringList& arguments) {
    process_.setProgram(BinDir() + "/tavon-instrument");
    process_.setArguments(arguments);
    process_.start();
    if (!process_.waitForStarted(10000)) {
        errors_ = process_.errorString();
        return false;
    }
    QByteArray out;
    QElapsedTimer clock;
    clock.start();
    while (!out.contains('\n') && clock.elapsed() < 20000) {
        if (!process_.waitForReadyRead(200) && process_.state() != QProcess::Running) {
            break;
        }
        out += process_.readAllStandardOutput();
    }
    errors_ = QString::fromLocal8Bit(process_.readAllStandardError());
    return out.startsWith("ready:");
}

void Simulator::Stop() {
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
}

int RunTool(const QString& program, const QStringList& arguments, QByteArray* standardError,
            int timeoutMs) {
    QProcess process;
    process.start(BinDir() + "/" + program, arguments);
    if (!process.waitForStarted(10000) || !process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        return -1;
    }
    if (standardError != nullptr) {
        *standardError = process.readAllStandardError();
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}
