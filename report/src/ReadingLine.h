#pragma once

#include <cstdint>

struct RecordContext;

// Where a reading list ended inside its record.
struct ReadingListEnd {
    int32_t Offset = 0;     // offset of the terminator (or of the record's end without one)
    uint8_t Terminator = 0; // 0xFF: a GPS block follows; 0xFE: none; 0 when the record ended first
};

// The shared part of alarm, manual and timed lines: the heading countdown, the reading list parse
// into the gas columns, the column heading and the value texts.
class ReadingLine {
public:
    // show: the record kind's filter flag.
    ReadingLine(RecordContext& ctx, int32_t show);

    bool Shown() const { return m_show != 0; }

    // Parses the reading list at the record offset into the gas columns. Duplicate GAS entries
    // (code 1 directly followed by another code 1) keep only the second where the record kind
    // asks for it. Stops at the terminator or at the record's end; columns beyond the table's
    // room are not taken.
    ReadingListEnd ParseList(int32_t offset, bool skipDuplicateGas);
    // The column heading, when the countdown says it is due.
    void AppendHeadingIfDue();
    // The value texts of every column, in order.
    void AppendValues();
    // GPS by the room rule: a block right after the terminator when the record has room for it.
    void AppendGpsByRoom(const ReadingListEnd& end);
    // GPS by the marker rule: only after a 0xFF terminator, the zero block when there is no room.
    void AppendGpsByMarker(const ReadingListEnd& end);
    // " Methane" or " Nat Gas" by the gas type character.
    void AppendGasType(uint8_t gasType);
    // A filtered-out record leaves no text.
    void Finish();

private:
    RecordContext& m_ctx;
    int32_t m_show;
};
