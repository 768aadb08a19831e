#pragma once

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

    // Nothing remembered (or unreadable): the window keeps the size it has.
    void Restore(QWidget& window, QSplitter& split) const;
    void Save(const QWidget& window, const QSplitter& split) const;

private:
    QString file_;
};
