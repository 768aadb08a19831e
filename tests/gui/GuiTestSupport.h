#pragma once

#include "linkselect/Platform.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>
#include <string>
#include <utility>
#include <vector>

// Message boxes recorded instead of shown: the test process never blocks on one.
class RecordingPrompt : public UserPrompt {
public:
    void Show(const std::string& text, const std::string& caption) override {
        shown.emplace_back(text, caption);
        if (onShow) {
            onShow(text, caption);
        }
    }
    bool Saw(const std::string& text) const {
        for (const auto& s : shown) {
            if (s.first == text) {
                return true;
            }
        }
        return false;
    }
    std::vector<std::pair<std::string, std::string>> shown;
    std::function<void(const std::string&, const std::string&)> onShow;
};

// Runs the event loop until cond holds or timeoutMs pass; returns cond().
bool WaitFor(const std::function<bool()>& cond, int timeoutMs);

QString BinDir();
QByteArray ReadFileBytes(const QString& path);

// A private folder for the local socket (TMPDIR) and a temporary working directory; both are
// removed, and the previous values restored, by the destructor.
class PrivatePlace {
public:
    PrivatePlace();
    ~PrivatePlace();
    QString work() const { return work_; }
    QString tmp() const { return tmp_; }

private:
    QString root_;
    QString work_;
    QString tmp_;
    QString oldCwd_;
    QByteArray oldTmpDir_;
    bool hadTmpDir_ = false;
};

// tavon-instrument serving "RAK Pipe" in the current TMPDIR.
class Simulator {
public:
    ~Simulator();
    bool Start(const QStringList& arguments);
    void Stop();
    QString errors() const { return errors_; }

private:
    QProcess process_;
    QString errors_;
};

// Runs a program of the build to its end; returns its exit code (-1 when it did not finish).
int RunTool(const QString& program, const QStringList& arguments, QByteArray* standardError,
            int timeoutMs = 60000);
