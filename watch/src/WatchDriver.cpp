// The Qt edge of `tavon-datalog watch`: the application, the log, and the WatchSession that polls
// the ports and pipes and visits each instrument that appears. What to do when is the Watcher's.
#include "watch/WatchDriver.h"

#include <QCoreApplication>

#include <memory>
#include <string>
#include <vector>

#include "EventLog.h"
#include "WatchSession.h"
#include "compliance/InstrumentNeeds.h"
#include "download/ChartOutput.h"
#include "download/CommandArguments.h"
#include "download/ExitStatus.h"
#include "download/FrontEndApplication.h"
#include "session/DownloadSettings.h"
#include "watch/WatchOptions.h"

Watcher::ComplianceCheck RegisterCheck(const WatchOptions& options) {
    if (!options.download.archive) {
        return nullptr;
    }
    const std::string archiveAt = options.download.archiveAt.empty()
                                      ? ReadDownloadSettings().archive
                                      : options.download.archiveAt;
    return [archiveAt](const std::string& instrument) {
        return compliance::NeedsOf(QString::fromLocal8Bit(archiveAt.c_str()),
                                   QString::fromStdString(instrument))
            .lines;
    };
}

int RunWatchSession(const WatchOptions& options, Watcher::ComplianceCheck compliance,
                    const WatchHost& host) {
    int argc = 1;
    char name[] = "tavon-datalog";
    char* argv[] = {name, nullptr};
    // A host's own application (with its widgets) serves; charts need no more than that.
    // The host's name is the one its claims give ("held by tavon-watch, process 4242").
    std::unique_ptr<QCoreApplication> app;
    if (QCoreApplication::instance() == nullptr) {
        app = MakeApplication(argc, argv, !options.download.plot.empty() || options.pdf);
        QCoreApplication::setApplicationName("tavon-datalog");
    }

    EventLog log(options.logPath, options.quiet, host.line);
    if (!log.Open(options.logPath)) {
        PrintError("cannot open the log " + options.logPath);
        return kExitOutputFailed;
    }
    WatchSession session(options, log, std::move(compliance));
    return session.Run(host);
}
