#pragma once

#include "LineBuffer.h"
#include "LogClock.h"
#include "SessionLog.h"

#include <cstdint>
#include <string_view>

struct ReportState;
class RecordStream;

// What a decoder works with: the record under the read position, the line it writes, the
// decoder state, and the stream (for the resynchronisation of unrecognised versions).
struct RecordContext {
    ReportState& State;
    LineBuffer& Line;
    LogRecordView Record;
    RecordStream& Stream;

    // Converts the record's time stamp into the current log time.
    void TakeLogTime();
    // Appends a literal passed through strftime on the current log time.
    void AppendTime(const char* literal);
    // For a version the decoder does not know: flags the session and resynchronises the stream
    // on the next '<'; the caller then writes its own "new log format" line.
    void MarkUnrecognisedVersion();
};

// Decoder contract: entered on a record whose read position already stands at the record's end
// (its offset L), the decoder writes the record's text (possibly empty) into ctx.Line.
using RecordDecoder = void (*)(RecordContext& ctx);

// Walks the log records of one session buffer.
class RecordStream {
public:
    RecordStream(ReportState& state, const SessionLog& log) : m_state(state), m_log(log) {}

    // Sets text to the text of the record at the read position (valid until the next call) and
    // returns true, or returns false once the stream has ended. The end is a state of its own,
    // never a text: a free-text record may say anything.
    bool DecodeNextRecord(std::string_view& text);
    // Moves the read position to the next '<' unless it stands on one, flags the session as
    // holding unrecognised logs and returns "\par Unrecognised log.\par ".
    std::string_view SkipUnrecognisedRecord();

    int32_t ReadPosition() const { return m_readPos; }
    LogClock& Clock() { return m_clock; }
    // Appends a literal passed through strftime on the given time. The time of day is formatted
    // once per time and reused by every literal of the record whose only conversion is "%X".
    void AppendTime(LineBuffer& line, const char* literal, int64_t time);

private:
    ReportState& m_state;
    const SessionLog& m_log;
    LineBuffer m_line;
    LogClock m_clock;
    bool m_timeOfDayValid = false;
    int64_t m_timeOfDayTime = 0;
    char m_timeOfDay[32] = {};
    size_t m_timeOfDayLength = 0;
    int32_t m_readPos = 0;
};

// The decoder for a type letter, or nullptr for letters this version does not know.
RecordDecoder DecoderFor(uint8_t typeLetter);
