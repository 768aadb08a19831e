#include "TextFit.h"

#include <QFontMetricsF>
#include <QString>
#include <QWidget>

#include <algorithm>
#include <cmath>

int FitToText(QWidget* widget) {
    const QSize needed = widget->sizeHint();
    const QSize size(std::max(widget->width(), needed.width()),
                     std::max(widget->height(), needed.height()));
    if (size != widget->size()) {
        widget->resize(size);
    }
    return widget->x() + widget->width();
}

int OneLineWidth(const QWidget& widget, const QString& text) {
    // As the widget's own metrics measure, which elide and draw its text.
    const QFontMetricsF metrics(widget.fontMetrics());
    return static_cast<int>(std::ceil(metrics.horizontalAdvance(text)));
}
