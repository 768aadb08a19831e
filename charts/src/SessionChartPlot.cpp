#include "charts/SessionChartPlot.h"

#include "charts/ChartText.h"

#include <QDateTime>
#include <QMouseEvent>

#include <algorithm>
#include <cmath>

namespace {

using charts::ChartMark;
using charts::MarkKind;

// Told apart also by people with the common colour-vision deficiencies; red stays for alarms.
const QColor kGasColours[] = {QColor(0, 114, 178),   QColor(230, 159, 0),  QColor(0, 158, 115),
                              QColor(204, 121, 167), QColor(86, 180, 233), QColor(0, 0, 0),
                              QColor(153, 102, 51),  QColor(120, 120, 120)};
const QColor kAlarm(220, 0, 0);
const QColor kPass(0, 128, 0);
const QColor kNoVerdict(110, 110, 110);
const QColor kSwitch(70, 70, 160);

constexpr int kProfileColumns = 5;
// Room around the data so that the highest point and its alarm label stay inside the pane.
constexpr double kHeadroom = 0.18;

QFont SmallFont(int pointSize) {
    QFont font;
    font.setPointSize(pointSize);
    return font;
}

bool IsTest(MarkKind kind) {
    return kind == MarkKind::Calibration || kind == MarkKind::Zero ||
           kind == MarkKind::FieldCalibration || kind == MarkKind::BumpTest;
}

QCPRange ValueRange(double low, double high, double headroom = kHeadroom) {
    low = std::min(low, 0.0);
    if (high <= low) {
        high = low + 1;
    }
    return QCPRange(low, high + (high - low) * headroom);
}

} // namespace

SessionChartPlot::SessionChartPlot(QWidget* parent) : QCustomPlot(parent) {
    setAutoAddPlottableToLegend(false);
    setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    // Dragging over the panes marks the time range to zoom into; a double click goes back.
    setSelectionRectMode(QCP::srmZoom);
    setMouseTracking(true);
    setMinimumSize(320, 240);
    Build(QString());
}

void SessionChartPlot::SetChart(const charts::SessionChart& chart, const QString& title) {
    chart_ = chart;
    title_ = title;
    Build(title);
    replot(QCustomPlot::rpQueuedReplot);
}

void SessionChartPlot::Build(const QString& title) {
    clearItems();
    clearPlottables();
    plotLayout()->clear();
    panes_.clear();
    profiles_.clear();
    legend_ = nullptr;
    readOut_ = nullptr;

    int row = 0;
    if (!title.isEmpty()) {
        auto* heading = new QCPTextElement(this, title, SmallFont(11));
        plotLayout()->addElement(row++, 0, heading);
    }
    // One line of gases under the title rather than a legend over a pane, where it would hide
    // the latest readings and alarms.
    legend_ = new QCPLegend;
    plotLayout()->addElement(row, 0, legend_);
    plotLayout()->setRowStretchFactor(row++, 0.001);
    legend_->setLayer("legend");
    legend_->setFillOrder(QCPLayoutGrid::foColumnsFirst);
    legend_->setBorderPen(Qt::NoPen);
    legend_->setFont(SmallFont(9));
    legend_->setMargins(QMargins(0, 0, 0, 0));
    auto* margins = new QCPMarginGroup(this);
    std::vector<std::string> units = chart_.Units();
    if (units.empty()) {
        units.push_back(std::string());
    }
    for (const std::string& unit : units) {
        AddPane(QString::fromStdString(unit), margins, row);
        plotLayout()->setRowStretchFactor(row++, 3);
    }
    for (size_t i = 0; i < chart_.gases.size(); ++i) {
        AddSeries(chart_.gases[i], static_cast<int>(i));
    }
    for (const ChartMark& mark : chart_.marks) {
        AddMark(mark);
    }

    // Tick labels and the axis title only under the lowest pane: the time axis is shared.
    QCPAxis* lowest = panes_.back().rect->axis(QCPAxis::atBottom);
    lowest->setTickLabels(true);
    lowest->setLabel("Time (instrument clock)");
    if (chart_.gases.empty()) {
        auto* none = new QCPItemText(this);
        none->setClipAxisRect(panes_.front().rect);
        none->position->setAxisRect(panes_.front().rect);
        none->position->setType(QCPItemPosition::ptAxisRectRatio);
        none->position->setCoords(0.5, 0.5);
        none->setText("No readings");
        none->setColor(kNoVerdict);
    }

    if (!chart_.barholes.empty()) {
        auto* grid = new QCPLayoutGrid;
        plotLayout()->addElement(row, 0, grid);
        const int profileRows =
            (static_cast<int>(chart_.barholes.size()) + kProfileColumns - 1) / kProfileColumns;
        plotLayout()->setRowStretchFactor(row, 2.0 * profileRows);
        AddProfiles(grid);
    }

    readOut_ = new QCPItemText(this);
    readOut_->setClipToAxisRect(false);
    readOut_->position->setAxisRect(panes_.front().rect);
    readOut_->position->setType(QCPItemPosition::ptAxisRectRatio);
    readOut_->position->setCoords(0.005, 0.01);
    readOut_->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
    readOut_->setBrush(QBrush(QColor(255, 255, 255, 220)));
    readOut_->setPen(QPen(Qt::gray));
    readOut_->setPadding(QMargins(4, 2, 4, 2));
    readOut_->setLayer("overlay");
    readOut_->setVisible(false);

    const double first = chart_.hasTime ? static_cast<double>(chart_.firstTime) : 0;
    const double last = chart_.hasTime ? static_cast<double>(chart_.lastTime) : 3600;
    const double pad = std::max(30.0, (last - first) * 0.02);
    whole_ = QCPRange(first - pad, last + pad);
    ResetZoom();
}

