#include "recbuild/RecordBuilder.h"

GpsFix GpsFix::At(bool north, int16_t latDegMin, int16_t latFraction, bool east, int16_t lonDegMin,
                  int16_t lonFraction, uint8_t quality) {
    GpsFix fix;
    fix.Valid = true;
    fix.North = north;
    fix.East = east;
    fix.Quality = quality;
    fix.LatDegMin = latDegMin;
    fix.LatFraction = latFraction;
    fix.LonDegMin = lonDegMin;
    fix.LonFraction = lonFraction;
    return fix;
}

uint8_t GpsFix::Flags() const {
    return static_cast<uint8_t>((Valid ? 0x01 : 0) | (North ? 0x02 : 0) | (East ? 0x04 : 0) |
                                ((Quality & 3) << 6));
}

void GpsFix::Encode(uint8_t (&block)[9]) const {
    block[0] = Flags();
    const int16_t fields[4] = {LatDegMin, LatFraction, LonDegMin, LonFraction};
    for (int i = 0; i < 4; ++i) {
        const uint16_t v = static_cast<uint16_t>(fields[i]);
        block[1 + 2 * i] = static_cast<uint8_t>(v & 0xFF);
        block[2 + 2 * i] = static_cast<uint8_t>(v >> 8);
    }
}

RecordBuilder::RecordBuilder() = default;

RecordBuilder RecordBuilder::Raw() {
    RecordBuilder record;
    record.Byte(kStart).Byte(0);
    return record;
}

RecordBuilder RecordBuilder::Stamped(char type, char version, uint32_t stamp) {
    RecordBuilder record = Unstamped(type, version);
    record.Stamp(stamp);
    return record;
}

RecordBuilder RecordBuilder::Barhole(char version, uint32_t stamp, uint8_t number, int16_t peak,
                                     char peakUnit, uint16_t sustained, char sustainedUnit) {
    RecordBuilder record = Stamped('H', version, stamp);
    record.Byte(number).S16(peak).Byte(static_cast<uint8_t>(peakUnit)).U16(sustained);
    record.Byte(static_cast<uint8_t>(sustainedUnit));
    return record;
}

RecordBuilder RecordBuilder::Unstamped(char type, char version) {
    RecordBuilder record = Raw();
    record.Byte(static_cast<uint8_t>(type)).Byte(static_cast<uint8_t>(version));
    return record;
}

RecordBuilder RecordBuilder::FreeText(const std::string& text) {
    RecordBuilder record = Raw();
    record.Byte('T').Text(text).Byte(0);
    return record;
}

RecordBuilder& RecordBuilder::Byte(uint8_t value) {
    if (m_size < kMaxRecord) {
        m_bytes[m_size++] = value;
    } else {
        m_overflow = true;
    }
    return *this;
}

RecordBuilder& RecordBuilder::Bytes(const std::vector<uint8_t>& values) {
    for (uint8_t value : values) {
        Byte(value);
    }
    return *this;
}

RecordBuilder& RecordBuilder::U16(uint16_t value) {
    return Byte(static_cast<uint8_t>(value & 0xFF)).Byte(static_cast<uint8_t>(value >> 8));
}

RecordBuilder& RecordBuilder::S16(int16_t value) {
    return U16(static_cast<uint16_t>(value));
}

RecordBuilder& RecordBuilder::Chars(const std::string& text, size_t width) {
    for (size_t i = 0; i < width; ++i) {
        Byte(i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
    }
    return *this;
}

RecordBuilder& RecordBuilder::Text(const std::string& text) {
    for (char c : text) {
        Byte(static_cast<uint8_t>(c));
    }
    return *this;
}

RecordBuilder& RecordBuilder::Stamp(uint32_t stamp) {
    return U16(static_cast<uint16_t>(stamp >> 16)).U16(static_cast<uint16_t>(stamp & 0xFFFF));
}

RecordBuilder& RecordBuilder::Readings(std::initializer_list<std::pair<uint8_t, int16_t>> entries,
                                       uint8_t terminator) {
    for (const auto& entry : entries) {
        Reading(entry.first, entry.second);
    }
    return Byte(terminator);
}

RecordBuilder& RecordBuilder::Reading(uint8_t code, int16_t value) {
    return Byte(code).S16(value);
}

RecordBuilder& RecordBuilder::Gps(const GpsFix& fix) {
    uint8_t block[9];
    fix.Encode(block);
    for (uint8_t b : block) {
        Byte(b);
    }
    return *this;
}

RecordBuilder& RecordBuilder::ZeroGps() {
    return Gps(GpsFix());
}

RecordBuilder& RecordBuilder::SensorValues(uint8_t code, uint16_t first, uint16_t second) {
    return Byte(code).U16(first).U16(second);
}

RecordBuilder& RecordBuilder::SensorResult(uint8_t code, uint8_t flags, int16_t first,
                                           int16_t second) {
    return Byte(code).Byte(flags).S16(first).S16(second);
}

RecordBuilder& RecordBuilder::BumpResult(uint8_t code, uint8_t flags, int16_t value) {
    return Byte(code).Byte(flags).S16(value);
}

RecordBuilder& RecordBuilder::ForceLength(uint8_t length) {
    m_lengthForced = true;
    m_forcedLength = length;
    return *this;
}

std::vector<uint8_t> RecordBuilder::Bytes() const {
    std::vector<uint8_t> bytes(m_bytes, m_bytes + m_size);
    if (bytes.size() >= 2) {
        bytes[1] = m_lengthForced ? m_forcedLength : static_cast<uint8_t>(m_size);
    }
    return bytes;
}

void RecordBuilder::AppendTo(std::vector<uint8_t>& stream) const {
    const std::vector<uint8_t> bytes = Bytes();
    stream.insert(stream.end(), bytes.begin(), bytes.end());
}

std::vector<uint8_t> EscapeForFlash(const std::vector<uint8_t>& stream) {
    std::vector<uint8_t> stored;
    stored.reserve(stream.size() + stream.size() / 16);
    for (uint8_t b : stream) {
        if (b == kFlashEscape) {
            stored.push_back(kFlashEscape);
        }
        stored.push_back(b);
    }
    return stored;
}
