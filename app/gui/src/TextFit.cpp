#include "TextFit.h"

#include <QWidget>

#include <algorithm>

int FitToText(QWidget* widget) {
    const QSize needed = widget->sizeHint();
    const QSize size(std::max(widget->width(), needed.width()),
                     std::max(widget->height(), needed.height()));
    if (size != widget->size()) {
        widget->resize(size);
    }
    return widget->x() + widget->width();
}
