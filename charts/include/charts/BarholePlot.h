#pragma once

#include "charts/SessionChart.h"

#include <qcustomplot.h>

#include <vector>

// Barhole profiles as small plots in rows: the samples step by step, the recorded peak named in
// red at the highest sample. A profile without samples shows its peak alone.
class BarholePlot : public QCustomPlot {
    Q_OBJECT
public:
    static constexpr int kColumns = 5;
    // Height in pixels of one row of profiles, in the window and in files.
    static constexpr int kRowHeight = 150;

    explicit BarholePlot(QWidget* parent = nullptr);

    // Shows `count` profiles from `first` on (fewer when the list ends before).
    void SetProfiles(const std::vector<charts::BarholeProfile>& profiles, size_t first,
                     size_t count);
    int ProfileCount() const { return shown_; }
    int RowCount() const { return (shown_ + kColumns - 1) / kColumns; }

    static int RowsFor(size_t profiles) {
        return static_cast<int>((profiles + kColumns - 1) / kColumns);
    }

private:
    void AddProfile(const charts::BarholeProfile& profile, int index);

    int shown_ = 0;
};
