// The Qt edge of `tavon-datalog watch`: the application, the log, and the WatchSession that polls
// the ports and pipes and visits each instrument that appears. What to do when is the Watcher's.
#include "watch/WatchDriver.h"

#include <QCoreApplication>

#include <memory>
#include <string>
#include <vector>

#include "EventLog.h"
#include "WatchSession.h"
#include "archive/SessionArchive.h"
#include "compliance/InstrumentRegister.h"
#include "download/ChartOutput.h"
#include "download/CommandLine.h"
#include "download/ExitStatus.h"
#include "linkselect/Settings.h"
#include "watch/WatchOptions.h"

Watcher::ComplianceCheck RegisterCheck(const WatchOptions& options) {
    if (!options.download.archive) {
        return nullptr;
    }
    const std::string archiveAt =
        options.download.archiveAt.empty() ? ReadSetting("Archive") : options.download.archiveAt;
    return [archiveAt](const std::string& instrument) {
        std::vector<std::string> lines;
        archive::SessionArchive store;
        if (!store.Open(QString::fromLocal8Bit(archiveAt.c_str()))) {
            return lines;
        }
        compliance::InstrumentRegister reg(store);
        const int64_t today = compliance::Today();
        for (qint64 id : store.FindInstruments(QString::fromStdString(instrument))) {
            std::vector<std::string> attention;
            if (reg.Attention(id, today, attention)) {
                lines.insert(lines.end(), attention.begin(), attention.end());
            }
        }
        return lines;
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
