#pragma once

#include <functional>
#include <string>

#include "watch/Watcher.h"

struct WatchOptions;

// A program that runs the watcher inside its own window system (tavon-watch, in the notification
// area): it sees each line of the log as it is written, and is given what stops the watcher as
// SIGINT and SIGTERM do.
struct WatchHost {
    // Each line of the log, with its time, whether or not it goes to standard output or a file.
    std::function<void(const std::string& line)> line;
    // Called once the watcher is about to run, with what stops it; that function may be called
    // from the event loop until RunWatchSession returns, not after.
    std::function<void(std::function<void()> stop)> running;
};

// Runs `tavon-datalog watch` under a QCoreApplication (the one that exists, else one of its
// own): polls the ports and pipes, visits each instrument that appears on a session of its own,
// and ends on SIGINT or SIGTERM or the host's stop (0) or, with --once, when every instrument
// present at the start has been visited (the worst status). compliance: the warnings logged
// after each visit that went through; null: none.
// What the instrument register of the archive the visits file into says an instrument needs
// after a visit ("Calibration of CO overdue since 2026-11-02"); null when nothing is archived.
Watcher::ComplianceCheck RegisterCheck(const WatchOptions& options);

int RunWatchSession(const WatchOptions& options, Watcher::ComplianceCheck compliance = nullptr,
                    const WatchHost& host = WatchHost());