void SessionChartPlot::AddPane(const QString& unit, QCPMarginGroup* margins, int row) {
    static const QSharedPointer<QCPAxisTickerDateTime> ticker = [] {
        QSharedPointer<QCPAxisTickerDateTime> t(new QCPAxisTickerDateTime);
        t->setDateTimeSpec(Qt::UTC);
        t->setDateTimeFormat("HH:mm:ss");
        return t;
    }();
    auto* rect = new QCPAxisRect(this);
    // In the layout before any item is made: an item looks for the plot's first axis rect.
    plotLayout()->addElement(row, 0, rect);
    rect->setMarginGroup(QCP::msLeft | QCP::msRight, margins);
    QCPAxis* time = rect->axis(QCPAxis::atBottom);
    time->setTicker(ticker);
    time->setTickLabels(false);
    rect->axis(QCPAxis::atLeft)->setLabel(unit.isEmpty() ? QString("value") : unit);
    rect->axis(QCPAxis::atLeft)->setRange(0, 1);
    rect->setRangeDrag(Qt::Horizontal);
    rect->setRangeZoom(Qt::Horizontal);
    rect->setRangeDragAxes(time, nullptr);
    rect->setRangeZoomAxes(time, nullptr);
    connect(time, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            &SessionChartPlot::SyncTime);

    Pane pane;
    pane.unit = unit;
    pane.rect = rect;
    pane.cursor = new QCPItemStraightLine(this);
    pane.cursor->setClipAxisRect(rect);
    for (QCPItemPosition* p : {pane.cursor->point1, pane.cursor->point2}) {
        p->setAxes(time, rect->axis(QCPAxis::atLeft));
    }
    pane.cursor->setPen(QPen(QColor(0, 0, 0, 120), 0, Qt::DashLine));
    pane.cursor->setLayer("overlay");
    pane.cursor->setVisible(false);
    panes_.push_back(pane);
}

SessionChartPlot::Pane* SessionChartPlot::PaneOf(const std::string& unit) {
    for (Pane& pane : panes_) {
        if (pane.unit.toStdString() == unit) {
            return &pane;
        }
    }
    return nullptr;
}

