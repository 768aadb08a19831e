#include "InterruptRelay.h"

#include <QCoreApplication>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>

#include <csignal>
#endif

namespace {

std::function<void()> g_onInterrupt;

#ifdef _WIN32
// Called on a thread of its own: the call is queued to the event loop.
BOOL WINAPI OnConsoleControl(DWORD) {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [] {
            if (g_onInterrupt) {
                g_onInterrupt();
            }
        },
        Qt::QueuedConnection);
    return TRUE;
}
#else
// A signal handler may only write: the byte wakes the event loop through a socket pair.
int g_signalPair[2] = {-1, -1};

void OnSignal(int) {
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPair[1], &c, 1);
}
#endif

} // namespace

#ifdef _WIN32
struct InterruptRelay::Platform {};

InterruptRelay::InterruptRelay(std::function<void()> onInterrupt)
    : platform_(std::make_unique<Platform>()) {
    g_onInterrupt = std::move(onInterrupt);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

InterruptRelay::~InterruptRelay() {
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    g_onInterrupt = nullptr;
}
#else
struct InterruptRelay::Platform {
    std::unique_ptr<QSocketNotifier> notifier;
};

InterruptRelay::InterruptRelay(std::function<void()> onInterrupt)
    : platform_(std::make_unique<Platform>()) {
    g_onInterrupt = std::move(onInterrupt);
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPair) == 0) {
        platform_->notifier =
            std::make_unique<QSocketNotifier>(g_signalPair[0], QSocketNotifier::Read);
        QObject::connect(platform_->notifier.get(), &QSocketNotifier::activated, [] {
            char c = 0;
            [[maybe_unused]] const ssize_t n = ::read(g_signalPair[0], &c, 1);
            if (g_onInterrupt) {
                g_onInterrupt();
            }
        });
        std::signal(SIGINT, OnSignal);
        std::signal(SIGTERM, OnSignal);
    }
    // The tree on standard output is a by-product: a reader that has gone away (| head) must not
    // end the download that writes the reports.
    std::signal(SIGPIPE, SIG_IGN);
}

InterruptRelay::~InterruptRelay() {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGPIPE, SIG_DFL);
    platform_->notifier.reset();
    for (int& fd : g_signalPair) {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
    g_onInterrupt = nullptr;
}
#endif
