#pragma once

#include <QStatusBar>
#include <QString>
#include <QStringList>

class ElidedLabel;
class QLabel;

// The line under the main window: what the program is doing or has just done, which log lines
// the filter hides, and whether an instrument is connected and over what.
class StatusLine : public QStatusBar {
    Q_OBJECT
public:
    explicit StatusLine(QWidget* parent = nullptr);

    // What is going on now, or the last result; replaces whatever was there.
    void SetActivity(const QString& text);
    // Empty when the filter hides nothing.
    void SetFilterNote(const QString& text);
    void SetConnection(const QString& text);
    // The replies of the transfer under way that arrived spoiled, were dropped and asked for
    // again, counted beside what is going on; nothing shown for none.
    void SetDroppedReplies(int count);
    // What the connected instrument needs: its first line shown, all of them in the tooltip;
    // nothing shown when empty.
    void SetServiceNote(const QStringList& lines);

    QString Activity() const;
    QString FilterNote() const;
    QString Connection() const;
    QString DroppedReplies() const;
    QString ServiceNote() const;

private:
    // Texts longer than the line are shortened in the middle, whole in their tooltips.
    ElidedLabel* activity_;
    QLabel* dropped_;
    QLabel* filterNote_;
    ElidedLabel* connection_;
    QLabel* serviceNote_;
};
