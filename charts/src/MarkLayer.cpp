#include "MarkLayer.h"

#include "LabelPlace.h"
#include "PlotStyle.h"

#include "charts/ChartText.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

using charts::ChartMark;
using charts::MarkKind;
using namespace plotstyle;

namespace {

constexpr double kDotRadius = 4;
constexpr double kLabelGap = 3;
// Room kept between two names side by side, so that they never read as one.
constexpr double kLabelApart = 6;
constexpr int kFootRows = 2;

} // namespace

MarkLayer::MarkLayer(QCustomPlot* plot, QCPAxisRect* rect)
    : QCPLayerable(plot, "main"), rect_(rect) {}

QPen MarkLayer::PenOf(const ChartMark& mark) {
    if (IsTest(mark.kind)) {
        const bool verdict = mark.failed || mark.label.find(" PASS") != std::string::npos;
        return QPen(mark.failed ? kAlarm : (verdict ? kPass : kNoVerdict), 1.2);
    }
    return QPen(kSwitch, 1, mark.kind == MarkKind::ModeChange ? Qt::DashDotLine : Qt::DotLine);
}

QRect MarkLayer::clipRect() const {
    return rect_->rect();
}

void MarkLayer::applyDefaultAntialiasingHint(QCPPainter* painter) const {
    applyAntialiasingHint(painter, mAntialiased, QCP::aeItems);
}

bool MarkLayer::InView(double x) const {
    return x >= area_.left() - 1 && x <= area_.right() + 1;
}

void MarkLayer::draw(QCPPainter* painter) {
    const QRect pane = rect_->rect();
    area_ = QRectF(pane.left(), pane.top(), pane.width(), pane.height());
    taken_.clear();
    placed_.clear();
    DrawLines(painter);
    // Alarms first: a gas in alarm matters most. Tests take up to a third of the pane's height.
    DrawAlarms(painter);
    painter->setFont(SmallFont(8));
    const int testRows =
        std::max(1, static_cast<int>(area_.height() / 3 / painter->fontMetrics().height()));
    DrawLineNames(painter, testNames, true, testRows);
    painter->setFont(SmallFont(7));
    DrawLineNames(painter, footNames, false, kFootRows);
    painter->setBrush(Qt::NoBrush);
}

void MarkLayer::DrawLines(QCPPainter* painter) {
    QCPAxis* time = rect_->axis(QCPAxis::atBottom);
    // One call per pen: a day's chain has hundreds of lines in each pane.
    std::vector<std::pair<QPen, QVector<QLineF>>> byPen;
    for (const ChartMark* mark : lines) {
        const double x = time->coordToPixel(static_cast<double>(mark->time));
        if (!InView(x)) {
            continue;
        }
        const QPen pen = PenOf(*mark);
        auto group =
            std::find_if(byPen.begin(), byPen.end(), [&](const auto& g) { return g.first == pen; });
        if (group == byPen.end()) {
            group = byPen.insert(byPen.end(), {pen, {}});
        }
        group->second.push_back(QLineF(x, area_.top(), x, area_.bottom()));
    }
    for (const auto& [pen, segments] : byPen) {
        painter->setPen(pen);
        painter->drawLines(segments);
    }
}

void MarkLayer::DrawAlarms(QCPPainter* painter) {
    QCPAxis* time = rect_->axis(QCPAxis::atBottom);
    QCPAxis* value = rect_->axis(QCPAxis::atLeft);
    painter->setFont(SmallFont(8));
    const QFontMetricsF metrics(painter->font(), painter->device());
    for (const Alarm& alarm : alarms) {
        const double x = time->coordToPixel(static_cast<double>(alarm.mark->time));
        if (!InView(x)) {
            continue;
        }
        const double y = alarm.onValue ? value->coordToPixel(alarm.mark->value)
                                       : area_.top() + area_.height() * 0.08;
        painter->setPen(QPen(kAlarm));
        painter->setBrush(QBrush(kAlarm));
        painter->drawEllipse(QPointF(x, y), kDotRadius, kDotRadius);
        const QString text = charts::InstrumentText(alarm.mark->label);
        const QSizeF size(metrics.horizontalAdvance(text), metrics.height());
        const auto place = labelplace::FirstFree(
            labelplace::AroundPoint(QPointF(x, y), size, area_, kDotRadius + 2), area_, taken_,
            kLabelApart);
        if (place) {
            DrawLabel(painter, text, *place, kAlarm);
        }
    }
}

void MarkLayer::DrawLineNames(QCPPainter* painter, const std::vector<const ChartMark*>& marks,
                              bool top, int rows) {
    QCPAxis* time = rect_->axis(QCPAxis::atBottom);
    const QFontMetricsF metrics(painter->font(), painter->device());
    const double rowHeight = metrics.height() + 1;
    for (const ChartMark* mark : marks) {
        const double x = time->coordToPixel(static_cast<double>(mark->time));
        if (!InView(x)) {
            continue;
        }
        const QString text = charts::InstrumentText(mark->label);
        const QSizeF size(metrics.horizontalAdvance(text), metrics.height());
        // Right of the line in any row before left of it: a name left of its line reads as
        // the name of the line before.
        std::vector<QRectF> right;
        std::vector<QRectF> left;
        for (int row = 0; row < rows; ++row) {
            const double y = top ? area_.top() + 2 + row * rowHeight
                                 : area_.bottom() - 2 - (row + 1) * rowHeight;
            const std::vector<QRectF> sides = labelplace::BesideLine(x, y, size, kLabelGap);
            right.push_back(sides[0]);
            left.push_back(sides[1]);
        }
        right.insert(right.end(), left.begin(), left.end());
        const auto place = labelplace::FirstFree(right, area_, taken_, kLabelApart);
        if (place) {
            DrawLabel(painter, text, *place, top ? PenOf(*mark).color() : kSwitch);
        }
    }
}

void MarkLayer::DrawLabel(QCPPainter* painter, const QString& text, const QRectF& rect,
                          const QColor& colour) {
    painter->setPen(Qt::NoPen);
    painter->setBrush(QColor(255, 255, 255, 200));
    painter->drawRect(rect);
    painter->setPen(colour);
    painter->drawText(rect, Qt::AlignCenter, text);
    taken_.push_back(rect);
    placed_.push_back({text, rect, area_, painter->font()});
}
