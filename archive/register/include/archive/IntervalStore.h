#pragma once

#include <QString>
#include <optional>

namespace archive {

class SessionArchive;

// Service intervals in days; an empty one is not set.
struct IntervalDays {
    std::optional<int> bumpDays;
    std::optional<int> calibrationDays;
    std::optional<int> warningDays;
};

// The service intervals `scope` sets itself (0: the archive; else an instrument's id), empty where
// it sets none.
bool ReadServiceIntervals(SessionArchive& archive, qint64 scope, IntervalDays& days,
                          QString& error);

enum class IntervalWrite { Changed, Unchanged, Failed };

// Sets the service intervals of `scope` (0: the archive's own; else an instrument's id) and
// records the change in the history, in one transaction. A value not given, or given as the one
// already in force (the scope's own, else for an instrument the archive's, else `fallback`), is
// no change and is left as it is, so that an instrument keeps following the archive's intervals
// until one of its own differs. Nothing changed: nothing is written, not even a history row.
// The row names the instrument by its name and serial number, and says each value before it.
IntervalWrite SetServiceIntervals(SessionArchive& archive, qint64 scope, const IntervalDays& change,
                                  const IntervalDays& fallback, QString& error);

} // namespace archive
