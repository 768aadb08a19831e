#include "charts/BarholePlot.h"

#include "LabelPlace.h"
#include "PlotStyle.h"
#include "TickFit.h"
#include "charts/ChartText.h"

#include <QResizeEvent>

#include <algorithm>

using namespace plotstyle;

namespace {

constexpr double kPeakGap = 5;

} // namespace

BarholePlot::BarholePlot(QWidget* parent) : QCustomPlot(parent), steps_(new QCPAxisTickerFixed) {
    setAutoAddPlottableToLegend(false);
    plotLayout()->clear();
    // Cells side by side: their margins part them, and a cell's height is the row's.
    plotLayout()->setRowSpacing(0);
    plotLayout()->setColumnSpacing(0);
    steps_->setTickStep(1);
    steps_->setScaleStrategy(QCPAxisTickerFixed::ssMultiples);
}

int BarholePlot::ColumnsFor(int width) {
    return std::clamp(width / kMinCellWidth, 1, kMaxColumns);
}

int BarholePlot::RowsFor(size_t profiles, int width) {
    const size_t columns = static_cast<size_t>(ColumnsFor(width));
    return static_cast<int>((profiles + columns - 1) / columns);
}

void BarholePlot::SetProfiles(const std::vector<charts::BarholeProfile>& profiles, size_t first,
                              size_t count) {
    clearItems();
    clearPlottables();
    plotLayout()->clear();
    cells_.clear();
    peaks_.clear();
    columns_ = 0;
    for (size_t i = first; i < profiles.size() && i - first < count; ++i) {
        AddProfile(profiles[i]);
    }
    Arrange(ColumnsFor(width()));
    setMinimumHeight(HeightFor(cells_.size(), width()));
    replot(QCustomPlot::rpQueuedReplot);
}

void BarholePlot::Arrange(int columns) {
    columns_ = columns;
    for (QCPAxisRect* cell : cells_) {
        plotLayout()->take(cell);
    }
    plotLayout()->simplify();
    for (size_t i = 0; i < cells_.size(); ++i) {
        plotLayout()->addElement(static_cast<int>(i) / columns, static_cast<int>(i) % columns,
                                 cells_[i]);
    }
    // A row that is not full keeps the cells' width: the grid is always `columns` across, each
    // column and row with the same share.
    const int rows = (static_cast<int>(cells_.size()) + columns - 1) / columns;
    if (rows == 0) {
        return;
    }
    plotLayout()->expandTo(rows, columns);
    plotLayout()->setColumnStretchFactors(QList<double>(columns, 1.0));
    plotLayout()->setRowStretchFactors(QList<double>(rows, 1.0));
}

void BarholePlot::AddProfile(const charts::BarholeProfile& profile) {
    auto* rect = new QCPAxisRect(this);
    // In the layout before any item is made: an item looks for the plot's first axis rect.
    plotLayout()->addElement(0, static_cast<int>(cells_.size()), rect);
    cells_.push_back(rect);
    rect->setRangeDrag(Qt::Orientations());
    rect->setRangeZoom(Qt::Orientations());
    rect->setRangeZoomAxes(nullptr, nullptr);
    QCPAxis* steps = rect->axis(QCPAxis::atBottom);
    QCPAxis* value = rect->axis(QCPAxis::atLeft);
    steps->setTicker(steps_);
    steps->setTickLabelFont(SmallFont(7));
    value->setTickLabelFont(SmallFont(7));
    steps->setLabelFont(SmallFont(8));
    value->setLabelFont(SmallFont(7));
    steps->setLabel(
        QString("Barhole %1  %2").arg(profile.number).arg(charts::ClockText(profile.time)));
    value->setLabel(QString::fromStdString(profile.unit));
    // Without samples there are no steps to count.
    steps->setTickLabels(!profile.values.empty());

    QVector<double> keys;
    QVector<double> values;
    for (size_t i = 0; i < profile.values.size(); ++i) {
        keys.push_back(static_cast<double>(i + 1));
        values.push_back(profile.values[i]);
    }
    QCPGraph* graph = addGraph(steps, value);
    graph->setData(keys, values, true);
    graph->setPen(QPen(kGasColours[0], 1.4));
    graph->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, 3));
    steps->setRange(0.5, std::max<double>(1, static_cast<double>(values.size())) + 0.5);
    double high = std::max(profile.peak, 0.0);
    for (double v : values) {
        high = std::max(high, v);
    }
    value->setRange(ValueRange(0, high, 2 * kHeadroom));

    Peak peak;
    peak.label = new QCPItemText(this);
    peak.label->setClipAxisRect(rect);
    peak.label->setFont(SmallFont(7));
    peak.label->setColor(kAlarm);
    peak.label->setPadding(QMargins(1, 1, 1, 1));
    peak.label->setText("Pk " + QString::fromStdString(profile.peakFigure));
    // Placed in pixels at every layout (PlacePeaks), by its measured size.
    peak.label->position->setType(QCPItemPosition::ptAbsolute);
    peak.label->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
    const charts::BarholeProfile::PeakPlace at = profile.PeakPoint();
    peak.dot = new QCPItemTracer(this);
    peak.dot->setClipAxisRect(rect);
    peak.dot->position->setAxes(steps, value);
    peak.dot->position->setCoords(at.step, at.value);
    peak.dot->setStyle(QCPItemTracer::tsCircle);
    peak.dot->setSize(6);
    peak.dot->setPen(QPen(kAlarm));
    peak.dot->setBrush(QBrush(kAlarm));
    peaks_.push_back(peak);
}

void BarholePlot::updateLayout() {
    const int columns = ColumnsFor(viewport().width());
    if (columns != columns_) {
        Arrange(columns);
    }
    QCustomPlot::updateLayout();
    std::vector<QCPAxis*> axes;
    for (QCPAxisRect* cell : cells_) {
        axes.push_back(cell->axis(QCPAxis::atBottom));
        axes.push_back(cell->axis(QCPAxis::atLeft));
    }
    FitTicks(axes, [this] { QCustomPlot::updateLayout(); });
    PlacePeaks();
}

void BarholePlot::PlacePeaks() {
    for (size_t i = 0; i < peaks_.size() && i < cells_.size(); ++i) {
        const Peak& peak = peaks_[i];
        const QRect cell = cells_[i]->rect();
        const QRectF area(cell.left(), cell.top(), cell.width(), cell.height());
        // Measured as QCPItemText measures it when it draws.
        const QRect text =
            QFontMetrics(peak.label->font())
                .boundingRect(0, 0, 0, 0, Qt::TextDontClip | Qt::AlignCenter, peak.label->text());
        const QMargins padding = peak.label->padding();
        const QSizeF size(text.width() + padding.left() + padding.right() + 1,
                          text.height() + padding.top() + padding.bottom() + 1);
        const QPointF at = peak.dot->position->pixelPosition();
        const std::vector<QRectF> candidates = labelplace::AroundPoint(at, size, area, kPeakGap);
        const QRectF place =
            labelplace::FirstFree(candidates, area, {}).value_or(candidates.front());
        peak.label->position->setCoords(place.topLeft());
    }
}

void BarholePlot::resizeEvent(QResizeEvent* event) {
    setMinimumHeight(HeightFor(cells_.size(), event->size().width()));
    QCustomPlot::resizeEvent(event);
}
