#include "MarkLayer.h"

#include "PlotStyle.h"

#include "charts/ChartText.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

using charts::ChartMark;
using charts::MarkKind;
using namespace plotstyle;

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

void MarkLayer::draw(QCPPainter* painter) {
    const QRect area = rect_->rect();
    QCPAxis* time = rect_->axis(QCPAxis::atBottom);
    QCPAxis* value = rect_->axis(QCPAxis::atLeft);
    auto inView = [&](double x) { return x >= area.left() - 1 && x <= area.right() + 1; };

    // One call per pen: a day's chain has hundreds of lines in each pane.
    std::vector<std::pair<QPen, QVector<QLineF>>> byPen;
    for (const ChartMark* mark : lines) {
        const double x = time->coordToPixel(static_cast<double>(mark->time));
        if (!inView(x)) {
            continue;
        }
        const QPen pen = PenOf(*mark);
        auto group =
            std::find_if(byPen.begin(), byPen.end(), [&](const auto& g) { return g.first == pen; });
        if (group == byPen.end()) {
            group = byPen.insert(byPen.end(), {pen, {}});
        }
        group->second.push_back(QLineF(x, area.top(), x, area.bottom()));
    }
    for (const auto& [pen, segments] : byPen) {
        painter->setPen(pen);
        painter->drawLines(segments);
    }

    painter->setFont(SmallFont(8));
    const QFontMetrics metrics(painter->font());
    const int lineHeight = metrics.height();
    double lastTest = -1e9;
    for (const ChartMark* mark : testNames) {
        const double x = time->coordToPixel(static_cast<double>(mark->time));
        if (!inView(x) || x - lastTest < lineHeight) {
            continue;
        }
        lastTest = x;
        // Upright along its line, reading downwards from the top of the pane.
        painter->save();
        painter->translate(x + 2, area.top() + 3);
        painter->rotate(90);
        painter->setPen(PenOf(*mark).color());
        painter->drawText(QPointF(0, -metrics.descent()), charts::InstrumentText(mark->label));
        painter->restore();
    }

    painter->setFont(SmallFont(7));
    const QFontMetrics footMetrics(painter->font());
    double footEnd = -1e9;
    for (const ChartMark* mark : footNames) {
        const double x = time->coordToPixel(static_cast<double>(mark->time));
        const QString text = charts::InstrumentText(mark->label);
        if (!inView(x) || x < footEnd) {
            continue;
        }
        footEnd = x + footMetrics.horizontalAdvance(text) + 6;
        painter->setPen(kSwitch);
        painter->drawText(QPointF(x + 3, area.bottom() - footMetrics.descent() - 1), text);
    }

    painter->setFont(SmallFont(8));
    QRectF lastLabel;
    for (const Alarm& alarm : alarms) {
        const double x = time->coordToPixel(static_cast<double>(alarm.mark->time));
        if (!inView(x)) {
            continue;
        }
        const double y = alarm.onValue ? value->coordToPixel(alarm.mark->value)
                                       : area.top() + area.height() * 0.08;
        painter->setPen(QPen(kAlarm));
        painter->setBrush(QBrush(kAlarm));
        painter->drawEllipse(QPointF(x, y), 4, 4);
        const QString text = charts::InstrumentText(alarm.mark->label);
        const double width = metrics.horizontalAdvance(text);
        const QRectF label(x - width / 2, y - 6 - lineHeight, width, lineHeight);
        if (!label.intersects(lastLabel)) {
            painter->drawText(label, Qt::AlignCenter, text);
            lastLabel = label;
        }
    }
    painter->setBrush(Qt::NoBrush);
}
