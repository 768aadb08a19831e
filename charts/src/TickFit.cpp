#include "TickFit.h"

#include <QFontMetricsF>

#include <algorithm>
#include <map>
#include <utility>

namespace {

constexpr int kMostTicks = 10;
// Each pass takes one tick off a crowded axis; QCustomPlot rounds a count to a readable step,
// so a few passes may be needed before that step changes.
constexpr int kMostPasses = 8;

bool Across(const QCPAxis& axis) {
    return axis.orientation() == Qt::Horizontal;
}

// Room between two labels: two letters across, most of a line's height up the axis.
double Gap(const QCPAxis& axis, const QFontMetricsF& metrics) {
    return Across(axis) ? metrics.horizontalAdvance("MM") : metrics.ascent() * 0.8;
}

// A label's extent along its axis (digits and colons: no descenders up the axis).
double Extent(const QCPAxis& axis, const QString& label, const QFontMetricsF& metrics) {
    return Across(axis) ? metrics.horizontalAdvance(label) : metrics.ascent();
}

double Length(const QCPAxis& axis) {
    return Across(axis) ? axis.axisRect()->width() : axis.axisRect()->height();
}

bool Shown(const QCPAxis* axis) {
    return axis->visible() && axis->tickLabels() && axis->axisRect() != nullptr;
}

// The count asked for first: a label's width and as much again between labels across, three
// lines' height up an axis, so that a long axis is not crowded either; at least two, one being
// taken off later only where two would touch.
int Room(const QCPAxis& axis) {
    const QFontMetricsF metrics(axis.tickLabelFont());
    double widest = Extent(axis, "0", metrics);
    for (const QString& label : axis.tickVectorLabels()) {
        widest = std::max(widest, Extent(axis, label, metrics));
    }
    const double pitch = Across(axis) ? 2 * widest + Gap(axis, metrics) : 3 * metrics.height();
    return std::clamp(static_cast<int>(Length(axis) / pitch), 2, kMostTicks);
}

bool Crowded(const QCPAxis& axis) {
    const QFontMetricsF metrics(axis.tickLabelFont());
    const QVector<double> ticks = axis.tickVector();
    const QVector<QString> labels = axis.tickVectorLabels();
    std::vector<std::pair<double, double>> spans; // centre and extent, in pixels
    for (int i = 0; i < ticks.size() && i < labels.size(); ++i) {
        spans.emplace_back(axis.coordToPixel(ticks[i]), Extent(axis, labels[i], metrics));
    }
    std::sort(spans.begin(), spans.end());
    const double gap = Gap(axis, metrics);
    for (size_t i = 1; i < spans.size(); ++i) {
        const double apart = spans[i].first - spans[i - 1].first;
        if (apart < (spans[i].second + spans[i - 1].second) / 2 + gap) {
            return true;
        }
    }
    return false;
}

} // namespace

void FitTicks(const std::vector<QCPAxis*>& axes, const std::function<void()>& layOut) {
    std::map<QCPAxisTicker*, int> counts;
    for (QCPAxis* axis : axes) {
        if (!Shown(axis)) {
            continue;
        }
        const int room = Room(*axis);
        auto [at, added] = counts.emplace(axis->ticker().data(), room);
        if (!added) {
            at->second = std::min(at->second, room);
        }
    }
    bool changed = false;
    for (const auto& [ticker, count] : counts) {
        if (ticker->tickCount() != count) {
            ticker->setTickCount(count);
            changed = true;
        }
    }
    if (changed) {
        layOut();
    }
    for (int pass = 0; pass < kMostPasses; ++pass) {
        std::map<QCPAxisTicker*, bool> fewer;
        for (QCPAxis* axis : axes) {
            QCPAxisTicker* ticker = axis->ticker().data();
            if (Shown(axis) && ticker->tickCount() > 1 && Crowded(*axis)) {
                fewer[ticker] = true;
            }
        }
        if (fewer.empty()) {
            return;
        }
        for (const auto& entry : fewer) {
            entry.first->setTickCount(entry.first->tickCount() - 1);
        }
        layOut();
    }
}
