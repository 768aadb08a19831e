// The Qt edge of `tavon-datalog download`: the event loop, the signals that interrupt it, and the
// downloads of the instruments it was given, each over its own link and session.
#include "DownloadDriver.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/OnwardSync.h"
#include "download/ChartOutput.h"
#include "download/CommandArguments.h"
#include "download/DownloadOptions.h"
#include "download/DriverSupport.h"
#include "download/ExitStatus.h"
#include "download/FrontEndApplication.h"
#include "download/InstrumentDownload.h"
#include "download/LinkChoice.h"
#include "download/OnwardTarget.h"
#include "download/ProgressBar.h"
#include "download/ReportOutput.h"
#include "linkselect/PortDiscovery.h"

namespace {

const char kSettingsFile[] = "Settings.ini";

bool TerminalUnderstandsCursorMoves() {
#ifdef _WIN32
    // Windows 10 consoles move the cursor once they are asked to.
    HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    return GetConsoleMode(handle, &mode) != 0 &&
           SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
#else
    return true;
#endif
}

// The links of the run, in the order given: those named, then every port the discovery lists
// (--ports all); none named: the default choice.
std::vector<DownloadLink> LinksOf(const DownloadOptions& options) {
    std::vector<DownloadLink> links = options.links;
    if (options.allPorts) {
        const std::unique_ptr<Registry> registry = MakePlatformRegistry();
        for (const std::string& port : DiscoverInstrumentPorts(*registry)) {
            const DownloadLink link{DownloadLink::Kind::Port, port};
            if (std::find(links.begin(), links.end(), link) == links.end()) {
                links.push_back(link);
            }
        }
    }
    return links;
}

// The instruments of one run: their progress lines, their downloads and how each ended (-1: not
// yet).
struct Run {
    bool several = false; // more than one link: a folder and a summary line each
    std::vector<std::unique_ptr<ProgressBar>> bars;
    std::vector<std::string> claimed; // the folder names taken so far
    std::vector<std::unique_ptr<InstrumentDownload>> downloads;
    std::vector<int> statuses;
    size_t running = 0;
    size_t started = 0;
};

// One download per link, each with its progress line and, with several, a folder of its own.
void MakeDownloads(const DownloadOptions& options, const std::vector<DownloadLink>& links,
                   ProgressBoard& board, bool drawing, Run& run) {
    for (size_t i = 0; i < links.size(); ++i) {
        DownloadOptions own = options;
        own.links.clear();
        if (!options.links.empty() || run.several) {
            own.links.push_back(links[i]);
        }
        std::unique_ptr<InstrumentDownload::OwnFolder> folder;
        if (run.several) {
            run.bars.push_back(std::make_unique<ProgressBar>(board, static_cast<int>(i)));
            folder = std::make_unique<InstrumentDownload::OwnFolder>();
            std::vector<std::string>& claimed = run.claimed;
            folder->claim = [&claimed](const std::string& wanted) {
                // Two instruments that go by one name (no serial number, one --instrument)
                // still get a folder each.
                std::string name = wanted;
                for (int n = 2; std::find(claimed.begin(), claimed.end(), name) != claimed.end();
                     ++n) {
                    name = wanted + "-" + std::to_string(n);
                }
                claimed.push_back(name);
                return name;
            };
        } else {
            run.bars.push_back(std::make_unique<ProgressBar>(stderr, drawing));
        }
        run.downloads.push_back(std::make_unique<InstrumentDownload>(
            own, *run.bars.back(), TickPeriod(), std::move(folder)));
    }
    run.statuses.assign(run.downloads.size(), -1);
}

// Opens and starts each download; one that cannot be opened or started has its status at once.
// A run where no link opened leaves the machine as it found it: no Settings.ini.
void StartDownloads(StderrPrompt& prompt, Run& run) {
    const bool hadSettings = QFile::exists(kSettingsFile);
    for (size_t i = 0; i < run.downloads.size(); ++i) {
        HeldPrompt held;
        InstrumentDownload& download = *run.downloads[i];
        if (!download.Open(prompt, held)) {
            // A link held by another program is named, as the watcher names it.
            PrintError(run.several || download.LinkHeld()
                           ? download.LinkName() + ": " + download.FailureHint()
                           : download.FailureHint());
            run.statuses[i] = kExitNoLink;
            continue;
        }
        held.PassOn(prompt);
        const bool started = download.Start([&run, i](int status) {
            run.statuses[i] = status;
            if (--run.running == 0) {
                QCoreApplication::exit(0);
            }
        });
        if (!started) {
            download.Close();
            run.statuses[i] = kExitOutputFailed;
            continue;
        }
        ++run.running;
        ++run.started;
    }
    if (run.running == 0 && !hadSettings &&
        std::all_of(run.statuses.begin(), run.statuses.end(),
                    [](int s) { return s == kExitNoLink; })) {
        std::remove(kSettingsFile);
    }
}

// The event loop until every started download has ended; SIGINT and SIGTERM interrupt them.
void WaitForDownloads(Run& run) {
    if (run.running == 0) {
        return;
    }
    const std::unique_ptr<QSocketNotifier> interrupt = InterruptOnSignals([&run] {
        for (const auto& download : run.downloads) {
            download->Interrupt();
        }
    });
#ifdef SIGPIPE
    // The tree on standard output is a by-product: a reader that has gone away (| head) must
    // not end the download that writes the reports.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    QCoreApplication::exec();
    RestoreSignals();
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_DFL);
#endif
}