void SessionChartPlot::AddSeries(const charts::GasSeries& series, int colourIndex) {
    Pane* pane = PaneOf(series.unit);
    if (pane == nullptr) {
        return;
    }
    const QColor colour = kGasColours[colourIndex % std::size(kGasColours)];
    QCPAxis* time = pane->rect->axis(QCPAxis::atBottom);
    QCPAxis* value = pane->rect->axis(QCPAxis::atLeft);
    bool inLegend = false;
    // One graph per run: runs never share a line, whatever order their times come in.
    for (const auto& run : series.runs) {
        QVector<double> keys;
        QVector<double> values;
        keys.reserve(static_cast<int>(run.size()));
        values.reserve(static_cast<int>(run.size()));
        for (const charts::SeriesPoint& point : run) {
            keys.push_back(static_cast<double>(point.time));
            values.push_back(point.value);
        }
        QCPGraph* graph = addGraph(time, value);
        graph->setData(keys, values, true);
        graph->setPen(QPen(colour, 1.6));
        graph->setName(charts::InstrumentText(series.gas));
        if (run.size() == 1) {
            graph->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, colour, 4));
        }
        if (!inLegend) {
            graph->addToLegend(legend_);
            inLegend = true;
        }
    }
    // Every pane's scale takes in all of its gases.
    double low = 0;
    double high = 0;
    bool found = false;
    for (const charts::GasSeries& other : chart_.gases) {
        if (other.unit != series.unit) {
            continue;
        }
        for (const auto& run : other.runs) {
            for (const charts::SeriesPoint& point : run) {
                low = found ? std::min(low, point.value) : point.value;
                high = found ? std::max(high, point.value) : point.value;
                found = true;
            }
        }
    }
    value->setRange(ValueRange(low, high));
}

void SessionChartPlot::AddMark(const ChartMark& mark) {
    const double at = static_cast<double>(mark.time);
    if (mark.kind == MarkKind::Alarm) {
        Pane* pane = mark.hasValue ? PaneOf(mark.unit) : nullptr;
        const bool onValue = pane != nullptr;
        if (pane == nullptr) {
            pane = &panes_.front();
        }
        QCPAxis* time = pane->rect->axis(QCPAxis::atBottom);
        QCPAxis* value = pane->rect->axis(QCPAxis::atLeft);
        auto* point = new QCPItemTracer(this);
        point->setClipAxisRect(pane->rect);
        point->position->setAxes(time, value);
        if (!onValue) {
            point->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
            point->position->setAxisRect(pane->rect);
        }
        point->position->setCoords(at, onValue ? mark.value : 0.08);
        point->setStyle(QCPItemTracer::tsCircle);
        point->setSize(8);
        point->setPen(QPen(kAlarm));
        point->setBrush(QBrush(kAlarm));
        auto* label = new QCPItemText(this);
        label->setClipAxisRect(pane->rect);
        label->position->setParentAnchor(point->position);
        label->position->setCoords(0, -5);
        label->setPositionAlignment(Qt::AlignHCenter | Qt::AlignBottom);
        label->setText(charts::InstrumentText(mark.label));
        label->setColor(kAlarm);
        label->setFont(SmallFont(8));
        return;
    }

    QPen pen;
    if (IsTest(mark.kind)) {
        pen =
            QPen(mark.failed ? kAlarm
                             : (mark.label.find(" PASS") != std::string::npos ? kPass : kNoVerdict),
                 1.2);
    } else {
        pen = QPen(kSwitch, 1, mark.kind == MarkKind::ModeChange ? Qt::DashDotLine : Qt::DotLine);
    }
    for (Pane& pane : panes_) {
        auto* line = new QCPItemStraightLine(this);
        line->setClipAxisRect(pane.rect);
        for (QCPItemPosition* p : {line->point1, line->point2}) {
            p->setAxes(pane.rect->axis(QCPAxis::atBottom), pane.rect->axis(QCPAxis::atLeft));
        }
        line->point1->setCoords(at, 0);
        line->point2->setCoords(at, 1);
        line->setPen(pen);
    }
    // Tests are named at the top of the chart, switching and modes at the foot of the time axis.
    const bool test = IsTest(mark.kind);
    Pane& pane = test ? panes_.front() : panes_.back();
    auto* label = new QCPItemText(this);
    label->setClipAxisRect(pane.rect);
    label->position->setAxes(pane.rect->axis(QCPAxis::atBottom), pane.rect->axis(QCPAxis::atLeft));
    label->position->setAxisRect(pane.rect);
    label->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
    // A mode's name stands a little higher than On and Off, which often share its moment.
    label->position->setCoords(at, test ? 0.0 : (mark.kind == MarkKind::ModeChange ? 0.88 : 1.0));
    label->setPositionAlignment(test ? (Qt::AlignLeft | Qt::AlignTop)
                                     : (Qt::AlignLeft | Qt::AlignBottom));
    label->setPadding(QMargins(3, 1, 3, 1));
    label->setText(charts::InstrumentText(mark.label));
    label->setColor(pen.color());
    label->setFont(SmallFont(test ? 8 : 7));
    if (test) {
        // Upright along its line, so that tests close together do not write over each other.
        label->setRotation(90);
    }
}

