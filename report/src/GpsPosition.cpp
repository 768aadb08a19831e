#include "GpsPosition.h"

#include "LineBuffer.h"
#include "SessionLog.h"

#include <cstring>

namespace {

int AppendText(char* text, int length, int capacity, const char* add) {
    while (*add != '\0' && length < capacity - 1) {
        text[length++] = *add++;
    }
    text[length] = '\0';
    return length;
}

int AppendChar(char* text, int length, int capacity, char c) {
    if (length < capacity - 1) {
        text[length++] = c;
    }
    text[length] = '\0';
    return length;
}

// Inserts one blank at position pos, moving the rest one place to the right (the last character
// drops off when the buffer is full).
int InsertBlank(char* text, int length, int capacity, int pos) {
    if (length >= capacity - 1) {
        length = capacity - 2;
    }
    std::memmove(text + pos + 1, text + pos, static_cast<size_t>(length - pos));
    text[pos] = ' ';
    ++length;
    text[length] = '\0';
    return length;
}

} // namespace

int AppendFixedNumber(char* text, int length, int capacity, int16_t value, int width) {
    if (width > 5) {
        width = 5;
    }
    if (width < 0) {
        width = 0;
    }
    int magnitude = value < 0 ? -static_cast<int>(value) : value;
    magnitude %= 100000;
    char digits[5];
    for (int i = 4; i >= 0; --i) {
        digits[i] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    }
    for (int i = 5 - width; i < 5; ++i) {
        char c = digits[i];
        if (value < 0 && i == 5 - width) {
            c = '-';
        }
        length = AppendChar(text, length, capacity, c);
    }
    text[length] = '\0';
    return length;
}

GpsValue DecodeGpsBlock(const uint8_t (&bytes)[GpsPosition::kBlockSize]) {
    const uint8_t flags = bytes[0];
    auto field = [&bytes](int offset) {
        return static_cast<int16_t>(bytes[offset] | (bytes[offset + 1] << 8));
    };
    GpsValue value;
    value.Fix = (flags & 0x01) != 0;
    value.North = (flags & 0x02) != 0;
    value.East = (flags & 0x04) != 0;
    value.Quality = static_cast<uint8_t>(flags >> 6);
    value.LatDegMin = field(1);
    value.LatFraction = field(3);
    value.LonDegMin = field(5);
    value.LonFraction = field(7);
    return value;
}

GpsValue ReadGpsBlock(const LogRecordView& record, int32_t offset) {
    uint8_t block[GpsPosition::kBlockSize];
    for (int i = 0; i < GpsPosition::kBlockSize; ++i) {
        block[i] = record.Byte(offset + i);
    }
    return DecodeGpsBlock(block);
}

namespace {

// "H DD MM.FFFF" (or "H DDD MM.FFFF"): degrees and minutes come as one number and are shown apart,
// so "N 5130" becomes "N 51 30".
void FormatCoordinate(char* out, int capacity, char hemisphere, int16_t degMin, int width,
                      int16_t fraction) {
    int length = AppendChar(out, 0, capacity, hemisphere);
    length = AppendChar(out, length, capacity, ' ');
    length = AppendFixedNumber(out, length, capacity, degMin, width);
    if (length >= width) {
        length = InsertBlank(out, length, capacity, width);
    }
    length = AppendChar(out, length, capacity, '.');
    AppendFixedNumber(out, length, capacity, fraction, 4);
}

} // namespace

const char* GpsPosition::LatitudeText() {
    if (!m_value.Fix) {
        AppendText(m_latitude, 0, sizeof m_latitude, "No GPS Fix");
        return m_latitude;
    }
    FormatCoordinate(m_latitude, sizeof m_latitude, m_value.North ? 'N' : 'S', m_value.LatDegMin, 4,
                     m_value.LatFraction);
    return m_latitude;
}

const char* GpsPosition::LongitudeText() {
    m_longitude[0] = '\0';
    if (!m_value.Fix) {
        return m_longitude;
    }
    FormatCoordinate(m_longitude, sizeof m_longitude, m_value.East ? 'E' : 'W', m_value.LonDegMin,
                     5, m_value.LonFraction);
    return m_longitude;
}

const char* GpsPosition::QualityText() {
    m_qualityText[0] = 'Q';
    m_qualityText[1] = ':';
    m_qualityText[2] = static_cast<char>('0' + m_value.Quality % 10);
    m_qualityText[3] = ' ';
    m_qualityText[4] = '\0';
    return m_qualityText;
}

void GpsPosition::AppendGpsText(LineBuffer& line) {
    line.Append(QualityText());
    line.Append(LatitudeText());
    line.Append("   ");
    line.Append(LongitudeText());
}

void AppendGpsText(LineBuffer& line, const GpsValue& value) {
    GpsPosition position(value);
    position.AppendGpsText(line);
}
