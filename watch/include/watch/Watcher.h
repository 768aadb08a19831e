#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "download/DownloadOptions.h"

// What `tavon-datalog watch` decides, without the clock, the ports or the instruments: which
// links to visit when, what to do when one leaves, and the lines of its log. The Qt driver polls
// the ports and the pipe and tells it what it found; it answers through its actions. Plain C++.
//
// A link present at the first poll counts as newly connected. A visit that went through leaves
// the instrument connected and idle until it leaves (its link is lost or disappears) or, with an
// interval, until the interval has passed since the visit began; then it is visited again. A
// visit that failed is tried again only once its link has been away, or at the interval. A link
// that cannot be opened is tried at every poll, and said once.
class Watcher {
public:
    struct Actions {
        // Opens the link and starts a visit; false when it could not be opened, with why.
        std::function<bool(const DownloadLink& link, std::string& why)> visit;
        // Closes the link of an instrument that is idle (to visit it again, or it has gone).
        std::function<void(const DownloadLink& link)> close;
        // One line of the log, without a time.
        std::function<void(const std::string& line)> log;
    };
    // A visit's further warnings, after it went through (the register's "CO calibration
    // overdue"): one line each, for the instrument named. Without one, none.
    using ComplianceCheck = std::function<std::vector<std::string>(const std::string& instrument)>;

    // once: visit what is there at the first poll, then finish. everyMs: visit idle instruments
    // again at this interval; 0: only when they reconnect.
    Watcher(Actions actions, bool once, int64_t everyMs);

    void SetComplianceCheck(ComplianceCheck check) { m_compliance = std::move(check); }

    // The links present now (ports that exist, a pipe that has a server); nowMs: a steady clock.
    void Poll(const std::vector<DownloadLink>& present, int64_t nowMs);
    // A visit has ended with this exit status; instrument: what it is called.
    void VisitEnded(const DownloadLink& link, const std::string& instrument, int status);
    // The link of an idle instrument closed.
    void LinkLost(const DownloadLink& link);
    // Stops visiting: no new visit starts from here on.
    void Stop() { m_stopped = true; }

    // A visit is under way.
    bool Visiting() const;
    // With once: every link of the first poll has been visited (or could not be opened).
    bool Finished() const;
    // The worst status of the visits that ended (3 when once found nothing to visit).
    int WorstStatus() const { return m_worst; }

    // What a link is called in the log: the port's device or "pipe NAME".
    static std::string LinkText(const DownloadLink& link);

private:
    enum class State {
        Visiting,
        Idle,    // visited, connected
        Failed,  // the visit failed: wait until it has been away, or the interval
        Refused, // could not be opened: try again at the next poll
        Away,    // was there, has gone (kept for its last visit's time)
    };
    struct Entry {
        DownloadLink link;
        State state = State::Away;
        int64_t visitedAt = 0;
        bool present = false;
        bool lost = false; // the link closed during the visit
    };
    using Key = std::pair<int, std::string>;
    static Key KeyOf(const DownloadLink& link) { return {static_cast<int>(link.kind), link.name}; }
    void StartVisit(Entry& entry, int64_t nowMs);

    Actions m_actions;
    bool m_once;
    int64_t m_everyMs;
    ComplianceCheck m_compliance;
    std::map<Key, Entry> m_links;
    bool m_polled = false;
    bool m_stopped = false;
    int m_worst = 0;
};
