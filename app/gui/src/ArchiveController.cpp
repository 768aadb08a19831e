#include "ArchiveController.h"

#include "SyncProgress.h"
#include "ViewController.h"
#include "WindowPrompt.h"
#include "gui/ArchiveDialog.h"
#include "gui/BackgroundSync.h"
#include "gui/InstrumentsWindow.h"
#include "gui/MapPanel.h"
#include "gui/ProgramArchiving.h"
#include "gui/StatusLine.h"

#include "app/SessionBrowser.h"
#include "session/DownloadSettings.h"

#include <QAction>
#include <QDialog>

ArchiveController::ArchiveController(QDialog& window, ProgramArchiving& archiving,
                                     SessionReader& reader, const SessionBrowser& browser,
                                     StatusLine& status, const WindowPrompt& prompt,
                                     ViewController& view)
    : window_(window), archiving_(archiving), reader_(reader), browser_(browser), status_(status),
      prompt_(prompt), view_(view) {
    archiving_.Attach(reader_);
    sync_ = new BackgroundSync(&window_);
    connect(sync_, &BackgroundSync::Ended, this, [this](const QString& line, bool, bool tell) {
        const QString said = line.left(1).toUpper() + line.mid(1);
        // The status line never goes on saying a sync runs once it has ended, and keeps the
        // result of one after a download too, which is told in no message when it went through.
        status_.SetActivity(said.section('\n', 0, 0));
        if (syncProgress_ != nullptr) {
            syncProgress_->hide();
        }
        if (tell) {
            prompt_.Tell(said, kWindowTitle);
        }
    });
    archiving_.SetServiceNote([this](const QStringList& lines) { status_.SetServiceNote(lines); });
}

void ArchiveController::AddActions(QMenu& file, QAction* before) {
    archiving_.AddActions(file, before);
}

void ArchiveController::OpenArchive() {
    // Settings.ini may name a team's server archive; the default one otherwise.
    ArchiveDialog* dialog =
        new ArchiveDialog(QString::fromStdString(ReadDownloadSettings().archive), &window_);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // The same tiles under both maps: one store open once.
    dialog->Map()->SetBackground(view_.Map().Background());
    dialog->Map()->SetBackgroundMessage(view_.MapMessage());
    dialog->OfferSync(window_.findChild<QAction*>("actionSyncNow"));
    if (dialog->Open()) {
        dialog->show();
    } else {
        dialog->close();
    }
}

void ArchiveController::OpenInstruments() {
    InstrumentsWindow* window =
        new InstrumentsWindow(QString::fromStdString(ReadDownloadSettings().archive), &window_);
    window->setAttribute(Qt::WA_DeleteOnClose);
    if (window->Open()) {
        window->show();
    } else {
        window->close();
    }
}

void ArchiveController::EnableSyncNow() {
    QAction* action = window_.findChild<QAction*>("actionSyncNow");
    const QString why = BackgroundSync::Unavailable();
    action->setEnabled(why.isEmpty());
    action->setToolTip(why.isEmpty() ? action->text() : why);
    action->setStatusTip(why);
}

void ArchiveController::SyncNow() {
    QString message;
    if (!sync_->Start(BackgroundSync::Why::Asked, message)) {
        prompt_.Tell(message, kWindowTitle);
        return;
    }
    status_.SetActivity("Syncing the archive: the result is shown when it is done");
    syncProgress_ = new SyncProgress(*sync_, sync_->Into(), &window_);
    syncProgress_->show();
}

void ArchiveController::RequestEnded(UploadRequest request, bool ok, QTreeWidget& tree) {
    archiving_.RequestEnded(request, ok, reader_);
    archiving_.MarkAll(tree);
}

void ArchiveController::SyncAfter(UploadRequest request, bool ok) {
    if (request == UploadRequest::Session && ok && !browser_.Offline() && archiving_.Enabled()) {
        QString none;
        sync_->Start(BackgroundSync::Why::AfterDownload, none);
    }
}
