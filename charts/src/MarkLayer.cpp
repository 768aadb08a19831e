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
constexpr int kTestPointSize = 8;
constexpr int kFootPointSize = 7;

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

QString MarkLayer::NameOf(const ChartMark& mark) {
    return charts::InstrumentText(mark.label);
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

void MarkLayer::Plan(const std::vector<Numbered>& carried) {
    const QRect pane = rect_->rect();
    area_ = QRectF(pane.left(), pane.top(), pane.width(), pane.height());
    taken_.clear();
    placed_.clear();
    colours_.clear();
    dots_.clear();
    numbered_.clear();
    unplaced_.clear();
    // Alarms first: a gas in alarm matters most. Test names take up to a third of the pane's
    // height; their numbers, being short, may go anywhere down it.
    PlanAlarms();
    const QFont testFont = SmallFont(kTestPointSize);
    const int testRows =
        std::max(1, static_cast<int>(area_.height() / 3 / QFontMetricsF(testFont).height()));
    PlanLineNames(testNames, true, testRows, testFont);
    for (const Numbered& number : carried) {
        if (!PlaceNumber(number, testFont)) {
            unplaced_.push_back(number);
        }
    }
    PlanLineNames(footNames, false, kFootRows, SmallFont(kFootPointSize));
}

bool MarkLayer::PlaceNumber(const Numbered& number, const QFont& font) {
    const QFontMetricsF metrics(font);
    const double rowHeight = metrics.height() + 1;
    const int rows = std::max(1, static_cast<int>((area_.height() - 4) / rowHeight));
    const double x =
        rect_->axis(QCPAxis::atBottom)->coordToPixel(static_cast<double>(number.mark->time));
    const QString text = QString::number(number.number);
    const auto place =
        BesideLine(x, QSizeF(Advance(text, font), metrics.height()), true, rows, rowHeight);
    if (place) {
        Take(text, *place, PenOf(*number.mark).color(), font);
    }
    return place.has_value();
}

void MarkLayer::draw(QCPPainter* painter) {
    DrawLines(painter);
    for (const Dot& dot : dots_) {
        painter->setPen(QPen(kAlarm));
        painter->setBrush(QBrush(kAlarm));
        painter->drawEllipse(dot.centre, kDotRadius, kDotRadius);
    }
    for (size_t i = 0; i < placed_.size(); ++i) {
        const PlotLabel& label = placed_[i];
        painter->setFont(label.font);
        painter->setPen(Qt::NoPen);
        painter->setBrush(QColor(255, 255, 255, 200));
        painter->drawRect(label.rect);
        painter->setPen(colours_[i]);
        // One line whatever the rect: a name is never broken.
        painter->drawText(label.rect, Qt::AlignCenter | Qt::TextSingleLine, label.text);
    }
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

void MarkLayer::PlanAlarms() {
    QCPAxis* time = rect_->axis(QCPAxis::atBottom);
    QCPAxis* value = rect_->axis(QCPAxis::atLeft);
    const QFont font = SmallFont(kTestPointSize);
    const QFontMetricsF metrics(font);
    for (const Alarm& alarm : alarms) {
        const double x = time->coordToPixel(static_cast<double>(alarm.mark->time));
        if (!InView(x)) {
            continue;
        }
        const double y = alarm.onValue ? value->coordToPixel(alarm.mark->value)
                                       : area_.top() + area_.height() * 0.08;
        dots_.push_back({QPointF(x, y)});
        const QString text = NameOf(*alarm.mark);
        const QSizeF size(Advance(text, font), metrics.height());
        const auto place = labelplace::FirstFree(
            labelplace::AroundPoint(QPointF(x, y), size, area_, kDotRadius + 2), area_, taken_,
            kLabelApart);
        if (place) {
            Take(text, *place, kAlarm, font);
        }
    }
}

std::optional<QRectF> MarkLayer::BesideLine(double x, QSizeF size, bool top, int rows,
                                            double rowHeight) const {
    // Right of the line in any row before left of it: a name left of its line reads as the
    // name of the line before.
    std::vector<QRectF> right;
    std::vector<QRectF> left;
    for (int row = 0; row < rows; ++row) {
        const double y =
            top ? area_.top() + 2 + row * rowHeight : area_.bottom() - 2 - (row + 1) * rowHeight;
        const std::vector<QRectF> sides = labelplace::BesideLine(x, y, size, kLabelGap);
        right.push_back(sides[0]);
        left.push_back(sides[1]);
    }
    right.insert(right.end(), left.begin(), left.end());
    return labelplace::FirstFree(right, area_, taken_, kLabelApart);
}

void MarkLayer::PlanLineNames(const std::vector<const ChartMark*>& marks, bool top, int rows,
                              const QFont& font) {
    QCPAxis* time = rect_->axis(QCPAxis::atBottom);
    const QFontMetricsF metrics(font);
    const double rowHeight = metrics.height() + 1;
    int number = 0;
    for (const ChartMark* mark : marks) {
        ++number;
        const double x = time->coordToPixel(static_cast<double>(mark->time));
        if (!InView(x)) {
            continue;
        }
        const QColor colour = top ? PenOf(*mark).color() : kSwitch;
        const QString text = NameOf(*mark);
        const auto place =
            BesideLine(x, QSizeF(Advance(text, font), metrics.height()), top, rows, rowHeight);
        if (place) {
            Take(text, *place, colour, font);
            continue;
        }
        if (!top) {
            continue;
        }
        // A test is never left unnamed: its number beside the line (in a pane below where this
        // one has no room), its name in the list.
        numbered_.push_back({number, mark});
        if (!PlaceNumber(numbered_.back(), font)) {
            unplaced_.push_back(numbered_.back());
        }
    }
}

double MarkLayer::Advance(const QString& text, const QFont& font) {
    const QString key = QString::number(font.pointSizeF()) + QChar(' ') + text;
    const auto known = advances_.constFind(key);
    if (known != advances_.constEnd()) {
        return known.value();
    }
    const double width = QFontMetricsF(font).horizontalAdvance(text);
    advances_.insert(key, width);
    return width;
}

void MarkLayer::Take(const QString& text, const QRectF& rect, const QColor& colour,
                     const QFont& font) {
    taken_.push_back(rect);
    placed_.push_back({text, rect, area_, font});
    colours_.push_back(colour);
}
