#pragma once

#include "charts/ChartBuilder.h"
#include "charts/SessionChart.h"
#include "report/SessionValues.h"

#include <cstdint>
#include <vector>

struct ReportState;

namespace charts {

// The filter the report is rendered with, for the chart.
ChartFilter FilterOf(const ReportState& state);

// The chart time of an instrument time stamp (see SessionChart.h).
int64_t ChartTime(uint32_t stamp);

// Feeds one decoded record to the builder.
void AddRecord(ChartBuilder& builder, const RecordValue& record);

// The chart of the sessions in `slots`, one after another as a Full Day chain has them.
SessionChart ChartOfSessions(SessionByteSource& source, const std::vector<int16_t>& slots,
                             const ModeNameList& modeNames, const ChartFilter& filter);

} // namespace charts
