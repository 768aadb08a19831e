#include "charts/SessionChartPlot.h"

#include "MarkLayer.h"
#include "PlotStyle.h"
#include "TickFit.h"
#include "charts/ChartText.h"

#include <QDateTime>
#include <QMouseEvent>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <utility>

namespace {

using charts::ChartMark;
using charts::MarkKind;
using namespace plotstyle;

constexpr int kDotsUpTo = 150;
// How far from a sample, in pixels, the cursor still reads it beyond the ends of a run.
constexpr double kCursorReach = 8;
const char kClockSample[] = "00:00:00";
const char kReadOutSeparator[] = "   ";
constexpr int kListPointSize = 8;
constexpr int kListMargin = 8;

// `parts` joined by `separator`, as many on a line as fit in `room` pixels; a part is never
// broken. Each text is measured once: a day's list of tests is long, and shaping text is what
// costs.
QString LinesOf(const QStringList& parts, const QString& separator, const QFontMetrics& metrics,
                double room) {
    const double apart = metrics.horizontalAdvance(separator);
    QStringList lines;
    double width = 0;
    for (const QString& part : parts) {
        const double own = metrics.horizontalAdvance(part);
        if (!lines.isEmpty() && width + apart + own <= room) {
            lines.back() += separator + part;
            width += apart + own;
        } else {
            lines.push_back(part);
            width = own;
        }
    }
    return lines.join('\n');
}

} // namespace

