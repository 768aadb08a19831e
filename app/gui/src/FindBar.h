#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QTextEdit;

// View > Find in Report... (Ctrl+F): a bar under the report that finds a text in it. Typing finds
// as it goes, Enter the next place and Shift+Enter the one before, round from the other end; Escape
// or the close button puts the bar away. The report's text is never touched: only the view's
// cursor moves.
class FindBar : public QWidget {
    Q_OBJECT
public:
    explicit FindBar(QTextEdit& view, QWidget* parent = nullptr);

    // Shows the bar with the text to find chosen, ready to be typed over.
    void Open();
    // Finds the text after the view's cursor (backward: before it); false, said on the bar, when
    // the report does not hold it.
    bool FindNext(bool backward = false);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Typing: the first place from the top of the report.
    void FindFromTop();
    bool Find(bool backward, bool fromTop);

    QTextEdit& view_;
    QLineEdit* text_;
    QLabel* result_;
};
