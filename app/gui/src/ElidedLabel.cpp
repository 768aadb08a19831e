#include "ElidedLabel.h"

#include "textfit/TextFit.h"

#include <QEvent>
#include <QResizeEvent>

#include <algorithm>

ElidedLabel::ElidedLabel(int leastChars, QWidget* parent)
    : QLabel(parent), leastChars_(leastChars) {
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

void ElidedLabel::SetWholeText(const QString& text) {
    whole_ = text;
    setToolTip(text);
    Elide();
    updateGeometry();
}

QSize ElidedLabel::sizeHint() const {
    const QMargins margins = contentsMargins();
    return QSize(OneLineWidth(*this, whole_) + margins.left() + margins.right() + 2 * margin(),
                 fontMetrics().height() + margins.top() + margins.bottom() + 2 * margin());
}

QSize ElidedLabel::minimumSizeHint() const {
    const QMargins margins = contentsMargins();
    const int least = std::min(fontMetrics().averageCharWidth() * leastChars_, sizeHint().width());
    return QSize(std::max(1, least),
                 fontMetrics().height() + margins.top() + margins.bottom() + 2 * margin());
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    Elide();
}

void ElidedLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        // The text is measured again, for the room it asks and for what fits the room it has.
        Elide();
        updateGeometry();
    }
}

void ElidedLabel::Elide() {
    // Shortened only when the room is less than the whole text asks (sizeHint), measured alike.
    const int room = contentsRect().width() - 2 * margin();
    setText(OneLineWidth(*this, whole_) <= room
                ? whole_
                : fontMetrics().elidedText(whole_, Qt::ElideMiddle, room));
}
