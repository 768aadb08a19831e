#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QString>

#include "archive/OnwardSync.h"

// The program's archive synced into the one Settings.ini names ("Sync"), on a worker thread so
// that the window goes on meanwhile: asked for (File > Sync Now), or after a download. Each sync
// opens both archives in its own thread; one runs at a time.
class BackgroundSync : public QObject {
    Q_OBJECT
public:
    enum class Why { Asked, AfterDownload };

    explicit BackgroundSync(QObject* parent = nullptr);
    // Asks a sync under way to stop and waits for the batch it is writing: it leaves both
    // archives whole either way, but the program's end must not cut that batch.
    ~BackgroundSync() override;

    // The location Settings.ini names to sync into ("Sync"); empty when it names none.
    static QString Target();
    // Why Sync Now can do nothing now (no archive to sync into is named), for every view that
    // offers it: disabled, saying so in its tip. Empty when it can.
    static QString Unavailable();

    // Starts a sync of "Archive" into "Sync". False when none starts: no archive to sync into is
    // named, or one asked for runs already (`message` says which). After a download, one under
    // way is followed by another once it ends, which takes what it did not.
    bool Start(Why why, QString& message);
    bool Running() const { return m_watcher.isRunning(); }
    // Where the sync under way (or the last one) goes.
    const QString& Into() const { return m_target; }
    // Asks the sync under way to stop after the batch it is writing; the next sync takes the rest.
    void Stop();

signals:
    // Sessions of the local archive looked at so far, of all, after each batch.
    void Progress(qint64 done, qint64 total);
    // A sync ended: its line, for the user when `tell` (always when asked for; after a download,
    // a failure only the first time, until a sync has gone through).
    void Ended(const QString& line, bool synced, bool tell);

private:
    void Done();

    QFutureWatcher<archive::LocationSync> m_watcher;
    archive::SyncStopFlag m_stop; // read by the sync's thread
    QString m_target;
    Why m_why = Why::Asked;
    bool m_failing = false;
    bool m_again = false; // a download ended while a sync ran
};
