#pragma once

#include <QFont>
#include <QRectF>
#include <QString>

// A text drawn inside a plot, where it was drawn and the part of the plot it belongs in (its
// pane, or the whole plot): a label is whole when its rect lies inside that area.
struct PlotLabel {
    QString text;
    QRectF rect;
    QRectF area;
    QFont font;
};
