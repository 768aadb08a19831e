#pragma once

#include "charts/PlotLabel.h"
#include "charts/SessionChart.h"

#include <qcustomplot.h>

#include <QHash>

#include <optional>
#include <vector>

// The marks of one pane, drawn in one pass: a day's chain holds hundreds of them, far too many
// for one plot item each. Every name is placed whole inside the pane by its measured width. A
// test whose name has no free place beside its line gets its number there instead (the plot lists
// the numbered tests under the chart); an alarm's or a switch's name that has no place is left
// out until zooming makes room for it.
class MarkLayer : public QCPLayerable {
    Q_OBJECT
public:
    struct Alarm {
        const charts::ChartMark* mark;
        bool onValue; // drawn at its reading; otherwise near the top of the pane
    };

    MarkLayer(QCustomPlot* plot, QCPAxisRect* rect);

    std::vector<const charts::ChartMark*> lines;     // a vertical line each
    std::vector<const charts::ChartMark*> testNames; // named along the top, numbered from 1
    std::vector<const charts::ChartMark*> footNames; // named along the foot
    std::vector<Alarm> alarms;

    // The colour of a line mark (tests by verdict; switching and modes alike).
    static QPen PenOf(const charts::ChartMark& mark);
    // The name a mark is drawn with ("Calibration FAIL O2", "Leak Search").
    static QString NameOf(const charts::ChartMark& mark);

    // A test named by its number.
    struct Numbered {
        int number;
        const charts::ChartMark* mark;
    };

    // Places every name at the pane's present size and time range; draw() paints what was
    // placed. `carried`: numbers the panes above had no room for, placed here beside their lines
    // (which cross every pane). The plot plans after each layout, before it draws.
    void Plan(const std::vector<Numbered>& carried = {});
    // The tests that got their number instead of their name at the last plan, in time order.
    const std::vector<Numbered>& NumberedTests() const { return numbered_; }
    // The numbers this pane had no room for at the last plan, for the pane below.
    const std::vector<Numbered>& Unplaced() const { return unplaced_; }

    // The names drawn at the last plan, where they were drawn.
    const std::vector<PlotLabel>& Placed() const { return placed_; }

protected:
    QRect clipRect() const override;
    void applyDefaultAntialiasingHint(QCPPainter* painter) const override;
    void draw(QCPPainter* painter) override;

private:
    struct Dot {
        QPointF centre;
    };

    void DrawLines(QCPPainter* painter);
    void PlanAlarms();
    // Names along the top (tests) or the foot (switching, modes), beside their lines, in up to
    // `rows` rows.
    void PlanLineNames(const std::vector<const charts::ChartMark*>& marks, bool top, int rows,
                       const QFont& font);
    // The first free place beside the line at x in `rows` rows from the top or the foot.
    std::optional<QRectF> BesideLine(double x, QSizeF size, bool top, int rows,
                                     double rowHeight) const;
    // Keeps `text` at `rect`, to be drawn on a light ground.
    void Take(const QString& text, const QRectF& rect, const QColor& colour, const QFont& font);
    bool InView(double x) const;
    // Places `number` beside the line of its test anywhere down the pane; false without room.
    bool PlaceNumber(const Numbered& number, const QFont& font);

    QCPAxisRect* rect_;
    // The width of `text` in `font`: names are measured once, not at every plan.
    double Advance(const QString& text, const QFont& font);

    QRectF area_;
    std::vector<QRectF> taken_;
    QHash<QString, double> advances_; // by font size and text
    std::vector<PlotLabel> placed_;
    std::vector<QColor> colours_; // of placed_, one each
    std::vector<Dot> dots_;
    std::vector<Numbered> numbered_;
    std::vector<Numbered> unplaced_;
};
