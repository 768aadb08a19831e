// The Qt edge of `tavon-datalog download`: the event loop, the signals that interrupt it, and the
// downloads of the instruments it was given, each over its own link and session.
#include "DownloadDriver.h"

#ifdef _WIN32
#include <io.h>
#else
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

#include "ChartOutput.h"
#include "CommandLine.h"
#include "DownloadOptions.h"
#include "ExitStatus.h"
#include "InstrumentDownload.h"
#include "LinkChoice.h"
#include "ProgressBar.h"

namespace {

constexpr int kTickMs = 100;
const char kSettingsFile[] = "Settings.ini";

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
// SIGINT and SIGTERM reach the event loop through a socket pair, so the download ends in order:
// the dump keeps every session that had arrived.
int g_signalPair[2] = {-1, -1};

void OnSignal(int) {
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPair[1], &c, 1);
}

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

} // namespace

int RunDownloadSession(const DownloadOptions& options) {
    int argc = 1;
    char name[] = "tavon-datalog";
    char* argv[] = {name, nullptr};
    const auto app = MakeApplication(argc, argv, !options.plot.empty());
    QCoreApplication::setApplicationName("tavon-datalog");

    StderrPrompt prompt;
    HeldPrompt held;
    ProgressBar progress(stderr, !options.quiet && StderrIsTerminal());
    InstrumentDownload download(options, progress, TickPeriod());

    // A failed attempt leaves the machine as it found it: no Settings.ini, no output folder.
    const bool hadSettings = QFile::exists(kSettingsFile);
    if (!download.Open(prompt, held)) {
        if (!hadSettings) {
            std::remove(kSettingsFile);
        }
        PrintError(download.FailureHint());
        return kExitNoLink;
    }
    held.PassOn(prompt);
    if (!download.Start([](int status) { QCoreApplication::exit(status); })) {
        download.Close();
        return kExitOutputFailed;
    }

    const std::unique_ptr<QSocketNotifier> interrupt =
        InterruptOnSignals([&download] { download.Interrupt(); });
#ifdef SIGPIPE
    // The tree on standard output is a by-product: a reader that has gone away (| head) must not
    // end the download that writes the reports.
    std::signal(SIGPIPE, SIG_IGN);
#endif

    const int status = QCoreApplication::exec();

    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_DFL);
#endif
    download.Close();
    return status;
}
