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

void GpsPosition::Decode(const uint8_t (&bytes)[kBlockSize]) {
    const uint8_t flags = bytes[0];
    m_fix = flags & 0x01;
    m_latHemisphere = (flags & 0x02) != 0 ? 'N' : 'S';
    m_lonHemisphere = (flags & 0x04) != 0 ? 'E' : 'W';
    m_quality = static_cast<uint8_t>(flags >> 6);
    auto field = [&bytes](int offset) {
        return static_cast<int16_t>(bytes[offset] | (bytes[offset + 1] << 8));
    };
    m_latDegMin = field(1);
    m_latFraction = field(3);
    m_lonDegMin = field(5);
    m_lonFraction = field(7);
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
    if (m_fix == 0) {
        AppendText(m_latitude, 0, sizeof m_latitude, "No GPS Fix");
        return m_latitude;
    }
    FormatCoordinate(m_latitude, sizeof m_latitude, m_latHemisphere, m_latDegMin, 4, m_latFraction);
    return m_latitude;
}

const char* GpsPosition::LongitudeText() {
    m_longitude[0] = '\0';
    if (m_fix == 0) {
        return m_longitude;
    }
    FormatCoordinate(m_longitude, sizeof m_longitude, m_lonHemisphere, m_lonDegMin, 5,
                     m_lonFraction);
    return m_longitude;
}

const char* GpsPosition::QualityText() {
    m_qualityText[0] = 'Q';
    m_qualityText[1] = ':';
    m_qualityText[2] = static_cast<char>('0' + m_quality % 10);
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

void AppendRecordGpsText(LineBuffer& line, const LogRecordView& record, int32_t offset) {
    uint8_t block[GpsPosition::kBlockSize];
    for (int i = 0; i < GpsPosition::kBlockSize; ++i) {
        block[i] = record.Byte(offset + i);
    }
    GpsPosition position;
    position.Decode(block);
    position.AppendGpsText(line);
}

void AppendZeroBlockGpsText(LineBuffer& line) {
    const uint8_t block[GpsPosition::kBlockSize] = {};
    GpsPosition position;
    position.Decode(block);
    position.AppendGpsText(line);
}
