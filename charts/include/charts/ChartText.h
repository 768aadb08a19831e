#pragma once

#include <QString>

#include <cstdint>
#include <string>

namespace charts {

struct SessionChart;

// A chart time (the instrument's wall clock, see SessionChart.h) as "HH:mm:ss".
QString ClockText(int64_t time);
// A reading with as many decimals as it has, in the C locale: "2.5", "30", "0.05".
QString ValueText(double value);
// A text of the instrument (gas, mode) as Unicode.
QString InstrumentText(const std::string& text);
// The heading of a chart: the day and month labels of its first session as the session tree
// shows them, and the times of its first and last records ("Monday 07 Dec 2026  10:20:30 to
// 11:02:15").
QString ChartTitle(const std::string& day, const std::string& month, const SessionChart& chart);

} // namespace charts
