#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "linkselect/Platform.h"

// The watcher's log: one line per event, with its local time to the millisecond, on standard
// output and/or the log file; flushed at once so that a service's journal and a tail -f follow
// it.
class EventLog {
public:
    // path: the log file, appended to (empty: none, the lines go to standard output unless
    // quiet); observer: told each line, with its time, wherever it goes.
    EventLog(const std::string& path, bool quiet, std::function<void(const std::string&)> observer);
    ~EventLog();
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    // The log file asked for could be opened (or none was asked for).
    bool Open(const std::string& path) const { return path.empty() || m_file != nullptr; }
    void Line(const std::string& text);

private:
    std::FILE* m_file = nullptr;
    bool m_stdout;
    std::function<void(const std::string&)> m_observer;
};

// The libraries' message boxes, as lines of the log.
class LogPrompt : public UserPrompt {
public:
    explicit LogPrompt(EventLog& log) : m_log(log) {}
    void Show(const std::string& text, const std::string& caption) override;

private:
    EventLog& m_log;
};
