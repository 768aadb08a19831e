#pragma once

#include "charts/SessionChart.h"

#include <qcustomplot.h>

#include <vector>

// Barhole profiles as small plots in a grid of equal cells, as many across as fit at a readable
// width: the samples step by step, and the recorded peak as a red point at its reading
// (BarholeProfile::PeakPoint), named beside it. A profile without samples shows its peak alone. In
// the window the plot is as high as its rows need and scrolls; files give it that height.
class BarholePlot : public QCustomPlot {
    Q_OBJECT
public:
    // The smallest cell that keeps a profile's axes and peak readable, and the most cells across.
    static constexpr int kMinCellWidth = 240;
    static constexpr int kCellHeight = 180;
    static constexpr int kMaxColumns = 6;

    explicit BarholePlot(QWidget* parent = nullptr);

    // Shows `count` profiles from `first` on (fewer when the list ends before).
    void SetProfiles(const std::vector<charts::BarholeProfile>& profiles, size_t first,
                     size_t count);
    int ProfileCount() const { return static_cast<int>(cells_.size()); }

    // The cells across a plot `width` pixels wide, the rows `profiles` take there, and the
    // height those rows need.
    static int ColumnsFor(int width);
    static int RowsFor(size_t profiles, int width);
    static int HeightFor(size_t profiles, int width) {
        return RowsFor(profiles, width) * kCellHeight;
    }

protected:
    // The grid for the plot's present width, tick counts that keep the labels apart, and each
    // peak's name placed whole inside its cell.
    void updateLayout() override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Peak {
        QCPItemText* label = nullptr;
        QCPItemTracer* dot = nullptr;
    };

    void AddProfile(const charts::BarholeProfile& profile);
    void Arrange(int columns);
    void PlacePeaks();

    std::vector<QCPAxisRect*> cells_;
    std::vector<Peak> peaks_;
    int columns_ = 0;
    QSharedPointer<QCPAxisTickerFixed> steps_;
};
