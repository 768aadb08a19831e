#pragma once

#include <QLabel>
#include <QString>

// A one-line label whose text, when it is wider than the label, is shortened in the middle, so
// that both its start (what happened) and its end (a file's name, a count) stay in view; the
// whole text is always in its tooltip. It asks for the width of its whole text but can be given
// less, down to about `leastChars` characters of it: a long text never widens the window.
class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit ElidedLabel(int leastChars = 0, QWidget* parent = nullptr);

    void SetWholeText(const QString& text);
    const QString& WholeText() const { return whole_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void Elide();

    int leastChars_;
    QString whole_;
};
