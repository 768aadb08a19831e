#include "watch/Watcher.h"

#include "download/ExitStatus.h"

Watcher::Watcher(Actions actions, bool once, int64_t everyMs)
    : m_actions(std::move(actions)), m_once(once), m_everyMs(everyMs > 0 ? everyMs : 0) {}

std::string Watcher::LinkText(const DownloadLink& link) {
    return link.kind == DownloadLink::Kind::Pipe ? "pipe " + link.name : link.name;
}

void Watcher::Poll(const std::vector<DownloadLink>& present, int64_t nowMs) {
    for (auto& item : m_links) {
        item.second.present = false;
    }
    for (const DownloadLink& link : present) {
        // With once, only what was there at the first poll is visited.
        if (m_once && m_polled && m_links.count(KeyOf(link)) == 0) {
            continue;
        }
        Entry& entry = m_links[KeyOf(link)];
        entry.link = link;
        entry.present = true;
    }
    const bool first = !m_polled;
    m_polled = true;
    if (first && m_once && m_links.empty()) {
        m_actions.log("no instrument to download: no port of a known driver, no pipe answering");
        m_worst = WorseStatus(m_worst, kExitNoLink);
        return;
    }
    const bool due = !m_once || first;
    for (auto& item : m_links) {
        Entry& entry = item.second;
        const bool again = m_everyMs > 0 && nowMs - entry.visitedAt >= m_everyMs;
        switch (entry.state) {
        case State::Visiting:
            break; // a link that goes away mid-visit ends the visit by itself
        case State::Idle:
            if (!entry.present) {
                m_actions.close(entry.link);
                m_actions.log(LinkText(entry.link) + ": gone");
                entry.state = State::Away;
            } else if (again && !m_stopped) {
                m_actions.close(entry.link);
                StartVisit(entry, nowMs);
            }
            break;
        case State::Failed:
            if (!entry.present) {
                entry.state = State::Away;
            } else if (again) {
                StartVisit(entry, nowMs);
            }
            break;
        case State::Refused:
            if (!entry.present) {
                entry.state = State::Away;
            } else if (!m_once) {
                StartVisit(entry, nowMs);
            }
            break;
        case State::Away:
            if (entry.present && due) {
                StartVisit(entry, nowMs);
            }
            break;
        }
    }
}

void Watcher::StartVisit(Entry& entry, int64_t nowMs) {
    if (m_stopped) {
        return;
    }
    const bool refusedBefore = entry.state == State::Refused;
    if (!refusedBefore) {
        m_actions.log(LinkText(entry.link) + ": connecting");
    }
    entry.visitedAt = nowMs;
    entry.lost = false;
    std::string why;
    // Opening a serial link waits for the line to settle, and events may be handled meanwhile:
    // the link counts as visited from here on.
    entry.state = State::Visiting;
    if (m_actions.visit(entry.link, why)) {
        return;
    }
    entry.state = State::Refused;
    if (!refusedBefore) {
        m_actions.log(LinkText(entry.link) + ": cannot connect" + (why.empty() ? "" : ": " + why));
    }
    if (m_once) {
        m_worst = WorseStatus(m_worst, kExitNoLink);
    }
}

void Watcher::VisitEnded(const DownloadLink& link, const std::string& instrument, int status) {
    const auto found = m_links.find(KeyOf(link));
    if (found == m_links.end() || found->second.state != State::Visiting) {
        return;
    }
    Entry& entry = found->second;
    m_worst = WorseStatus(m_worst, status);
    // Only the archive short: the files are written and the instrument is still there.
    const bool through = status == kExitOk || status == kExitArchive;
    if (through) {
        m_actions.log(instrument + ": visit done" +
                      (status == kExitOk ? std::string() : ", but not archived"));
        if (m_compliance) {
            for (const std::string& warning : m_compliance(instrument)) {
                m_actions.log(instrument + ": warning: " + warning);
            }
        }
    } else {
        m_actions.log(instrument + ": visit failed (exit status " + std::to_string(status) + ")");
    }
    if (entry.lost || !through) {
        m_actions.close(link);
    }
    entry.state = entry.lost ? State::Away : through ? State::Idle : State::Failed;
}

void Watcher::LinkLost(const DownloadLink& link) {
    const auto found = m_links.find(KeyOf(link));
    if (found == m_links.end()) {
        return;
    }
    Entry& entry = found->second;
    switch (entry.state) {
    case State::Visiting:
        entry.lost = true; // the visit's end says what was kept
        break;
    case State::Idle:
        m_actions.close(link);
        m_actions.log(LinkText(link) + ": link lost");
        entry.state = State::Away;
        break;
    case State::Failed:
        entry.state = State::Away;
        break;
    default:
        break;
    }
}

bool Watcher::Visiting() const {
    for (const auto& item : m_links) {
        if (item.second.state == State::Visiting) {
            return true;
        }
    }
    return false;
}

bool Watcher::Finished() const {
    return m_once && m_polled && !Visiting();
}
