#pragma once

#include <QRect>
#include <QSize>
#include <QString>

#include <utility>

class QSplitter;
class QWidget;

// The main window's size and place and the split between the tree and the report, kept from one
// run to the next in an INI file of the program's own (never Settings.ini, which belongs to the
// connection). An empty file name remembers nothing.
class WindowMemory {
public:
    explicit WindowMemory(QString file = QString()) : file_(std::move(file)) {}

    // Where the program keeps it when nothing else is said: the user's configuration folder.
    static QString DefaultFile();

    // The remembered size, place and split; with nothing remembered (or an unreadable entry) the
    // window's first place, FirstGeometry on the screen it opens on.
    void Restore(QWidget& window, QSplitter& split) const;
    void Save(const QWidget& window, const QSplitter& split) const;

    // The first place of a window: four fifths of the screen's free area `available` each way,
    // never smaller than the window's `minimum` nor larger than that area, centred in it.
    static QRect FirstGeometry(const QSize& minimum, const QRect& available);

private:
    QString file_;
};
