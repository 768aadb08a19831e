#pragma once

#include "charts/SessionChart.h"

#include <qcustomplot.h>

#include <QString>
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

    // The time and every gas's value at `time` (its last point at or before it in the same run),
    // as the cursor read-out shows them.
    QString ReadOutAt(double time) const;

    // Draws the chart into `painter` (a PDF page, a pixmap) as if the plot were width x height.
    void PaintTo(QCPPainter& painter, int width, int height);

    int PaneCount() const { return static_cast<int>(panes_.size()); }

protected:
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
    void ShowCursor(double time);

    charts::SessionChart chart_;
    QString title_;
    std::vector<Pane> panes_;
    QCPLegend* legend_ = nullptr;
    QCPItemText* readOut_ = nullptr;
    QCPRange whole_;
    bool syncing_ = false;
};
