#pragma once

#include "report/SessionValues.h"

#include <cstdint>

class LineBuffer;
class LogRecordView;

// The fields of a nine-byte GPS block (flags, DDMM, fraction, DDDMM, fraction).
GpsValue DecodeGpsBlock(const uint8_t (&bytes)[9]);
// The GPS block at the record's offset; bytes past the record read as 0.
GpsValue ReadGpsBlock(const LogRecordView& record, int32_t offset);

// The instrument's GPS position as read from a nine-byte GPS block, and its three report texts.
// Each text lives in its own buffer, rewritten by the next call of the same operation.
class GpsPosition {
public:
    static constexpr int kBlockSize = 9;

    GpsPosition() = default;
    explicit GpsPosition(const GpsValue& value) : m_value(value) {}

    // bytes: the nine bytes of the block (flags, DDMM, fraction, DDDMM, fraction).
    void Decode(const uint8_t (&bytes)[kBlockSize]) { m_value = DecodeGpsBlock(bytes); }

    // "No GPS Fix" without a fix, else e.g. "N 51 30.1234".
    const char* LatitudeText();
    // Empty without a fix, else e.g. "W 001 23.4567".
    const char* LongitudeText();
    // "Q:" and the quality digit, then one blank.
    const char* QualityText();

    // Quality, latitude, three blanks and longitude: the GPS text of every record that shows a
    // position.
    void AppendGpsText(LineBuffer& line);

private:
    GpsValue m_value;

    char m_latitude[15] = {};
    char m_longitude[15] = {};
    char m_qualityText[14] = {};
};

// Writes the last `width` of the five zero-padded decimal digits of |value| (the first one
// replaced by '-' for a negative value) at text[length] and terminates the text; never writes at
// or past text[capacity - 1] except the terminator. Returns the new length.
int AppendFixedNumber(char* text, int length, int capacity, int16_t value, int width);

// The GPS text of a decoded block (the zero block is a block without a fix).
void AppendGpsText(LineBuffer& line, const GpsValue& value);
