#include "archive/SessionSummary.h"

#include "orvtime/OrvTime.h"
#include "orvtime/TimeFormat.h"
#include "report/Report.h"

namespace archive {

SessionSummary SummariseSession(SessionByteSource& source, int16_t slot, uint32_t stamp,
                                bool dated) {
    (void)source;
    (void)slot;
    SessionSummary summary;
    if (dated) {
        const int64_t time = COrvTime(stamp).Value();
        summary.day = QString::fromStdString(FormatTime(time, "%Y-%m-%d"));
        summary.startTime = QString::fromStdString(FormatTime(time, "%H:%M:%S"));
    }
    return summary;
}

} // namespace archive
