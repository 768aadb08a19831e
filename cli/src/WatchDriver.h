#pragma once

#include "watch/Watcher.h"

struct WatchOptions;

// Runs `tavon-datalog watch` under a QCoreApplication: polls the ports and pipes, visits each
// instrument that appears on a session of its own, and ends on SIGINT or SIGTERM (0) or, with
// --once, when every instrument present at the start has been visited (the worst status).
// compliance: the warnings logged after each visit that went through; null: none.
int RunWatchSession(const WatchOptions& options, Watcher::ComplianceCheck compliance = nullptr);
