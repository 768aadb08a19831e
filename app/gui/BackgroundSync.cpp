#include "BackgroundSync.h"

#include <QtConcurrent/QtConcurrentRun>

#include "session/DownloadSettings.h"

BackgroundSync::BackgroundSync(QObject* parent) : QObject(parent) {
    connect(&m_watcher, &QFutureWatcher<archive::LocationSync>::finished, this, [this] { Done(); });
}

BackgroundSync::~BackgroundSync() {
    m_watcher.waitForFinished();
}

bool BackgroundSync::Start(Why why, QString& message) {
    const DownloadSettings settings = ReadDownloadSettings();
    if (settings.sync.empty()) {
        message = "No archive to sync into: Settings.ini names none (Sync=LOCATION, a SQLite file "
                  "or postgresql://user@host/database).";
        return false;
    }
    if (Running()) {
        if (why == Why::AfterDownload) {
            m_again = true;
            return true;
        }
        message = "A sync is under way already.";
        return false;
    }
    m_why = why;
    m_target = QString::fromStdString(settings.sync);
    const QString local = QString::fromStdString(settings.archive);
    const QString target = m_target;
    m_watcher.setFuture(QtConcurrent::run(
        [local, target] { return archive::SyncLocations(local, target, archive::SyncOptions()); }));
    return true;
}

void BackgroundSync::Done() {
    const archive::LocationSync sync = m_watcher.result();
    QString line = archive::SyncResultLine(sync, m_target);
    const QStringList more = sync.summary.Notes();
    if (!more.isEmpty()) {
        line += '\n' + more.join('\n');
    }
    // Bytes left in the local archive because its history does not vouch for them are told every
    // time: they are never synced until it is mended.
    const bool tell =
        m_why == Why::Asked || (!sync.synced && !m_failing) || sync.summary.refused > 0;
    m_failing = !sync.synced;
    emit Ended(line, sync.synced, tell);
    if (m_again) {
        m_again = false;
        QString ignored;
        Start(Why::AfterDownload, ignored);
    }
}
