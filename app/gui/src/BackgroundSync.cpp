#include "gui/BackgroundSync.h"

#include <QtConcurrent/QtConcurrentRun>

#include "session/DownloadSettings.h"

BackgroundSync::BackgroundSync(QObject* parent) : QObject(parent) {
    connect(&m_watcher, &QFutureWatcher<archive::LocationSync>::finished, this, [this] { Done(); });
}

BackgroundSync::~BackgroundSync() {
    m_stop.Ask();
    m_watcher.waitForFinished();
}

QString BackgroundSync::Target() {
    return QString::fromStdString(ReadDownloadSettings().sync);
}

void BackgroundSync::Stop() {
    m_stop.Ask();
}

QString BackgroundSync::Unavailable() {
    return Target().isEmpty()
               ? QString("No archive to sync into: Settings.ini names none (Sync=LOCATION, a "
                         "SQLite file or postgresql://user@host/database).")
               : QString();
}

bool BackgroundSync::Start(Why why, QString& message) {
    const QString target = Target();
    message = Unavailable();
    if (!message.isEmpty()) {
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
    m_target = target;
    m_stop.Clear();
    archive::SyncOptions options;
    options.stop = &m_stop;
    // Told on the window's thread; nothing is told once this object is gone.
    options.progress = [this](qint64 done, qint64 total) {
        QMetaObject::invokeMethod(
            this, [this, done, total] { emit Progress(done, total); }, Qt::QueuedConnection);
    };
    const QString local = QString::fromStdString(ReadDownloadSettings().archive);
    m_watcher.setFuture(QtConcurrent::run(
        [local, target, options] { return archive::SyncLocations(local, target, options); }));
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
    // A sync stopped when asked says nothing of whether the target answers.
    if (!sync.summary.stopped) {
        m_failing = !sync.synced;
    }
    emit Ended(line, sync.synced, tell);
    if (m_again) {
        m_again = false;
        QString ignored;
        Start(Why::AfterDownload, ignored);
    }
}
