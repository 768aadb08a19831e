#pragma once

#include <QString>

#include <cstdint>
#include <string>

namespace charts {

struct SessionChart;

// A chart time (the instrument's wall clock, see SessionChart.h) as "HH:mm:ss".
QString ClockText(int64_t time);
// A reading stored by `scale` (1, 10 or 100) with the decimals its record holds, as every view
// but the RTF report states it (ScaledFigure, report/FigureText.h): "20.0", "30", "2.55".
QString FigureText(double value, int32_t scale);
// A text of the instrument (gas, mode) as Unicode.
QString InstrumentText(const std::string& text);
// The heading of a chart: the day and month labels of its first session as the session tree
// shows them, and the times of its first and last records ("Monday 07 Dec 2026  10:20:30 to
// 11:02:15").
QString ChartTitle(const std::string& day, const std::string& month, const SessionChart& chart);

} // namespace charts
