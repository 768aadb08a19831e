#pragma once

#include <cstdint>

struct DecodeContext;
struct FormatContext;

// Where a reading list ended inside its record.
struct ReadingListEnd {
    int32_t Offset = 0;     // offset of the terminator (or of the record's end without one)
    uint8_t Terminator = 0; // 0xFF: a GPS block follows; 0xFE: none; 0 when the record ended first
};

// Reads the reading list at the record offset into the value's readings. Duplicate GAS entries
// (code 1 directly followed by another code 1) keep only the second where the record kind asks
// for it. Stops at the terminator or at the record's end; entries beyond the report's ten
// columns are not taken.
ReadingListEnd ReadReadingList(DecodeContext& ctx, int32_t offset, bool skipDuplicateGas);
// GPS by the room rule: a block right after the terminator when the record has room for it.
void ReadGpsByRoom(DecodeContext& ctx, const ReadingListEnd& end);
// GPS by the marker rule: only after a 0xFF terminator, the zero block when there is no room.
void ReadGpsByMarker(DecodeContext& ctx, const ReadingListEnd& end);

// The shared part of alarm, manual and timed lines: the heading countdown, the gas columns, the
// column heading and the value texts.
class ReadingLine {
public:
    // show: the record kind's filter flag.
    ReadingLine(FormatContext& ctx, int32_t show);

    bool Shown() const { return m_show != 0; }

    // Takes the value's readings into the gas columns; a change of gas brings the heading back.
    // Hidden lines take them too: their gases still count for the heading.
    void TakeColumns();
    // The column heading, when the countdown says it is due.
    void AppendHeadingIfDue();
    // The value texts of every column, in order.
    void AppendValues();
    // The GPS text, when the record holds a block.
    void AppendGps();
    // " Methane" or " Nat Gas" by the gas type character.
    void AppendGasType();
    // A filtered-out record leaves no text.
    void Finish();

private:
    FormatContext& m_ctx;
    int32_t m_show;
};
