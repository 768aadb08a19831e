#pragma once

// Where a label goes so that it stays whole: placed by its measured size beside what it names,
// moved or flipped to the other side near an edge of its area, and never over a label placed
// before it. A label that has no such place is left out rather than cut.
#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <optional>
#include <vector>

namespace labelplace {

// Above `point`, centred on it, then below it; each moved sideways to stay inside `area`.
std::vector<QRectF> AroundPoint(QPointF point, QSizeF size, const QRectF& area, double gap);
// Right of a vertical line at `x`, then left of it; the label's top at `top`.
std::vector<QRectF> BesideLine(double x, double top, QSizeF size, double gap);

// The first candidate that lies inside `area` and at least `apart` pixels across from each of
// `taken`.
std::optional<QRectF> FirstFree(const std::vector<QRectF>& candidates, const QRectF& area,
                                const std::vector<QRectF>& taken, double apart = 0);

} // namespace labelplace
