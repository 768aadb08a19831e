#include "WatchSession.h"

#include <sys/stat.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QThread>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <functional>

#include "archive/OnwardSync.h"
#include "download/DriverSupport.h"
#include "download/ExitStatus.h"
#include "download/OnwardTarget.h"
#include "linkselect/PipePlace.h"
#include "linkselect/PortDiscovery.h"
#include "linkselect/Registry.h"
#include "session/LinkClaim.h"
#include "watch/WatchDriver.h"
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

std::string DefaultTemplate() {
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty()) {
        documents = QDir::homePath();
    }
    return QDir(documents).filePath("Tavon/{instrument}/{date}").toLocal8Bit().toStdString();
}

VisitSetup SetupOf(const WatchOptions& options) {
    VisitSetup setup;
    setup.download = options.download;
    setup.pdf = options.pdf;
    setup.folderTemplate = options.outTemplate.empty() ? DefaultTemplate() : options.outTemplate;
    setup.scratch = QDir::tempPath().toLocal8Bit().toStdString() + "/FlashData.txt";
    return setup;
}

} // namespace

WatchSession::WatchSession(const WatchOptions& options, EventLog& log,
                           Watcher::ComplianceCheck compliance)
    : m_options(options), m_log(log), m_prompt(log),
      m_running(LinkClaim::Take("watcher", m_firstWatcher)), m_setup(SetupOf(options)),
      m_registry(MakePlatformRegistry()), m_onward(OnwardSyncOf(options.download)) {
    m_reaper.setSingleShot(true);
    QObject::connect(&m_reaper, &QTimer::timeout, &m_reaper, [this] { m_closed.clear(); });
    Watcher::Actions actions;
    actions.log = [this](const std::string& line) { m_log.Line(line); };
    actions.close = [this](const DownloadLink& link) { CloseLink(link); };
    actions.visit = [this](const DownloadLink& link, std::string& why) { return Visit(link, why); };
    m_watcher = std::make_unique<Watcher>(std::move(actions), options.once,
                                          static_cast<int64_t>(options.everyMinutes) * MinuteMs());
    if (compliance) {
        m_watcher->SetComplianceCheck(std::move(compliance));
    }
}

WatchSession::~WatchSession() {
    if (m_syncing != nullptr) {
        m_syncing->wait();
        delete m_syncing;
    }
}

WatchSession::LinkKey WatchSession::KeyOf(const DownloadLink& link) {
    return {static_cast<int>(link.kind), link.name};
}

int WatchSession::Run(const WatchHost& host) {
    m_clock.start();
    QObject::connect(&m_poller, &QTimer::timeout, &m_poller, [this] { Poll(); });
    m_poller.start(PollPeriod());
    QTimer::singleShot(0, &m_deferred, [this] { Poll(); });
    SayWatching();
    const std::function<void()> stop = [this] { Stop(); };
    const std::unique_ptr<QSocketNotifier> interrupt = InterruptOnSignals(stop);
    if (host.running) {
        host.running(stop);
    }
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
    QCoreApplication::exec();
    RestoreSignals();
    CloseAll();
    m_log.Line(m_stopping ? "stopped" : "done");
    if (m_stopping) {
        return kExitOk;
    }
    return m_options.once ? m_watcher->WorstStatus() : kExitOk;
}

bool WatchSession::Visit(const DownloadLink& link, std::string& why) {
    VisitOwner& owner = *this;
    auto visit = std::make_unique<WatchVisit>(link, m_setup, m_log, m_prompt, owner);
    if (!visit->Open(why)) {
        return false;
    }
    if (m_stopping) { // asked to stop while the line was being brought up
        visit->Close();
        why = "stopping";
        return false;
    }
    if (!visit->Start(why)) {
        return false;
    }
    m_visits[KeyOf(link)] = std::move(visit);
    return true;
}

void WatchSession::CloseLink(const DownloadLink& link) {
    const auto found = m_visits.find(KeyOf(link));
    if (found == m_visits.end()) {
        return;
    }
    // The link is closed: it is free at once, for a visit that follows straight away.
    found->second->Close();
    m_closed.push_back(std::move(found->second));
    m_visits.erase(found);
    m_reaper.start(0);
}

void WatchSession::DownloadEnded(WatchVisit& visit, int status) {
    // Told after the download's own handlers have run: the watcher may close the link.
    const WatchVisit* ended = &visit;
    const DownloadLink link = visit.Link();
    QTimer::singleShot(0, &m_deferred,
                       [this, ended, link, status] { TellEnded(ended, link, status); });
}

