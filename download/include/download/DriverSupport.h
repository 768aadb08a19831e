#pragma once

#include <QSocketNotifier>

#include <functional>
#include <memory>

// What the Qt drivers of download and watch share: the engine's pace, whether standard error is
// a terminal, and the signals that end a run in order.

// The engine counts ticks, not milliseconds: TAVON_TICK_MS (1 to 100) runs the same conversation
// at a quicker pace, which is how the tests run it against the simulator.
int TickPeriod();
bool StderrIsTerminal();
// From here on SIGINT and SIGTERM call `interrupt` from the event loop (POSIX; null elsewhere,
// where Ctrl-C ends the process). RestoreSignals gives them back their default.
std::unique_ptr<QSocketNotifier> InterruptOnSignals(std::function<void()> interrupt);
void RestoreSignals();
