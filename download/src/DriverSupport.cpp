#include "download/DriverSupport.h"

#ifdef _WIN32
#include <io.h>
#else
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {
constexpr int kTickMs = 100;
} // namespace

// The engine counts ticks, not milliseconds: TAVON_TICK_MS (1 to 100) runs the same conversation
// at a quicker pace, which is how the tests run it against the simulator.
int TickPeriod() {
    const char* text = std::getenv("TAVON_TICK_MS");
    const int ms = text != nullptr ? std::atoi(text) : 0;
    return ms >= 1 && ms <= kTickMs ? ms : kTickMs;
}

bool StderrIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) == 1;
#endif
}

#ifndef _WIN32
namespace {

// SIGINT and SIGTERM reach the event loop through a socket pair, so the download ends in order:
// the dump keeps every session that had arrived.
int g_signalPair[2] = {-1, -1};

void OnSignal(int) {
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPair[1], &c, 1);
}

} // namespace

std::unique_ptr<QSocketNotifier> InterruptOnSignals(std::function<void()> interrupt) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPair) != 0) {
        return nullptr;
    }
    auto notifier = std::make_unique<QSocketNotifier>(g_signalPair[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated,
                     [interrupt = std::move(interrupt)] {
                         char c = 0;
                         [[maybe_unused]] const ssize_t n = ::read(g_signalPair[0], &c, 1);
                         interrupt();
                     });
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    return notifier;
}
#else
// Ctrl-C on a Windows console ends the process; the reports written so far stay.
std::unique_ptr<QSocketNotifier> InterruptOnSignals(std::function<void()>) {
    return nullptr;
}
#endif

void RestoreSignals() {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}