// Closes every download and answers the run's exit status: the worst of theirs.
int FinishDownloads(Run& run) {
    int worst = kExitOk;
    std::vector<std::string> made;
    for (size_t i = 0; i < run.downloads.size(); ++i) {
        run.downloads[i]->Close();
        worst = WorseStatus(worst, run.statuses[i]);
        made.insert(made.end(), run.downloads[i]->MadeFolders().begin(),
                    run.downloads[i]->MadeFolders().end());
    }
    // The output folder the instruments share was made by the first of them, and was not empty
    // while the others still had theirs in it.
    RemoveEmptyFolders(made);
    if (run.several) {
        // One line per instrument: the run's outcome at a glance.
        for (size_t i = 0; i < run.downloads.size(); ++i) {
            const InstrumentDownload& download = *run.downloads[i];
            const std::string outcome = run.statuses[i] == kExitOk
                                            ? "done"
                                            : "exit status " + std::to_string(run.statuses[i]);
            PrintError(download.LinkName() + " (" + download.Name() + "): " + outcome);
        }
    }
    return worst;
}

// Offline first: the downloads are in the archive whatever comes of this; a sync that fails is
// said, and leaves the exit status the download's.
void SyncOnward(const DownloadOptions& options, const Run& run) {
    const std::unique_ptr<archive::OnwardSync> onward = OnwardSyncOf(options);
    if (!onward || run.started == 0) {
        return;
    }
    for (const QString& line : onward->After()) {
        PrintError(line.toLocal8Bit().toStdString());
    }
}

} // namespace

int RunDownloadSession(const DownloadOptions& options) {
    int argc = 1;
    char name[] = "tavon-datalog";
    char* argv[] = {name, nullptr};
    const auto app = MakeApplication(argc, argv, !options.plot.empty() || !options.map.empty());
    QCoreApplication::setApplicationName("tavon-datalog");

    std::vector<DownloadLink> links = LinksOf(options);
    if (options.allPorts && links.empty()) {
        PrintError("no instrument: the discovery lists no serial port of a known driver");
        return kExitNoLink;
    }
    const bool several = links.size() > 1;
    if (links.empty()) {
        links.push_back(DownloadLink{}); // the default choice: only the first link is tried
    }

    StderrPrompt prompt;
    const bool drawing = !options.quiet && StderrIsTerminal();
    ProgressBoard board(stderr, drawing && several && TerminalUnderstandsCursorMoves(),
                        static_cast<int>(links.size()));
    // After the prompt and the board, which its downloads and progress lines use to the end.
    Run run;
    run.several = several;
    MakeDownloads(options, links, board, drawing, run);
    StartDownloads(prompt, run);
    WaitForDownloads(run);
    const int status = FinishDownloads(run);
    // Interrupted: the user wants the program to end, not to wait on a server.
    if (status != kExitInterrupted) {
        SyncOnward(options, run);
    }
    return status;
}
