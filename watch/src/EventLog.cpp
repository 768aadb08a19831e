#include "EventLog.h"

#include <QDateTime>

EventLog::EventLog(const std::string& path, bool quiet,
                   std::function<void(const std::string&)> observer)
    : m_stdout(!quiet), m_observer(std::move(observer)) {
    if (!path.empty()) {
        m_file = std::fopen(path.c_str(), "a");
    }
}

EventLog::~EventLog() {
    if (m_file != nullptr) {
        std::fclose(m_file);
    }
}

void EventLog::Line(const std::string& text) {
    const std::string line =
        QDateTime::currentDateTime().toString("yyyy-MM-dd HH:mm:ss.zzz ").toStdString() + text +
        "\n";
    if (m_observer) {
        m_observer(line.substr(0, line.size() - 1));
    }
    if (m_file != nullptr) {
        std::fputs(line.c_str(), m_file);
        std::fflush(m_file);
    } else if (m_stdout) {
        std::fputs(line.c_str(), stdout);
        std::fflush(stdout);
    }
}

void LogPrompt::Show(const std::string& text, const std::string& caption) {
    m_log.Line(caption + ": " + text);
}
