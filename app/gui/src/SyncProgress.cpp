#include "SyncProgress.h"

#include <QLocale>
#include <algorithm>
#include <limits>

#include "archive/SessionArchive.h"
#include "gui/BackgroundSync.h"

SyncProgress::SyncProgress(BackgroundSync& sync, const QString& target, QWidget* parent)
    : QProgressDialog(parent) {
    setObjectName("syncProgress");
    setWindowTitle("Sync Now");
    const QString into = "Syncing the archive into " + archive::ShownLocation(target);
    setLabelText(into + "...");
    setCancelButtonText("Cancel");
    // Busy until the first batch says how many sessions there are.
    setRange(0, 0);
    setMinimumDuration(0);
    setAutoClose(false);
    setAutoReset(false);
    setWindowModality(Qt::NonModal);
    connect(&sync, &BackgroundSync::Progress, this, [this, into](qint64 done, qint64 total) {
        const qint64 most = std::numeric_limits<int>::max();
        setMaximum(static_cast<int>(std::min(total, most)));
        setValue(static_cast<int>(std::min(done, most)));
        const QLocale english(QLocale::English, QLocale::UnitedStates);
        setLabelText(QString("%1: %2 of %3 sessions looked at")
                         .arg(into, english.toString(done), english.toString(total)));
    });
    // Cancel, and closing the dialog, ask the sync to stop; it ends after its batch.
    connect(this, &QProgressDialog::canceled, &sync, &BackgroundSync::Stop);
    connect(&sync, &BackgroundSync::Ended, this, &QObject::deleteLater);
}
