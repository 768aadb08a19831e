#pragma once

#include "LineBuffer.h"

#include <cstddef>
#include <cstdint>

struct ReportState;
struct RecordValue;

// Writes the time texts of one rendering. The time of day is formatted once per time and reused
// by every literal whose only conversion is "%X".
class TimeTexts {
public:
    // Appends a literal passed through strftime on the given time.
    void AppendTime(LineBuffer& line, const char* literal, int64_t time);

private:
    bool m_valid = false;
    int64_t m_time = 0;
    char m_timeOfDay[32] = {};
    size_t m_length = 0;
};

// What a record formatter works with: the decoded value, the line it writes and the report state
// (filter flags, column heading, mode names, current log time).
struct FormatContext {
    ReportState& State;
    LineBuffer& Line;
    const RecordValue& Value;
    TimeTexts& Times;
    // Where the record's own line begins in Line: after a column heading written above it.
    size_t Lead = 0;

    // Appends a literal passed through strftime on the current log time.
    void AppendTime(const char* literal);
};

// Formatter contract: writes the record's report text (possibly empty) into ctx.Line.
using RecordFormatter = void (*)(FormatContext& ctx);

// The formatter for a type letter, or nullptr for letters this version does not know.
RecordFormatter FormatterFor(uint8_t typeLetter);