SessionChartPlot::SessionChartPlot(QWidget* parent)
    : QCustomPlot(parent), timeTicker_(new QCPAxisTickerDateTime) {
    timeTicker_->setDateTimeSpec(Qt::UTC);
    timeTicker_->setDateTimeFormat("HH:mm:ss");
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
    for (Pane& pane : panes_) {
        delete pane.marks;
    }
    plotLayout()->clear();
    panes_.clear();
    legend_ = nullptr;
    readOut_ = nullptr;
    marksList_ = nullptr;
    listed_.clear();
    readOutLine_.clear();

    int row = 0;
    if (!title.isEmpty()) {
        auto* heading = new QCPTextElement(this, title, SmallFont(11));
        plotLayout()->addElement(row++, 0, heading);
    }
    // A line of gases under the title rather than a legend over a pane, where it would hide the
    // latest readings and alarms; none without gases.
    if (!chart_.gases.empty()) {
        legend_ = new QCPLegend;
        plotLayout()->addElement(row, 0, legend_);
        plotLayout()->setRowStretchFactor(row++, 0.001);
        legend_->setLayer("legend");
        legend_->setFillOrder(QCPLayoutGrid::foColumnsFirst);
        legend_->setBorderPen(Qt::NoPen);
        legend_->setFont(SmallFont(9));
        legend_->setMargins(QMargins(8, 0, 8, 0));
    }
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
    AddMarks();
    hasTests_ = std::any_of(chart_.marks.begin(), chart_.marks.end(),
                            [](const ChartMark& mark) { return IsTest(mark.kind); });

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
    auto* rect = new QCPAxisRect(this);
    // In the layout before any item is made: an item looks for the plot's first axis rect.
    plotLayout()->addElement(row, 0, rect);
    rect->setMarginGroup(QCP::msLeft | QCP::msRight, margins);
    QCPAxis* time = rect->axis(QCPAxis::atBottom);
    time->setTicker(timeTicker_);
    // A tick at the right end has half its label beyond the pane.
    const int halfLabel = QFontMetrics(time->tickLabelFont()).horizontalAdvance(kClockSample) / 2;
    rect->setMinimumMargins(QMargins(0, 0, halfLabel + 4, 0));
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
    // Runs in time order share one graph, parted by a gap point (no line is drawn across it);
    // a run that starts before the last one ended (a clock set back) gets a graph of its own.
    std::vector<std::pair<QVector<double>, QVector<double>>> graphs;
    double lastEnd = 0;
    for (const auto& run : series.runs) {
        if (run.empty()) {
            continue;
        }
        const double start = static_cast<double>(run.front().time);
        if (graphs.empty() || start < lastEnd) {
            graphs.emplace_back();
        } else {
            graphs.back().first.push_back(lastEnd);
            graphs.back().second.push_back(std::numeric_limits<double>::quiet_NaN());
        }
        for (const charts::SeriesPoint& point : run) {
            graphs.back().first.push_back(static_cast<double>(point.time));
            graphs.back().second.push_back(point.value);
        }
        lastEnd = static_cast<double>(run.back().time);
    }
    for (size_t i = 0; i < graphs.size(); ++i) {
        QCPGraph* graph = addGraph(time, value);
        graph->setData(graphs[i].first, graphs[i].second, true);
        graph->setPen(QPen(colour, 1.6));
        graph->setName(charts::InstrumentText(series.gas));
        // A lone reading between gaps draws no line at all: sparse graphs show every point.
        if (graphs[i].first.size() < kDotsUpTo) {
            graph->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, colour, 3));
        }
        if (i == 0 && legend_ != nullptr) {
            graph->addToLegend(legend_);
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

void SessionChartPlot::AddMarks() {
    for (Pane& pane : panes_) {
        pane.marks = new MarkLayer(this, pane.rect);
    }
    MarkLayer* top = panes_.front().marks;
    MarkLayer* bottom = panes_.back().marks;
    for (const ChartMark& mark : chart_.marks) {
        if (mark.kind == MarkKind::Alarm) {
            Pane* pane = mark.hasValue ? PaneOf(mark.unit) : nullptr;
            (pane != nullptr ? pane->marks : top)->alarms.push_back({&mark, pane != nullptr});
            continue;
        }
        for (Pane& pane : panes_) {
            pane.marks->lines.push_back(&mark);
        }
        (IsTest(mark.kind) ? top->testNames : bottom->footNames).push_back(&mark);
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

QString SessionChartPlot::ReadOutAt(double time, double reach) const {
    const charts::Sample sample = chart_.SampleNear(time, reach);
    if (!sample.found) {
        return charts::ClockText(static_cast<int64_t>(std::floor(time)));
    }
    QString text = charts::ClockText(sample.time);
    for (const charts::SampleReading& reading : sample.readings) {
        const charts::GasSeries& series = chart_.gases[reading.gas];
        text += QString("%1%2 %3 %4")
                    .arg(kReadOutSeparator, charts::InstrumentText(series.gas),
                         charts::FigureText(reading.value, reading.scale),
                         QString::fromStdString(series.unit));
    }
    return text;
}

void SessionChartPlot::ShowReadOut(double time) {
    MoveCursor(time);
}

double SessionChartPlot::MoveCursor(double time) {
    const QCPAxis* axis = panes_.front().rect->axis(QCPAxis::atBottom);
    const double reach = std::abs(axis->pixelToCoord(kCursorReach) - axis->pixelToCoord(0));
    // Before the first layout the axis has no pixels to measure by.
    return ShowCursor(time, std::isfinite(reach) ? reach : 0);
}

double SessionChartPlot::ShowCursor(double time, double reach) {
    const charts::Sample sample = chart_.SampleNear(time, reach);
    const double at = sample.found ? static_cast<double>(sample.time) : time;
    for (Pane& pane : panes_) {
        pane.cursor->point1->setCoords(at, 0);
        pane.cursor->point2->setCoords(at, 1);
        pane.cursor->setVisible(true);
    }
    readOutLine_ = ReadOutAt(time, reach);
    readOut_->setText(readOutLine_);
    readOut_->setVisible(true);
    replot(QCustomPlot::rpQueuedReplot);
    return at;
}

void SessionChartPlot::updateLayout() {
    FitLegend();
    QCustomPlot::updateLayout();
    if (panes_.empty()) {
        return;
    }
    std::vector<QCPAxis*> axes;
    for (const Pane& pane : panes_) {
        axes.push_back(pane.rect->axis(QCPAxis::atLeft));
    }
    axes.push_back(panes_.back().rect->axis(QCPAxis::atBottom));
    PlaceMarks();
    FitTicks(axes, [this] { QCustomPlot::updateLayout(); });
    PlanPanes();
    FitReadOut();
}

void SessionChartPlot::PlanPanes() {
    std::vector<MarkLayer::Numbered> carried;
    for (Pane& pane : panes_) {
        pane.marks->Plan(carried);
        carried = pane.marks->Unplaced();
    }
}

void SessionChartPlot::PlaceMarks() {
    PlanPanes();
    if (!hasTests_) {
        return;
    }
    // The list takes room from the panes, which may number more tests: a few rounds settle it,
    // and a test numbered in any round stays listed.
    std::map<int, QString> byNumber;
    for (int round = 0; round < 3; ++round) {
        for (const MarkLayer::Numbered& test : panes_.front().marks->NumberedTests()) {
            byNumber[test.number] =
                QString("%1  %2  %3")
                    .arg(test.number)
                    .arg(charts::ClockText(test.mark->time), MarkLayer::NameOf(*test.mark));
        }
        QStringList listed;
        for (const auto& [number, entry] : byNumber) {
            listed << entry;
        }
        if (listed == listed_) {
            return;
        }
        listed_ = listed;
        SetMarksList(ListText(listed_));
        QCustomPlot::updateLayout();
        PlanPanes();
    }
}

void SessionChartPlot::SetMarksList(const QString& text) {
    // Under the panes only while it lists something: an empty row would take their room.
    if (text.isEmpty()) {
        if (marksList_ != nullptr) {
            plotLayout()->remove(marksList_);
            plotLayout()->simplify();
            marksList_ = nullptr;
        }
        return;
    }
    if (marksList_ == nullptr) {
        marksList_ = new QCPTextElement(this, QString(), SmallFont(kListPointSize));
        marksList_->setTextFlags(Qt::AlignLeft | Qt::AlignTop);
        marksList_->setMargins(QMargins(kListMargin, 0, kListMargin, 2));
        const int row = plotLayout()->rowCount();
        plotLayout()->addElement(row, 0, marksList_);
        plotLayout()->setRowStretchFactor(row, 0.001);
    }
    marksList_->setText(text);
}

QString SessionChartPlot::ListText(const QStringList& entries) const {
    // As many entries on a line as fit across, in number order; an entry is never broken.
    return LinesOf(entries, "      ", QFontMetrics(SmallFont(kListPointSize)),
                   viewport().width() - 2 * kListMargin - 4);
}

void SessionChartPlot::FitLegend() {
    if (legend_ == nullptr || legend_->itemCount() == 0) {
        return;
    }
    // As many gases in a row as fit across; the others in rows under them.
    const QFontMetrics metrics(legend_->font());
    int widest = 0;
    for (int i = 0; i < legend_->itemCount(); ++i) {
        auto* item = qobject_cast<QCPPlottableLegendItem*>(legend_->item(i));
        const QString name = item != nullptr ? item->plottable()->name() : QString();
        widest = std::max(widest, metrics.horizontalAdvance(name) + legend_->iconSize().width() +
                                      legend_->iconTextPadding() + metrics.height());
    }
    const int room = viewport().width() - legend_->margins().left() - legend_->margins().right();
    const int columns = std::clamp(room / std::max(1, widest), 1, legend_->itemCount());
    if (legend_->wrap() != columns) {
        legend_->setWrap(columns);
        legend_->setFillOrder(QCPLayoutGrid::foColumnsFirst, true);
    }
}

void SessionChartPlot::FitReadOut() {
    if (readOut_ == nullptr || !readOut_->visible() || readOutLine_.isEmpty()) {
        return;
    }
    // Broken between gases where one line would run past the plot's right edge.
    const QFontMetrics metrics(readOut_->font());
    const QMargins padding = readOut_->padding();
    const double left = readOut_->position->pixelPosition().x();
    const double room = viewport().right() - left - padding.left() - padding.right() - 2;
    readOut_->setText(
        LinesOf(readOutLine_.split(kReadOutSeparator), kReadOutSeparator, metrics, room));
}

std::vector<PlotLabel> SessionChartPlot::Labels() const {
    std::vector<PlotLabel> labels;
    for (const Pane& pane : panes_) {
        labels.insert(labels.end(), pane.marks->Placed().begin(), pane.marks->Placed().end());
    }
    if (readOut_ != nullptr && readOut_->visible()) {
        labels.push_back(
            {readOut_->text(),
             QRectF(readOut_->topLeft->pixelPosition(), readOut_->bottomRight->pixelPosition()),
             QRectF(viewport()), readOut_->font()});
    }
    return labels;
}

void SessionChartPlot::mouseMoveEvent(QMouseEvent* event) {
    QCPAxisRect* under = axisRectAt(event->position());
    for (const Pane& pane : panes_) {
        if (pane.rect == under) {
            emit cursorMoved(
                MoveCursor(under->axis(QCPAxis::atBottom)->pixelToCoord(event->position().x())));
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
