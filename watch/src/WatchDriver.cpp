// The Qt edge of `tavon-datalog watch`: the clock, the ports and pipes it polls, the log, and one
// InstrumentDownload per instrument that appears. What to do when is the Watcher's.
#include "watch/WatchDriver.h"

#include <sys/stat.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "archive/SessionArchive.h"
#include "compliance/InstrumentNeeds.h"
#include "core/LogImage.h"
#include "download/ChartOutput.h"
#include "download/CommandLine.h"
#include "download/DownloadPlan.h"
#include "download/DriverSupport.h"
#include "download/ExitStatus.h"
#include "download/InstrumentDownload.h"
#include "download/LinkChoice.h"
#include "download/ProgressBar.h"
#include "linkselect/PipePlace.h"
#include "linkselect/PortDiscovery.h"
#include "linkselect/Settings.h"
#include "report/Report.h"
#include "report/SessionValues.h"
#include "session/InstrumentSession.h"
#include "session/LinkClaim.h"
#include "watch/KeptFiles.h"
#include "watch/WatchOptions.h"

namespace {

constexpr int kPollMs = 2000;

// The discovery is polled every 2 s; TAVON_WATCH_POLL_MS (10 to 2000) polls quicker, for the
// tests.
int PollPeriod() {
    const char* text = std::getenv("TAVON_WATCH_POLL_MS");
    const int ms = text != nullptr ? std::atoi(text) : 0;
    return ms >= 10 && ms <= kPollMs ? ms : kPollMs;
}

// --every counts minutes; TAVON_WATCH_MINUTE_MS (100 to 60000) makes them shorter, for the tests.
int64_t MinuteMs() {
    const char* text = std::getenv("TAVON_WATCH_MINUTE_MS");
    const int ms = text != nullptr ? std::atoi(text) : 0;
    return ms >= 100 && ms <= 60000 ? ms : 60000;
}

// One line per event, with its local time to the millisecond, on standard output and/or the log
// file; flushed at once so that a service's journal and a tail -f follow it.
class EventLog {
public:
    EventLog(const std::string& path, bool quiet, std::function<void(const std::string&)> observer)
        : m_stdout(!quiet), m_observer(std::move(observer)) {
        if (!path.empty()) {
            m_file = std::fopen(path.c_str(), "a");
        }
    }
    ~EventLog() {
        if (m_file != nullptr) {
            std::fclose(m_file);
        }
    }
    bool Open(const std::string& path) const { return path.empty() || m_file != nullptr; }
    void Line(const std::string& text) {
        const std::string line =
            QDateTime::currentDateTime().toString("yyyy-MM-dd HH:mm:ss.zzz ").toStdString() + text +
            "\n";
        if (m_observer) {
            m_observer(line.substr(0, line.size() - 1));
        }
        if (m_file != nullptr) {
            std::fputs(line.c_str(), m_file);
            std::fflush(m_file);
        } else if (m_stdout) {
            std::fputs(line.c_str(), stdout);
            std::fflush(stdout);
        }
    }

private:
    std::FILE* m_file = nullptr;
    bool m_stdout;
    std::function<void(const std::string&)> m_observer;
};

// The libraries' message boxes, as lines of the log.
class LogPrompt : public UserPrompt {
public:
    explicit LogPrompt(EventLog& log) : m_log(log) {}
    void Show(const std::string& text, const std::string& caption) override {
        m_log.Line(caption + ": " + text);
    }

private:
    EventLog& m_log;
};

bool PipeAnswers(const std::string& name) {
#ifdef _WIN32
    (void)name;
    return true; // a named pipe is found by opening it
#else
    struct stat info;
    return stat(PipeSocketPath(name).c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
#endif
}

bool PortExists(const std::string& name) {
#ifdef _WIN32
    (void)name;
    return true;
#else
    struct stat info;
    const std::string path = name.compare(0, 1, "/") == 0 ? name : "/dev/" + name;
    return stat(path.c_str(), &info) == 0;
#endif
}

// The first job number and user name in a day's sessions, for the output template.
void JobAndUser(LogImage& image, const ReportState& report, const ReportJob& job,
                TemplateFields& fields) {
    for (int16_t slot : job.sessionSlots) {
        SessionRecordReader reader(image, slot, report.ModeNames);
        RecordValue record;
        while ((fields.job.empty() || fields.user.empty()) && reader.Next(record)) {
            if (record.Kind == RecordKind::JobNumber && fields.job.empty() && record.HasText) {
                fields.job = record.Text;
            } else if (record.Kind == RecordKind::UserName && fields.user.empty() &&
                       record.HasText) {
                fields.user = record.Text;
            }
        }
    }
}

std::string DefaultTemplate() {
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty()) {
        documents = QDir::homePath();
    }
    return QDir(documents).filePath("Tavon/{instrument}/{date}").toLocal8Bit().toStdString();
}

// One instrument on one link: its download, its progress line (never drawn) and its files.
struct Visit {
    std::unique_ptr<LinkClaim> claim; // released once the link is closed
    std::unique_ptr<ProgressBar> bar;
    std::unique_ptr<KeptFiles> files;
    std::unique_ptr<InstrumentDownload> download;
    bool ended = false;
};

using LinkKey = std::pair<int, std::string>;
LinkKey KeyOf(const DownloadLink& link) {
    return {static_cast<int>(link.kind), link.name};
}

} // namespace

