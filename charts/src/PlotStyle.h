#pragma once

// What the chart's plots share: fonts, colours and how a value axis leaves room above the data.
#include "charts/SessionChart.h"

#include <qcustomplot.h>

#include <algorithm>

namespace plotstyle {

// Told apart also by people with the common colour-vision deficiencies; red stays for alarms.
inline const QColor kGasColours[] = {
    QColor(0, 114, 178),  QColor(230, 159, 0), QColor(0, 158, 115),  QColor(204, 121, 167),
    QColor(86, 180, 233), QColor(0, 0, 0),     QColor(153, 102, 51), QColor(120, 120, 120)};
inline const QColor kAlarm(220, 0, 0);
inline const QColor kPass(0, 128, 0);
inline const QColor kNoVerdict(110, 110, 110);
inline const QColor kSwitch(70, 70, 160);

// Room above the data so that the highest point and its label stay inside the pane.
constexpr double kHeadroom = 0.18;

inline QFont SmallFont(int pointSize) {
    QFont font;
    font.setPointSize(pointSize);
    return font;
}

inline QCPRange ValueRange(double low, double high, double headroom = kHeadroom) {
    low = std::min(low, 0.0);
    if (high <= low) {
        high = low + 1;
    }
    return QCPRange(low, high + (high - low) * headroom);
}

inline bool IsTest(charts::MarkKind kind) {
    return kind == charts::MarkKind::Calibration || kind == charts::MarkKind::Zero ||
           kind == charts::MarkKind::FieldCalibration || kind == charts::MarkKind::BumpTest ||
           kind == charts::MarkKind::ManualZero;
}

} // namespace plotstyle