void SessionChartPlot::AddProfiles(QCPLayoutGrid* grid) {
    for (const charts::BarholeProfile& profile : chart_.barholes) {
        auto* rect = new QCPAxisRect(this);
        const int index = static_cast<int>(profiles_.size());
        grid->addElement(index / kProfileColumns, index % kProfileColumns, rect);
        rect->setRangeDrag(Qt::Orientations());
        rect->setRangeZoom(Qt::Orientations());
        rect->setRangeZoomAxes(nullptr, nullptr);
        QCPAxis* steps = rect->axis(QCPAxis::atBottom);
        QCPAxis* value = rect->axis(QCPAxis::atLeft);
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
        profiles_.push_back(rect);
    }
}

void SessionChartPlot::SyncTime(const QCPRange& range) {
    if (syncing_) {
        return;
    }
    syncing_ = true;
    for (Pane& pane : panes_) {
        pane.rect->axis(QCPAxis::atBottom)->setRange(range);
    }
    syncing_ = false;
}

void SessionChartPlot::ResetZoom() {
    ZoomTo(whole_.lower, whole_.upper);
}

void SessionChartPlot::ZoomTo(double from, double to) {
    if (!(to > from)) {
        return;
    }
    SyncTime(QCPRange(from, to));
    replot(QCustomPlot::rpQueuedReplot);
}

QCPRange SessionChartPlot::TimeRange() const {
    return panes_.front().rect->axis(QCPAxis::atBottom)->range();
}

QString SessionChartPlot::ReadOutAt(double time) const {
    QString text = charts::ClockText(static_cast<int64_t>(std::floor(time)));
    for (const charts::GasSeries& series : chart_.gases) {
        const charts::SeriesPoint* found = nullptr;
        for (const auto& run : series.runs) {
            if (run.empty() || run.front().time > time || run.back().time < time) {
                continue;
            }
            for (const charts::SeriesPoint& point : run) {
                if (point.time <= time) {
                    found = &point;
                }
            }
        }
        if (found != nullptr) {
            text += QString("   %1 %2 %3")
                        .arg(charts::InstrumentText(series.gas), charts::ValueText(found->value),
                             QString::fromStdString(series.unit));
        }
    }
    return text;
}

void SessionChartPlot::ShowCursor(double time) {
    for (Pane& pane : panes_) {
        pane.cursor->point1->setCoords(time, 0);
        pane.cursor->point2->setCoords(time, 1);
        pane.cursor->setVisible(true);
    }
    readOut_->setText(ReadOutAt(time));
    readOut_->setVisible(true);
    replot(QCustomPlot::rpQueuedReplot);
}

void SessionChartPlot::mouseMoveEvent(QMouseEvent* event) {
    QCPAxisRect* under = axisRectAt(event->position());
    for (const Pane& pane : panes_) {
        if (pane.rect == under) {
            ShowCursor(under->axis(QCPAxis::atBottom)->pixelToCoord(event->position().x()));
            break;
        }
    }
    QCustomPlot::mouseMoveEvent(event);
}

void SessionChartPlot::mouseDoubleClickEvent(QMouseEvent* event) {
    ResetZoom();
    QCustomPlot::mouseDoubleClickEvent(event);
}

void SessionChartPlot::leaveEvent(QEvent* event) {
    for (Pane& pane : panes_) {
        pane.cursor->setVisible(false);
    }
    if (readOut_ != nullptr) {
        readOut_->setVisible(false);
    }
    replot(QCustomPlot::rpQueuedReplot);
    QCustomPlot::leaveEvent(event);
}

void SessionChartPlot::PaintTo(QCPPainter& painter, int width, int height) {
    const bool cursorShown = readOut_ != nullptr && readOut_->visible();
    if (cursorShown) {
        readOut_->setVisible(false);
        for (Pane& pane : panes_) {
            pane.cursor->setVisible(false);
        }
    }
    toPainter(&painter, width, height);
    if (cursorShown) {
        readOut_->setVisible(true);
        for (Pane& pane : panes_) {
            pane.cursor->setVisible(true);
        }
    }
}