Watcher::ComplianceCheck RegisterCheck(const WatchOptions& options) {
    if (!options.download.archive) {
        return nullptr;
    }
    const std::string archiveAt =
        options.download.archiveAt.empty() ? ReadSetting("Archive") : options.download.archiveAt;
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
    LogPrompt prompt(log);
    // Says that a watcher runs, and which, to whoever asks (a second watcher runs all the same:
    // the links keep them apart).
    std::string firstWatcher;
    const std::unique_ptr<LinkClaim> running = LinkClaim::Take("watcher", firstWatcher);
    const std::string folderTemplate =
        options.outTemplate.empty() ? DefaultTemplate() : options.outTemplate;
    const std::string scratch = QDir::tempPath().toLocal8Bit().toStdString() + "/FlashData.txt";
    const std::unique_ptr<Registry> registry = MakePlatformRegistry();

    std::map<LinkKey, std::unique_ptr<Visit>> visits;
    std::vector<std::unique_ptr<Visit>> closed; // destroyed once the event that closed them ends
    QTimer reaper;
    reaper.setSingleShot(true);
    QObject::connect(&reaper, &QTimer::timeout, [&closed] { closed.clear(); });

    bool stopping = false;
    std::unique_ptr<Watcher> watcher;
    const auto settle = [&] {
        if ((stopping && !watcher->Visiting()) || watcher->Finished()) {
            QCoreApplication::exit(0);
        }
    };

    Watcher::Actions actions;
    actions.log = [&log](const std::string& line) { log.Line(line); };
    actions.close = [&](const DownloadLink& link) {
        const auto found = visits.find(KeyOf(link));
        if (found == visits.end()) {
            return;
        }
        found->second->download->Close();
        // The link is closed: it is free at once, for a visit that follows straight away.
        found->second->claim.reset();
        closed.push_back(std::move(found->second));
        visits.erase(found);
        reaper.start(0);
    };
    actions.visit = [&](const DownloadLink& link, std::string& why) {
        auto visit = std::make_unique<Visit>();
        // Another watcher, or the program, on this link: it is left to them, and said who.
        std::string holder;
        const bool pipe = link.kind == DownloadLink::Kind::Pipe;
        visit->claim = LinkClaim::Take(LinkClaim::LinkName(pipe, link.name), holder);
        if (!visit->claim) {
            why = "held by " + holder;
            return false;
        }
        DownloadOptions own = options.download;
        own.links = {link};
        own.dumpPath = scratch;
        visit->bar = std::make_unique<ProgressBar>(stderr, false);
        visit->download = std::make_unique<InstrumentDownload>(own, *visit->bar, TickPeriod());
        InstrumentDownload& download = *visit->download;
        HeldPrompt held;
        if (!download.Open(prompt, held)) {
            why = download.FailureHint();
            return false;
        }
        if (stopping) { // asked to stop while the line was being brought up
            download.Close();
            why = "stopping";
            return false;
        }
        held.PassOn(prompt);
        const auto named = [&download](const std::string& text) {
            return download.Name() + ": " + text;
        };
        visit->files = std::make_unique<KeptFiles>(
            folderTemplate,
            [&download](const ReportJob& job) {
                TemplateFields fields;
                fields.instrument = download.Name();
                JobAndUser(download.Session().Image(), download.Session().Report(), job, fields);
                return fields;
            },
            [&log, named](const std::string& line) { log.Line(named(line)); });
        InstrumentDownload::Hooks hooks;
        hooks.tree = nullptr;
        hooks.placement = visit->files.get();
        hooks.messages = [&log, named](const std::string& text) { log.Line(named(text)); };
        hooks.planReady = [&log, named](int toUpload, int reports) {
            log.Line(named("index read: " + std::to_string(toUpload) + " new session" +
                           (toUpload == 1 ? "" : "s") + ", " + std::to_string(reports) + " day" +
                           (reports == 1 ? "" : "s") + " to write"));
        };
        hooks.pdfReports = options.pdf;
        download.SetHooks(std::move(hooks));
        InstrumentSession& session = download.Session();
        const std::string linkText = Watcher::LinkText(link);
        QObject::connect(&session, &InstrumentSession::Connected, &download,
                         [&log, &download, linkText](bool ok) {
                             if (ok) {
                                 log.Line(download.Name() + ": connected on " + linkText);
                             }
                         });
        QObject::connect(&session, &InstrumentSession::LinkLost, &download,
                         [&watcher, link] { watcher->LinkLost(link); });
        Visit* raw = visit.get();
        const bool started = download.Start([&, raw, link](int status) {
            raw->ended = true;
            // Told after the download's own handlers have run: the watcher may close the link.
            QTimer::singleShot(0, [&, raw, link, status] {
                const auto found = visits.find(KeyOf(link));
                if (found == visits.end() || found->second.get() != raw) {
                    return;
                }
                watcher->VisitEnded(link, raw->download->Name(), status);
                const auto still = visits.find(KeyOf(link));
                if (still != visits.end() && !stopping) {
                    still->second->download->KeepIdle();
                }
                settle();
            });
        });
        if (!started) {
            download.Close();
            why = "the output folder could not be made";
            return false;
        }
        visits[KeyOf(link)] = std::move(visit);
        return true;
    };

    watcher = std::make_unique<Watcher>(std::move(actions), options.once,
                                        static_cast<int64_t>(options.everyMinutes) * MinuteMs());
    if (compliance) {
        watcher->SetComplianceCheck(std::move(compliance));
    }

    QElapsedTimer clock;
    clock.start();
    bool polling = false;
    const auto poll = [&] {
        // Opening a port handles events while the line settles; the poll that opens it is not
        // entered again meanwhile.
        if (stopping || polling) {
            return;
        }
        polling = true;
        std::vector<DownloadLink> present;
        for (const std::string& pipe : options.pipes) {
            if (PipeAnswers(pipe)) {
                present.push_back({DownloadLink::Kind::Pipe, pipe});
            }
        }
        for (const std::string& port : options.ports) {
            if (PortExists(port)) {
                present.push_back({DownloadLink::Kind::Port, port});
            }
        }
        if (options.allPorts) {
            for (const std::string& port : DiscoverInstrumentPorts(*registry)) {
                const DownloadLink link{DownloadLink::Kind::Port, port};
                bool listed = false;
                for (const DownloadLink& known : present) {
                    listed = listed || known == link;
                }
                if (!listed) {
                    present.push_back(link);
                }
            }
        }
        watcher->Poll(present, clock.elapsed());
        polling = false;
        settle();
    };
    QTimer poller;
    QObject::connect(&poller, &QTimer::timeout, poll);
    poller.start(PollPeriod());
    QTimer::singleShot(0, poll);

    std::string watched;
    for (const std::string& pipe : options.pipes) {
        watched += (watched.empty() ? "" : ", ") + std::string("pipe ") + pipe;
    }
    for (const std::string& port : options.ports) {
        watched += (watched.empty() ? "" : ", ") + port;
    }
    if (options.allPorts) {
        watched += (watched.empty() ? "" : ", ") + std::string("every port of a known driver");
    }
    // Which settings file counts is a matter of the folder it was started in: said, so that a
    // service's journal shows it.
    const QString settingsFile = QDir::current().absoluteFilePath("Settings.ini");
    log.Line("watching " + watched + "; files go to " + folderTemplate + "; settings from " +
             QDir::toNativeSeparators(settingsFile).toLocal8Bit().toStdString() +
             (QFileInfo::exists(settingsFile) ? "" : " (not there: none)") +
             (running ? std::string() : "; another watcher runs too (" + firstWatcher + ")"));

    const std::function<void()> stop = [&] {
        if (stopping) {
            return;
        }
        stopping = true;
        watcher->Stop();
        log.Line("stopping");
        for (auto& item : visits) {
            if (!item.second->ended) {
                item.second->download->InterruptBetweenRequests();
            }
        }
        settle();
    };
    const std::unique_ptr<QSocketNotifier> interrupt = InterruptOnSignals(stop);
    if (host.running) {
        host.running(stop);
    }
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
    QCoreApplication::exec();
    RestoreSignals();
    for (auto& item : visits) {
        item.second->download->Close();
    }
    visits.clear();
    closed.clear();
    log.Line(stopping ? "stopped" : "done");
    if (stopping) {
        return kExitOk;
    }
    return options.once ? watcher->WorstStatus() : kExitOk;
}
