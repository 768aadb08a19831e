#pragma once

#include "charts/SessionChart.h"

#include <qcustomplot.h>

#include <vector>

// The marks of one pane, drawn in one pass: a day's chain holds hundreds of them, far too many
// for one plot item each. Labels that would fall on the one before are left out until zooming
// makes room for them.
class MarkLayer : public QCPLayerable {
    Q_OBJECT
public:
    struct Alarm {
        const charts::ChartMark* mark;
        bool onValue; // drawn at its reading; otherwise near the top of the pane
    };

    MarkLayer(QCustomPlot* plot, QCPAxisRect* rect);

    std::vector<const charts::ChartMark*> lines;     // a vertical line each
    std::vector<const charts::ChartMark*> testNames; // named at the top, upright
    std::vector<const charts::ChartMark*> footNames; // named at the foot
    std::vector<Alarm> alarms;

    // The colour of a line mark (tests by verdict; switching and modes alike).
    static QPen PenOf(const charts::ChartMark& mark);

protected:
    QRect clipRect() const override;
    void applyDefaultAntialiasingHint(QCPPainter* painter) const override;
    void draw(QCPPainter* painter) override;

private:
    QCPAxisRect* rect_;
};
