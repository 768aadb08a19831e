#pragma once

#include "charts/PlotLabel.h"
#include "charts/SessionChart.h"

#include <qcustomplot.h>

#include <QString>
#include <QStringList>
#include <vector>

class MarkLayer;

// Draws a SessionChart: one pane per unit stacked over a shared time axis with the marks on it
// (the barhole profiles go to a BarholePlot underneath). The same drawing serves the program's
// window, PNG and PDF files.
//
// Why stacked panes and not two y axes: a session mixes three or more units (% LEL, % gas, the
// oxygen's %, ppm) whose scales have nothing in common (O2 sits at 20.9 % while CO moves between 0
// and a few hundred ppm), and a second axis could take only one of them. A pane per unit gives
// every gas its own readable scale and keeps each axis label honest, while the shared time axis
// lines the alarms and tests up across all of them.
class SessionChartPlot : public QCustomPlot {
    Q_OBJECT
public:
    explicit SessionChartPlot(QWidget* parent = nullptr);

    // Replaces what is drawn. `title` heads the chart (the session's day and time).
    void SetChart(const charts::SessionChart& chart, const QString& title);
    const charts::SessionChart& Chart() const { return chart_; }
    const QString& Title() const { return title_; }

    // The whole time span again after zooming.
    void ResetZoom();
    // Zooms the time axis of every pane to [from, to] (seconds of the instrument's clock).
    void ZoomTo(double from, double to);
    QCPRange TimeRange() const;

    // The read-out at `time`: the time of the nearest sample (looked for within the runs of
    // readings and up to `reach` seconds beyond their ends) and every gas's reading recorded
    // then; only the time itself where no sample is that near. The lines join the samples and
    // the cursor goes to the sample read, so the read-out never differs from the line under it.
    QString ReadOutAt(double time, double reach = 0) const;
    // The cursor and its read-out at the sample nearest `time`, as moving the mouse there shows.
    void ShowReadOut(double time);

    // Draws the chart into `painter` (a PDF page, a pixmap) as if the plot were width x height.
    void PaintTo(QCPPainter& painter, int width, int height);

    int PaneCount() const { return static_cast<int>(panes_.size()); }
    // The tests whose names had no room beside their lines at the last drawing, as listed under
    // the chart by their numbers ("3  11:04:40  Bump FAIL CO"), one entry a line; empty when every
    // test is named on the chart.
    QStringList NumberedTests() const { return listed_; }
    // Every text drawn inside the panes at the last drawing (names of marks, the read-out), where
    // it was drawn.
    std::vector<PlotLabel> Labels() const;

signals:
    // The user moved the cursor (with the mouse) to `chartTime`: the time of the sample it went
    // to, or where the mouse stands when no sample is near. Not sent for ShowReadOut.
    void cursorMoved(double chartTime);

protected:
    // The layout at the plot's present size, then tick counts that keep the tick labels apart
    // and a read-out that fits across.
    void updateLayout() override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    struct Pane {
        QString unit;
        QCPAxisRect* rect = nullptr;
        QCPItemStraightLine* cursor = nullptr;
        MarkLayer* marks = nullptr;
    };

    void Build(const QString& title);
    void AddPane(const QString& unit, QCPMarginGroup* margins, int row);
    void AddSeries(const charts::GasSeries& series, int colourIndex);
    void AddMarks();
    Pane* PaneOf(const std::string& unit);
    void SyncTime(const QCPRange& range);
    // The cursor at the sample nearest `time` within a few pixels; returns where it went.
    double MoveCursor(double time);
    double ShowCursor(double time, double reach);
    void FitLegend();
    void FitReadOut();
    // Places the names of the marks; the tests numbered for want of room are listed under the
    // chart, which takes room from the panes, so they are placed again once the list stands.
    void PlaceMarks();
    void PlanPanes();
    QString ListText(const QStringList& entries) const;
    void SetMarksList(const QString& text);

    charts::SessionChart chart_;
    QString title_;
    std::vector<Pane> panes_;
    QCPLegend* legend_ = nullptr;
    QCPItemText* readOut_ = nullptr;
    bool hasTests_ = false;
    QCPTextElement* marksList_ = nullptr; // under the panes while a test is numbered
    QStringList listed_;
    QString readOutLine_; // the read-out on one line, broken where the plot is too narrow
    // One ticker for the time axes of all panes, so that their grid lines meet.
    QSharedPointer<QCPAxisTickerDateTime> timeTicker_;
    QCPRange whole_;
    bool syncing_ = false;
};
