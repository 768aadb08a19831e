#pragma once

#include "charts/PlotLabel.h"
#include "charts/SessionChart.h"

#include <qcustomplot.h>

#include <vector>

// The marks of one pane, drawn in one pass: a day's chain holds hundreds of them, far too many
// for one plot item each. Every name is placed whole inside the pane by its measured width;
// one that has no free place is left out until zooming makes room for it.
class MarkLayer : public QCPLayerable {
    Q_OBJECT
public:
    struct Alarm {
        const charts::ChartMark* mark;
        bool onValue; // drawn at its reading; otherwise near the top of the pane
    };

    MarkLayer(QCustomPlot* plot, QCPAxisRect* rect);

    std::vector<const charts::ChartMark*> lines;     // a vertical line each
    std::vector<const charts::ChartMark*> testNames; // named along the top
    std::vector<const charts::ChartMark*> footNames; // named along the foot
    std::vector<Alarm> alarms;

    // The colour of a line mark (tests by verdict; switching and modes alike).
    static QPen PenOf(const charts::ChartMark& mark);

    // The names drawn at the last drawing, where they were drawn.
    const std::vector<PlotLabel>& Placed() const { return placed_; }

protected:
    QRect clipRect() const override;
    void applyDefaultAntialiasingHint(QCPPainter* painter) const override;
    void draw(QCPPainter* painter) override;

private:
    void DrawLines(QCPPainter* painter);
    void DrawAlarms(QCPPainter* painter);
    // Names along the top (tests) or the foot (switching, modes), beside their lines, in up to
    // `rows` rows.
    void DrawLineNames(QCPPainter* painter, const std::vector<const charts::ChartMark*>& marks,
                       bool top, int rows);
    // Draws `text` in `rect` on a light ground and keeps the place taken.
    void DrawLabel(QCPPainter* painter, const QString& text, const QRectF& rect,
                   const QColor& colour);
    bool InView(double x) const;

    QCPAxisRect* rect_;
    QRectF area_;
    std::vector<QRectF> taken_;
    std::vector<PlotLabel> placed_;
};
