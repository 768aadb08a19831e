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

#include "download/ChartOutput.h"
#include "download/CommandLine.h"
#include "download/DownloadOptions.h"
#include "download/DriverSupport.h"
#include "download/ExitStatus.h"
#include "download/InstrumentDownload.h"
#include "download/LinkChoice.h"
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

} // namespace

int RunDownloadSession(const DownloadOptions& options) {
    int argc = 1;
    char name[] = "tavon-datalog";
    char* argv[] = {name, nullptr};
    const auto app = MakeApplication(argc, argv, !options.plot.empty());
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
    std::vector<std::unique_ptr<ProgressBar>> bars;
    std::vector<std::string> claimed;
    std::vector<std::unique_ptr<InstrumentDownload>> downloads;
    for (size_t i = 0; i < links.size(); ++i) {
        DownloadOptions own = options;
        own.links.clear();
        if (!options.links.empty() || several) {
            own.links.push_back(links[i]);
        }
        std::unique_ptr<InstrumentDownload::OwnFolder> folder;
        if (several) {
            bars.push_back(std::make_unique<ProgressBar>(board, static_cast<int>(i)));
            folder = std::make_unique<InstrumentDownload::OwnFolder>();
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
            bars.push_back(std::make_unique<ProgressBar>(stderr, drawing));
        }
        downloads.push_back(std::make_unique<InstrumentDownload>(own, *bars.back(), TickPeriod(),
                                                                 std::move(folder)));
    }

    // A failed attempt leaves the machine as it found it: no Settings.ini, no output folder.
    const bool hadSettings = QFile::exists(kSettingsFile);
    std::vector<int> statuses(downloads.size(), -1);
    size_t running = 0;
    for (size_t i = 0; i < downloads.size(); ++i) {
        HeldPrompt held;
        InstrumentDownload& download = *downloads[i];
        if (!download.Open(prompt, held)) {
            PrintError(several ? download.LinkName() + ": " + download.FailureHint()
                               : download.FailureHint());
            statuses[i] = kExitNoLink;
            continue;
        }
        held.PassOn(prompt);
        const bool started = download.Start([&statuses, &running, i](int status) {
            statuses[i] = status;
            if (--running == 0) {
                QCoreApplication::exit(0);
            }
        });
        if (!started) {
            download.Close();
            statuses[i] = kExitOutputFailed;
            continue;
        }
        ++running;
    }
    if (running == 0 && !hadSettings &&
        std::all_of(statuses.begin(), statuses.end(), [](int s) { return s == kExitNoLink; })) {
        std::remove(kSettingsFile);
    }

    if (running > 0) {
        const std::unique_ptr<QSocketNotifier> interrupt = InterruptOnSignals([&downloads] {
            for (const auto& download : downloads) {
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
    int worst = kExitOk;
    std::vector<std::string> made;
    for (size_t i = 0; i < downloads.size(); ++i) {
        downloads[i]->Close();
        worst = WorseStatus(worst, statuses[i]);
        made.insert(made.end(), downloads[i]->MadeFolders().begin(),
                    downloads[i]->MadeFolders().end());
    }
    // The output folder the instruments share was made by the first of them, and was not empty
    // while the others still had theirs in it.
    RemoveEmptyFolders(made);
    if (several) {
        // One line per instrument: the run's outcome at a glance.
        for (size_t i = 0; i < downloads.size(); ++i) {
            const InstrumentDownload& download = *downloads[i];
            const std::string outcome =
                statuses[i] == kExitOk ? "done" : "exit status " + std::to_string(statuses[i]);
            PrintError(download.LinkName() + " (" + download.Name() + "): " + outcome);
        }
    }
    return worst;
}
