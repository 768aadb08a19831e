#include "gui/WindowMemory.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QWidget>

namespace {

const char* const kGeometry = "MainWindow/geometry";
const char* const kSplit = "MainWindow/split";
constexpr double kFirstShare = 0.8;

void PlaceFirst(QWidget& window) {
    const QScreen* screen = window.screen();
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen == nullptr) {
        return;
    }
    const QSize minimum = window.minimumSizeHint().expandedTo(window.minimumSize());
    const QRect first = WindowMemory::FirstGeometry(minimum, screen->availableGeometry());
    window.resize(first.size());
    window.move(first.topLeft());
}

} // namespace

QString WindowMemory::DefaultFile() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, "Tavon", "Tavon Datalogging")
        .fileName();
}

QRect WindowMemory::FirstGeometry(const QSize& minimum, const QRect& available) {
    const QSize size = QSize(static_cast<int>(available.width() * kFirstShare),
                             static_cast<int>(available.height() * kFirstShare))
                           .expandedTo(minimum)
                           .boundedTo(available.size());
    QRect first(QPoint(0, 0), size);
    first.moveCenter(available.center());
    return first;
}

void WindowMemory::Restore(QWidget& window, QSplitter& split) const {
    if (file_.isEmpty()) {
        PlaceFirst(window);
        return;
    }
    const QSettings settings(file_, QSettings::IniFormat);
    // restoreGeometry keeps the window on a screen that exists now and within its minimum size.
    if (!window.restoreGeometry(settings.value(kGeometry).toByteArray())) {
        PlaceFirst(window);
    }
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
