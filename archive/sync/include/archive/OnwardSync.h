#pragma once

#include <QString>
#include <QStringList>

#include "archive/ArchiveSync.h"

namespace archive {

// A sync between two archives named by their locations, each opened here for it (so a worker
// thread may run it) and closed again.
struct LocationSync {
    bool sourceOpened = false;
    bool answered = false; // the target could be opened; false: a server down, a file unreachable
    bool synced = false;
    SyncSummary summary;
    QString error; // never with a password
};
LocationSync SyncLocations(const QString& from, const QString& to, const SyncOptions& options);

// What a sync into `target` came to, in one line: "synced into TARGET: 2 instruments, ...", that
// it was stopped ("sync into TARGET: 0 instruments, 500 sessions new, 0 already there; stopped
// after 500 of 2,000 sessions; the rest comes with the next sync"), that the target does not answer
// (the local archive keeping everything), or why it failed.
QString SyncResultLine(const LocationSync& sync, const QString& target);

// Offline first: every download is kept in the local archive, and after each one that archive is
// synced into another (a team's server) when that answers. A target that does not answer, or a
// sync that fails, is said once, and not again until a sync has gone through: a watcher visiting
// its instruments all day says it once, not at every visit.
class OnwardSync {
public:
    // local: the archive downloads are kept in (empty: the default one); target: where it goes.
    OnwardSync(QString local, QString target);

    // Syncs the local archive into the target; the lines to show (none while the target is still
    // known not to answer).
    QStringList After();
    const QString& Target() const { return m_target; }

private:
    QString m_local;
    QString m_target;
    bool m_failing = false;
};

} // namespace archive
