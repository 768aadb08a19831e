#pragma once

#include "LogClock.h"
#include "SessionLog.h"
#include "report/SessionValues.h"

#include <cstdint>

class RecordStream;

// What a record decoder works with: the record under the read position, the value it fills, and
// the stream (for the time, the mode in effect and the resynchronisation of unknown versions).
struct DecodeContext {
    LogRecordView Record;
    RecordValue& Value;
    RecordStream& Stream;

    // Takes the record's time stamp as the current log time.
    void TakeLogTime();
    // For a version the decoder does not know: the value becomes an unrecognised entry and the
    // stream resynchronises on the next '<'.
    void MarkUnrecognisedVersion();
    // The mode in effect from this record on.
    void SetMode(const std::string& mode);
    // The record's text field at offset..offset+maxCount-1, ending early at the first NUL byte.
    void ReadText(std::string& out, int32_t offset, int32_t maxCount) const;
};

// Decoder contract: entered on a record whose read position already stands at the record's end
// (its offset L), the decoder fills ctx.Value from the record's bytes.
using RecordDecoder = void (*)(DecodeContext& ctx);

// Walks the log records of one session buffer and decodes each into its value.
class RecordStream {
public:
    RecordStream(const SessionLog& log, const ModeNameList& modeNames)
        : m_log(log), m_modeNames(modeNames) {}

    // Fills value with the record at the read position and returns true, or returns false once
    // the stream has ended.
    bool Next(RecordValue& value);

    const ModeNameList& ModeNames() const { return m_modeNames; }
    int64_t TakeTime(uint32_t stamp);
    // Moves the read position to the next '<' unless it stands on one.
    void Resynchronise();

private:
    friend struct DecodeContext;
    void TakeMode(RecordValue& value) const;

    const SessionLog& m_log;
    const ModeNameList& m_modeNames;
    LogClock m_clock;
    int64_t m_time = 0;
    std::string m_mode;
    int32_t m_readPos = 0;
};

// The decoder for a type letter, or nullptr for letters this version does not know.
RecordDecoder DecoderFor(uint8_t typeLetter);
// The kind of record a type letter names (Unrecognised for letters this version does not know).
RecordKind KindFor(uint8_t typeLetter);
