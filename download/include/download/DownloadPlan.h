#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class SessionTable;
class SessionTree;
struct DownloadOptions;
struct SessionEntry;

// One report file of a download and the sessions it holds, in the order they are added.
struct ReportJob {
    std::string fileName;              // "2026-12-07.rtf", "slot-41.rtf"
    std::vector<int16_t> sessionSlots; // in tree order for a day
    // The headings its report gets: a day's tree labels (as the program's Full Day gives them),
    // a slot's as `render` gives them.
    std::string headingDay;
    std::string headingMonth;
};

struct DownloadPlan {
    std::vector<ReportJob> jobs;
    // What was asked for and is not there: one line each, for standard error.
    std::vector<std::string> missing;
    int SessionCount() const;
};

// The reports a download writes, from the session tree that the index upload built: one per day
// node that lists sessions (each day's session nodes in tree order, as Full Day adds them), only
// the days asked for when there is a --day; or one per --slot, for every slot whose index entry
// holds a session. A day that turns up under a second day node (names out of time order) gets
// "-2", "-3"... so that no report replaces another.
// Takes out of the plan what need not be uploaded: a slot's report whose session is held, and a
// day whose every session is held (a day with anything new stays: its held sessions are read back
// from the archive, not uploaded). With `written`, such a report is taken out only when it says
// that the report's files are there already; the others are written from the archive. Returns
// how many sessions were taken out.
int DropHeld(DownloadPlan& plan, const std::function<bool(int16_t)>& held,
             const std::function<bool(const ReportJob&)>& written = nullptr);

DownloadPlan PlanDownload(const SessionTable& table, const SessionTree& tree,
                          const DownloadOptions& options);
