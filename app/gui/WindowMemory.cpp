#include "WindowMemory.h"

#include <QSettings>
#include <QSplitter>
#include <QWidget>

namespace {

const char* const kGeometry = "MainWindow/geometry";
const char* const kSplit = "MainWindow/split";

} // namespace

QString WindowMemory::DefaultFile() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, "Tavon", "Tavon Datalogging")
        .fileName();
}

void WindowMemory::Restore(QWidget& window, QSplitter& split) const {
    if (file_.isEmpty()) {
        return;
    }
    const QSettings settings(file_, QSettings::IniFormat);
    // restoreGeometry keeps the window on a screen that exists now and within its minimum size.
    window.restoreGeometry(settings.value(kGeometry).toByteArray());
    split.restoreState(settings.value(kSplit).toByteArray());
}

void WindowMemory::Save(const QWidget& window, const QSplitter& split) const {
    if (file_.isEmpty()) {
        return;
    }
    QSettings settings(file_, QSettings::IniFormat);
    settings.setValue(kGeometry, window.saveGeometry());
    settings.setValue(kSplit, split.saveState());
}
