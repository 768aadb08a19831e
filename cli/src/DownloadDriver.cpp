// The Qt edge of `tavon-datalog download`: the event loop, the 100 ms tick (and in fast mode the
// short tick of a transfer) and the delivery of the communications notifications. Everything it
// drives is plain C++.
#include "DownloadDriver.h"

#ifdef _WIN32
#include <io.h>
#else
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <QCoreApplication>
#include <QFile>
#include <QSize>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "ChartOutput.h"
#include "CommandLine.h"
#include "DownloadOptions.h"
#include "DownloadRun.h"
#include "ExitStatus.h"
#include "LinkChoice.h"
#include "OfflineOptions.h"
#include "ProgressBar.h"
#include "ReportOutput.h"
#include "app/MeterTalkComms.h"
#include "app/RecordingComms.h"
#include "app/SessionBrowser.h"
#include "archive/DownloadArchive.h"
#include "core/LogImage.h"
#include "linkselect/LinkSelect.h"
#include "linkselect/Settings.h"
#include "metertalk/ArrivalTick.h"
#include "metertalk/Comms.h"
#include "metertalk/QtCommandTarget.h"
#include "metertalk/TestList.h"
#include "report/Report.h"

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

// Live for the whole run, as the instrument's memory copy and the report do in the program.
LogImage g_image;
ReportState g_report;

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

std::unique_ptr<QSocketNotifier> InterruptOnSignals(DownloadRun& run) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPair) != 0) {
        return nullptr;
    }
    auto interrupt = std::make_unique<QSocketNotifier>(g_signalPair[0], QSocketNotifier::Read);
    QObject::connect(interrupt.get(), &QSocketNotifier::activated, [&run] {
        char c = 0;
        [[maybe_unused]] const ssize_t n = ::read(g_signalPair[0], &c, 1);
        run.Interrupt();
    });
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    return interrupt;
}
#else
// Ctrl-C on a Windows console ends the process; the reports written so far stay.
std::unique_ptr<QSocketNotifier> InterruptOnSignals(DownloadRun&) {
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
    LinkChoice links(options);
    CLinkSelect().SetUserPrompt(&held);
    links.Install();

    CComms comms;
    comms.SetUserPrompt(&held);
    // A failed attempt leaves the machine as it found it: no Settings.ini, no output folder.
    const bool hadSettings = QFile::exists(kSettingsFile);
    const int opened = comms.InitCom(&links.App(), "KOVA", "115,200");
    CLinkSelect().SetUserPrompt(&prompt);
    comms.SetUserPrompt(&prompt);
    if (opened == 0) {
        if (!hadSettings) {
            std::remove(kSettingsFile);
        }
        PrintError(links.FailureHint());
        return kExitNoLink;
    }
    held.PassOn(prompt);
    // Made once the instrument is there and before anything is uploaded: a download that cannot
    // be saved is not started.
    std::string message;
    if (!MakeFolders(options.outDir, message)) {
        PrintError(message);
        comms.InitCom(nullptr, std::string(), std::string());
        return kExitOutputFailed;
    }

    CTestList tests;
    QtCommandTarget target;
    MeterTalkComms conversation(comms, tests, &target);
    conversation.Prepare();

    ProgressBar progress(stderr, !options.quiet && StderrIsTerminal());
    DownloadRun run(options, g_image, g_report, progress, stdout);
    RecordingComms recording(conversation);
    auto browser = std::make_unique<SessionBrowser>(recording, run, g_image, g_report);
    run.Attach(*browser);
    // Settings.ini may name the archive (a team's server) and turn archiving off.
    const std::string archiveAt =
        options.archiveAt.empty() ? ReadSetting("Archive") : options.archiveAt;
    std::unique_ptr<DownloadArchive> keeper;
    if (options.archive && ReadSetting("Archive Downloads") != "FALSE") {
        keeper = std::make_unique<DownloadArchive>(
            QString::fromLocal8Bit(archiveAt.c_str()),
            QString::fromLocal8Bit(options.instrumentName.c_str()), options.all,
            [](const QString& message) {
                PrintError("archive: " + message.toLocal8Bit().toStdString() +
                           "; the download goes on without it");
            });
        run.SetKeeper(keeper.get(), &recording);
    }
    run.Prepare();
    run.SetChartWriter([](const std::vector<int16_t>& sessionSlots, const std::string& path) {
        // The headings of the report just written: one day's, or the slot's.
        const ChartJob job{sessionSlots, g_report.HeadingDay, g_report.HeadingMonth};
        return WriteChartFile(g_image, g_report, job, path, QSize(kChartWidth, kChartHeight)) ==
               kExitOk;
    });

    // Fast uploads: the short tick runs while a transfer does, and what a notification decided
    // starts at once instead of at the next tick.
    const bool fast = options.fast || ReadSetting("Fast Upload") == "TRUE";
    ArrivalTick arrival(comms);
    auto follow = [&] { arrival.Follow(fast && !run.Finished() && !browser->Idle()); };

    QTimer tick;
    run.SetFinish([&tick, &arrival](int status) {
        tick.stop();
        arrival.Follow(false);
        QCoreApplication::exit(status);
    });
    QObject::connect(&target, &QtCommandTarget::command, [&](int id) {
        if (run.Finished()) {
            return;
        }
        if (id == ID_COMMS_CHECKSUM_ERROR) {
            run.OnChecksumError();
            return;
        }
        DispatchCommsCommand(*browser, id); // ID_COMMS_FRAME_START changes nothing
        if (fast) {
            run.OnTick();
        }
        follow();
    });
    QObject::connect(&tick, &QTimer::timeout, [&] {
        comms.OnTimer();
        run.OnTick();
        follow();
    });

    const std::unique_ptr<QSocketNotifier> interrupt = InterruptOnSignals(run);
#ifdef SIGPIPE
    // The tree on standard output is a by-product: a reader that has gone away (| head) must not
    // end the download that writes the reports.
    std::signal(SIGPIPE, SIG_IGN);
#endif

    // The built-in driver text, "Upload flag" current, state 0 and the first poll.
    browser->Start();
    tick.start(TickPeriod());
    const int status = QCoreApplication::exec();

    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_DFL);
#endif
    comms.InitCom(nullptr, std::string(), std::string()); // closes the link
    return status;
}
