#include "LabelPlace.h"

#include <algorithm>

namespace labelplace {

namespace {

// Moved sideways into the area where the area is wide enough; otherwise left as it is (and
// found not to fit).
QRectF IntoArea(QRectF rect, const QRectF& area) {
    if (rect.width() <= area.width()) {
        rect.moveLeft(std::clamp(rect.left(), area.left(), area.right() - rect.width()));
    }
    return rect;
}

bool Inside(const QRectF& rect, const QRectF& area) {
    return rect.left() >= area.left() && rect.top() >= area.top() && rect.right() <= area.right() &&
           rect.bottom() <= area.bottom();
}

} // namespace

std::vector<QRectF> AroundPoint(QPointF point, QSizeF size, const QRectF& area, double gap) {
    const double left = point.x() - size.width() / 2;
    return {IntoArea(QRectF(QPointF(left, point.y() - gap - size.height()), size), area),
            IntoArea(QRectF(QPointF(left, point.y() + gap), size), area)};
}

std::vector<QRectF> BesideLine(double x, double top, QSizeF size, double gap) {
    return {QRectF(QPointF(x + gap, top), size),
            QRectF(QPointF(x - gap - size.width(), top), size)};
}

std::optional<QRectF> FirstFree(const std::vector<QRectF>& candidates, const QRectF& area,
                                const std::vector<QRectF>& taken, double apart) {
    for (const QRectF& candidate : candidates) {
        const QRectF wider = candidate.adjusted(-apart, 0, apart, 0);
        if (Inside(candidate, area) &&
            std::none_of(taken.begin(), taken.end(),
                         [&](const QRectF& other) { return other.intersects(wider); })) {
            return candidate;
        }
    }
    return std::nullopt;
}

} // namespace labelplace
