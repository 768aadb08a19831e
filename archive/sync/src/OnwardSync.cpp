// Syncs between archives named by where they are: a download's onward sync, the program's Sync
// Now.
#include "archive/OnwardSync.h"

#include "archive/SessionArchive.h"

namespace archive {

LocationSync SyncLocations(const QString& from, const QString& to, const SyncOptions& options) {
    LocationSync result;
    SessionArchive source;
    if (!source.Open(from)) {
        result.error = source.Error();
        return result;
    }
    result.sourceOpened = true;
    SessionArchive target;
    if (!target.Open(to)) {
        result.error = target.Error();
        return result;
    }
    result.answered = true;
    result.synced = SyncArchive(source, target, options, result.summary, result.error);
    return result;
}

QString SyncResultLine(const LocationSync& sync, const QString& target) {
    const QString where = ShownLocation(target);
    if (sync.synced) {
        return "synced into " + where + ": " + sync.summary.Line();
    }
    if (sync.summary.stopped) {
        return "sync into " + where + ": " + sync.summary.Line() + "; " +
               sync.summary.StoppedLine();
    }
    if (sync.answered || !sync.sourceOpened) {
        return "sync into " + where + " failed: " + sync.summary.Failed(sync.error);
    }
    return "sync: " + where + " does not answer (" + sync.error +
           "); the downloads stay in the local archive and are synced once it answers";
}

OnwardSync::OnwardSync(QString local, QString target)
    : m_local(std::move(local)), m_target(std::move(target)) {}

QStringList OnwardSync::After() {
    const LocationSync sync = SyncLocations(m_local, m_target, {});
    QStringList lines = sync.summary.Notes();
    const bool said = m_failing && !sync.synced;
    m_failing = !sync.synced;
    if (!said) {
        lines << SyncResultLine(sync, m_target);
    }
    return lines;
}

} // namespace archive
