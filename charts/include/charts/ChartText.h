#pragma once

#include <QString>

#include <cstdint>
#include <string>

namespace charts {

// A chart time (the instrument's wall clock, see SessionChart.h) as "HH:mm:ss".
QString ClockText(int64_t time);
// A chart time as "yyyy-MM-dd HH:mm:ss".
QString DateTimeText(int64_t time);
// A reading with as many decimals as it has, in the C locale: "2.5", "30", "0.05".
QString ValueText(double value);
// A text of the instrument (gas, mode) as Unicode.
QString InstrumentText(const std::string& text);

} // namespace charts
