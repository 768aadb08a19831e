#pragma once

#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "EventLog.h"
#include "WatchVisit.h"
#include "watch/Watcher.h"

namespace archive {
class OnwardSync;
}
class LinkClaim;
class QThread;
class Registry;
struct WatchHost;
struct WatchOptions;

// One run of the watcher on the event loop: it polls the ports and pipes, hands what it found to
// the Watcher, carries out its decisions with one WatchVisit per link, and ends on SIGINT,
// SIGTERM or the host's stop, or when the Watcher has finished.
class WatchSession : private VisitOwner {
public:
    // log: open already; compliance: the warnings after each visit that went through, or null.
    WatchSession(const WatchOptions& options, EventLog& log, Watcher::ComplianceCheck compliance);
    ~WatchSession() override;
    WatchSession(const WatchSession&) = delete;
    WatchSession& operator=(const WatchSession&) = delete;

    // Runs the event loop until the watch ends; the exit status (with --once, the worst of the
    // visits').
    int Run(const WatchHost& host);

private:
    using LinkKey = std::pair<int, std::string>;
    static LinkKey KeyOf(const DownloadLink& link);

    // The Watcher's actions.
    bool Visit(const DownloadLink& link, std::string& why);
    void CloseLink(const DownloadLink& link);
    // What the visits tell.
    void DownloadEnded(WatchVisit& visit, int status) override;
    void LinkLost(const DownloadLink& link) override;
    void TellEnded(const WatchVisit* visit, const DownloadLink& link, int status);

    // Syncs the archive onward on a thread of its own, so that the other instruments' visits go
    // on meanwhile; a visit that ends during one has its sync after it.
    void SyncOnward();
    void SyncEnded();

    void Poll();
    std::vector<DownloadLink> PresentLinks();
    void SayWatching();
    void Stop();
    // Ends the event loop once stopping and no visit is under way, or the Watcher has finished.
    void Settle();
    void CloseAll();

    const WatchOptions& m_options;
    EventLog& m_log;
    LogPrompt m_prompt;
    // Says that a watcher runs, and which, to whoever asks (a second watcher runs all the same:
    // the links keep them apart).
    std::string m_firstWatcher;
    std::unique_ptr<LinkClaim> m_running;
    VisitSetup m_setup;
    std::unique_ptr<Registry> m_registry;
    std::unique_ptr<Watcher> m_watcher;
    // The archive synced into after each visit that archived (--sync, "Sync"), or null; one for
    // the whole watch, so that a server down is said once and not at every visit.
    std::unique_ptr<archive::OnwardSync> m_onward;
    QThread* m_syncing = nullptr;
    QStringList m_syncLines; // what the sync under way has to say, once it has ended
    bool m_syncAgain = false;
    std::map<LinkKey, std::unique_ptr<WatchVisit>> m_visits;
    // Closed visits, destroyed once the event that closed them has ended.
    std::vector<std::unique_ptr<WatchVisit>> m_closed;
    QTimer m_reaper;
    QTimer m_poller;
    QElapsedTimer m_clock;
    bool m_stopping = false;
    bool m_polling = false;
    // What the calls put off to the event loop belong to: none runs once the session is gone.
    QObject m_deferred;
};
