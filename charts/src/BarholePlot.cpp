#include "charts/BarholePlot.h"

#include "PlotStyle.h"
#include "charts/ChartText.h"

#include <algorithm>

using namespace plotstyle;

BarholePlot::BarholePlot(QWidget* parent) : QCustomPlot(parent) {
    setAutoAddPlottableToLegend(false);
    plotLayout()->clear();
}

void BarholePlot::SetProfiles(const std::vector<charts::BarholeProfile>& profiles, size_t first,
                              size_t count) {
    clearItems();
    clearPlottables();
    plotLayout()->clear();
    shown_ = 0;
    for (size_t i = first; i < profiles.size() && i < first + count; ++i) {
        AddProfile(profiles[i], shown_++);
    }
    // A last row that is not full keeps the width of the others.
    for (int empty = shown_; empty % kColumns != 0; ++empty) {
        plotLayout()->addElement(empty / kColumns, empty % kColumns, new QCPLayoutGrid);
    }
    replot(QCustomPlot::rpQueuedReplot);
}

void BarholePlot::AddProfile(const charts::BarholeProfile& profile, int index) {
    auto* rect = new QCPAxisRect(this);
    plotLayout()->addElement(index / kColumns, index % kColumns, rect);
    rect->setRangeDrag(Qt::Orientations());
    rect->setRangeZoom(Qt::Orientations());
    rect->setRangeZoomAxes(nullptr, nullptr);
    QCPAxis* steps = rect->axis(QCPAxis::atBottom);
    QCPAxis* value = rect->axis(QCPAxis::atLeft);
    static const QSharedPointer<QCPAxisTickerFixed> wholeSteps = [] {
        QSharedPointer<QCPAxisTickerFixed> ticker(new QCPAxisTickerFixed);
        ticker->setTickStep(1);
        ticker->setScaleStrategy(QCPAxisTickerFixed::ssMultiples);
        return ticker;
    }();
    steps->setTicker(wholeSteps);
    steps->setTickLabelFont(SmallFont(7));
    value->setTickLabelFont(SmallFont(7));
    steps->setLabelFont(SmallFont(8));
    value->setLabelFont(SmallFont(7));
    steps->setLabel(
        QString("Barhole %1  %2").arg(profile.number).arg(charts::ClockText(profile.time)));
    value->setLabel(QString::fromStdString(profile.unit));

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

    const int peakStep = profile.PeakStep();
    auto* peak = new QCPItemText(this);
    peak->setClipAxisRect(rect);
    peak->position->setAxes(steps, value);
    peak->setFont(SmallFont(7));
    peak->setColor(kAlarm);
    peak->setText(QString("Pk %1 %2")
                      .arg(charts::ValueText(profile.peak))
                      .arg(QString::fromStdString(profile.unit)));
    if (peakStep >= 0) {
        auto* dot = new QCPItemTracer(this);
        dot->setClipAxisRect(rect);
        dot->position->setAxes(steps, value);
        dot->position->setCoords(peakStep + 1, values[peakStep]);
        dot->setStyle(QCPItemTracer::tsCircle);
        dot->setSize(6);
        dot->setPen(QPen(kAlarm));
        dot->setBrush(QBrush(kAlarm));
        peak->position->setParentAnchor(dot->position);
        peak->position->setCoords(0, -4);
        peak->setPositionAlignment(Qt::AlignHCenter | Qt::AlignBottom);
    } else {
        peak->position->setAxisRect(rect);
        peak->position->setType(QCPItemPosition::ptAxisRectRatio);
        peak->position->setCoords(0.5, 0.5);
    }
}
