#pragma once

#include "charts/ChartBuilder.h"
#include "charts/SessionChart.h"
#include "report/SessionValues.h"

#include <cstdint>
#include <vector>

namespace charts {

// The chart time of an instrument time stamp (see SessionChart.h).
int64_t ChartTime(uint32_t stamp);

// Feeds one decoded record to the builder; a record the filter hides only moves the clock on.
void AddRecord(ChartBuilder& builder, const RecordValue& record, const LogFilter& filter);

// The chart of the sessions in `slots`, one after another as a Full Day chain has them, with the
// log filter applied as the report applies it.
SessionChart ChartOfSessions(SessionByteSource& source, const std::vector<int16_t>& slots,
                             const ModeNameList& modeNames, const LogFilter& filter);
// The same chain drawn from sessions already decoded (an archive holds no image to read).
SessionChart ChartOfValues(const std::vector<SessionValues>& sessions, const LogFilter& filter);

} // namespace charts