void WatchSession::TellEnded(const WatchVisit* visit, const DownloadLink& link, int status) {
    const auto found = m_visits.find(KeyOf(link));
    if (found == m_visits.end() || found->second.get() != visit) {
        return;
    }
    m_watcher->VisitEnded(link, visit->Name(), status);
    // What the visit archived goes on to the team's archive.
    if (m_onward && (status == kExitOk || status == kExitArchive)) {
        SyncOnward();
    }
    const auto still = m_visits.find(KeyOf(link));
    if (still != m_visits.end() && !m_stopping) {
        still->second->KeepIdle();
    }
    Settle();
}

void WatchSession::LinkLost(const DownloadLink& link) {
    m_watcher->LinkLost(link);
}

void WatchSession::Poll() {
    // Opening a port handles events while the line settles; the poll that opens it is not
    // entered again meanwhile.
    if (m_stopping || m_polling) {
        return;
    }
    m_polling = true;
    m_watcher->Poll(PresentLinks(), m_clock.elapsed());
    m_polling = false;
    Settle();
}

std::vector<DownloadLink> WatchSession::PresentLinks() {
    std::vector<DownloadLink> present;
    for (const std::string& pipe : m_options.pipes) {
        if (PipeAnswers(pipe)) {
            present.push_back({DownloadLink::Kind::Pipe, pipe});
        }
    }
    for (const std::string& port : m_options.ports) {
        if (PortExists(port)) {
            present.push_back({DownloadLink::Kind::Port, port});
        }
    }
    if (m_options.allPorts) {
        for (const std::string& port : DiscoverInstrumentPorts(*m_registry)) {
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
    return present;
}

void WatchSession::SayWatching() {
    std::string watched;
    for (const std::string& pipe : m_options.pipes) {
        watched += (watched.empty() ? "" : ", ") + std::string("pipe ") + pipe;
    }
    for (const std::string& port : m_options.ports) {
        watched += (watched.empty() ? "" : ", ") + port;
    }
    if (m_options.allPorts) {
        watched += (watched.empty() ? "" : ", ") + std::string("every port of a known driver");
    }
    // Which settings file counts is a matter of the folder it was started in: said, so that a
    // service's journal shows it.
    const QString settingsFile = QDir::current().absoluteFilePath("Settings.ini");
    m_log.Line("watching " + watched + "; files go to " + m_setup.folderTemplate +
               "; settings from " +
               QDir::toNativeSeparators(settingsFile).toLocal8Bit().toStdString() +
               (QFileInfo::exists(settingsFile) ? "" : " (not there: none)") +
               (m_running ? std::string() : "; another watcher runs too (" + m_firstWatcher + ")"));
}

void WatchSession::Stop() {
    if (m_stopping) {
        return;
    }
    m_stopping = true;
    m_watcher->Stop();
    m_log.Line("stopping");
    for (auto& item : m_visits) {
        item.second->Interrupt();
    }
    Settle();
}

void WatchSession::SyncOnward() {
    if (m_syncing != nullptr) {
        m_syncAgain = true;
        return;
    }
    archive::OnwardSync* onward = m_onward.get();
    QStringList* lines = &m_syncLines;
    m_syncing = QThread::create([onward, lines] { *lines = onward->After(); });
    QObject::connect(m_syncing, &QThread::finished, &m_deferred, [this] { SyncEnded(); });
    m_syncing->start();
}

void WatchSession::SyncEnded() {
    m_syncing->wait();
    delete m_syncing;
    m_syncing = nullptr;
    for (const QString& line : m_syncLines) {
        m_log.Line(line.toLocal8Bit().toStdString());
    }
    m_syncLines.clear();
    // Stopping: what is left is taken by the next sync.
    if (m_syncAgain && !m_stopping) {
        m_syncAgain = false;
        SyncOnward();
        return;
    }
    Settle();
}

void WatchSession::Settle() {
    // A sync under way ends first, and settles then.
    if (m_syncing != nullptr) {
        return;
    }
    if ((m_stopping && !m_watcher->Visiting()) || m_watcher->Finished()) {
        QCoreApplication::exit(0);
    }
}

void WatchSession::CloseAll() {
    for (auto& item : m_visits) {
        item.second->Close();
    }
    m_visits.clear();
    m_closed.clear();
}
