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

    // The step under way with the instrument (reading its information, uploading a sector),
    // named until the next; the replies it drops are counted beside it. `fresh`: a new step,
    // counted from none; otherwise the same step moving on (the next sector of one transfer).
    void SetStep(const QString& text, bool fresh = true);
    // A result or a notice; replaces whatever was there. No step is under way beyond the poll
    // that waits for the next request: the replies it drops are counted as the poll's.
    void SetActivity(const QString& text);
    // Empty when the filter hides nothing.
    void SetFilterNote(const QString& text);
    void SetConnection(const QString& text);
    // One more reply arrived spoiled, was dropped and is asked for again: counted for the step
    // under way, which the count names where the line does not (the poll between requests).
    void CountDroppedReply();
    // What the connected instrument needs: its first line shown, all of them in the tooltip;
    // nothing shown when empty.
    void SetServiceNote(const QStringList& lines);

    QString Activity() const;
    QString FilterNote() const;
    QString Connection() const;
    QString DroppedReplies() const;
    QString ServiceNote() const;

private:
    void ShowDropped();

    // Texts longer than the line are shortened in the middle, whole in their tooltips.
    ElidedLabel* activity_;
    QLabel* dropped_;
    QLabel* filterNote_;
    ElidedLabel* connection_;
    QLabel* serviceNote_;
    bool stepShown_ = false; // the activity names a step under way, not a result
    int droppedCount_ = 0;   // of that step, or of the poll since the last result
};
