#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QCoreApplication;
class QSize;
class SessionByteSource;
class SessionTable;
struct ReportState;
struct SessionValues;
struct LogFilter;

// The Qt side of the commands that draw: charts as PNG or PDF and reports as PDF, drawn with the
// program's own chart and report code. No Qt header here: the commands' own words (slots among
// them) must not meet Qt's keywords.

// What is drawn and under which title: the sessions (one, or a day's chain) headed by the first
// one's day and month as the session tree names them.
struct ChartJob {
    std::vector<int16_t> sessionSlots;
    std::string headingDay;
    std::string headingMonth;
};
// The job of these slots of the loaded dump, with the headings its session table gives.
ChartJob ChartJobOf(const std::vector<int16_t>& sessionSlots);

// The chart, with the report's filter and mode names, to `path` as PDF or PNG (by its ending)
// of `size`; an exit status. Makes the application object when there is none yet.
int WriteChartFile(SessionByteSource& source, const ReportState& state, const ChartJob& job,
                   const std::string& path, const QSize& size);
// The chart of sessions already decoded (archived ones), headed by their day, to `path` as PDF
// or PNG; an exit status.
int WriteValuesChartFile(const std::vector<SessionValues>& sessions, const LogFilter& filter,
                         const std::string& headingDay, const std::string& headingMonth,
                         const std::string& path, const QSize& size);
// ReportText, the chart and, where the sessions have positions, the map page with their survey
// record to `path` as PDF, naming `instrument` (InstrumentCalled, local 8-bit; empty for a
// dump's); an exit status. The map is drawn on the MBTiles file `tiles` (local 8-bit; empty: the
// plain grid); one that cannot be read leaves the grid and a warning on standard error. Each
// session's survey record names it by its day and start in `table` and gives its register status
// at switch-on from `registerStatuses`, in the job's order (none beyond it). Makes the
// application object when there is none yet.
int WriteReportPdfFile(SessionByteSource& source, const SessionTable& table,
                       const ReportState& state, const ChartJob& job, const std::string& path,
                       const std::string& instrument = std::string(),
                       const std::string& tiles = std::string(),
                       const std::vector<std::string>& registerStatuses = {});
