#pragma once

#include <cstdint>

class LineBuffer;

// The instrument's GPS position as read from a nine-byte GPS block, and its three report texts.
// Each text lives in its own buffer, rewritten by the next call of the same operation.
class GpsPosition {
public:
    static constexpr int kBlockSize = 9;

    // bytes: the nine bytes of the block (flags, DDMM, fraction, DDDMM, fraction).
    void Decode(const uint8_t (&bytes)[kBlockSize]);

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
    uint8_t m_fix = 0;
    char m_latHemisphere = 'S';
    char m_lonHemisphere = 'W';
    uint8_t m_quality = 0;
    int16_t m_latDegMin = 0;
    int16_t m_latFraction = 0;
    int16_t m_lonDegMin = 0;
    int16_t m_lonFraction = 0;

    char m_latitude[15] = {};
    char m_longitude[15] = {};
    char m_qualityText[14] = {};
};

// Writes the last `width` of the five zero-padded decimal digits of |value| (the first one
// replaced by '-' for a negative value) at text[length] and terminates the text; never writes at
// or past text[capacity - 1] except the terminator. Returns the new length.
int AppendFixedNumber(char* text, int length, int capacity, int16_t value, int width);

class LogRecordView;

// Decodes the GPS block at the record's offset and appends its GPS text.
void AppendRecordGpsText(LineBuffer& line, const LogRecordView& record, int32_t offset);
// The GPS text of a block of nine zero bytes: no fix.
void AppendZeroBlockGpsText(LineBuffer& line);
