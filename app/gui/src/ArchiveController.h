#pragma once

#include "app/BrowserView.h"

#include <QObject>
#include <QPointer>

class BackgroundSync;
class ProgramArchiving;
class QAction;
class QDialog;
class QMenu;
class QTreeWidget;
class SessionBrowser;
class SessionReader;
class StatusLine;
class SyncProgress;
class ViewController;
class WindowPrompt;

// The archive from the main window: what the instrument sends kept in it (ProgramArchiving),
// the archive window and the Instruments window (sign-off is the archive window's), and the sync
// into the archive Settings.ini names, asked for (Sync Now) or after each session uploaded, off
// the window's thread.
class ArchiveController : public QObject {
public:
    ArchiveController(QDialog& window, ProgramArchiving& archiving, SessionReader& reader,
                      const SessionBrowser& browser, StatusLine& status, const WindowPrompt& prompt,
                      ViewController& view);

    // "Archive Uploads" and "Instrument Name..." in the File menu, before `before`.
    void AddActions(QMenu& file, QAction* before);
    void OpenArchive();
    void OpenInstruments();
    // File > Sync Now: the archive into the one "Sync" names, the result told when it is done.
    void SyncNow();
    // Sync Now enabled as BackgroundSync::Unavailable says, the reason in its tips.
    void EnableSyncNow();

    // What the request brought is kept, and the tree marks what is new.
    void RequestEnded(UploadRequest request, bool ok, QTreeWidget& tree);
    // A session from the instrument that is in the archive now goes on to the one "Sync" names,
    // when one is.
    void SyncAfter(UploadRequest request, bool ok);

private:
    QDialog& window_;
    ProgramArchiving& archiving_;
    SessionReader& reader_;
    const SessionBrowser& browser_;
    StatusLine& status_;
    const WindowPrompt& prompt_;
    ViewController& view_;
    BackgroundSync* sync_ = nullptr;
    // Sync Now's progress while it runs: gone before the result is told.
    QPointer<SyncProgress> syncProgress_;
};
