#pragma once

// Assembles instrument log records byte by byte, as the instrument writes them into a session's
// log stream, and escapes a stream for storing in flash memory.
//
// A record is: '<', a length byte counting the whole record, a type letter, a version digit, a
// 32-bit time stamp written as two 16-bit little-endian words with the high word first, then the
// payload of its type. Text ('T') records carry neither version nor stamp; user-name ('U')
// records carry a version but no stamp. Multi-byte payload values are little-endian.
//
//     std::vector<uint8_t> stream;
//     RecordBuilder::Stamped('O', '1', stamp).Chars("GAS", 3).AppendTo(stream);
//     RecordBuilder::Stamped('M', '4', stamp)
//         .Byte('1')                                  // gas type: methane
//         .Reading(0, 25).Reading(4, 30)              // LEL 2.5 %, CO 30 ppm
//         .Byte(RecordBuilder::kGpsFollows)
//         .Gps(GpsFix::At(true, 5130, 1234, false, 123, 4567, 2))
//         .AppendTo(stream);
//     std::vector<uint8_t> stored = EscapeForFlash(stream);
//
// The length byte is filled in when the record is taken (Bytes, AppendTo) unless ForceLength
// set it. A record holds at most 255 bytes; appends beyond that are dropped and Overflowed()
// reports it.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

// The nine-byte GPS block of position records.
struct GpsFix {
    bool Valid = false;
    bool North = false;
    bool East = false;
    uint8_t Quality = 0;     // 0 to 3
    int16_t LatDegMin = 0;   // DDMM
    int16_t LatFraction = 0; // ten-thousandths of a minute
    int16_t LonDegMin = 0;   // DDDMM
    int16_t LonFraction = 0; // ten-thousandths of a minute

    // A valid fix; hemispheres given as north (else south) and east (else west).
    static GpsFix At(bool north, int16_t latDegMin, int16_t latFraction, bool east,
                     int16_t lonDegMin, int16_t lonFraction, uint8_t quality);
    // The flags byte: bit 0 fix, bit 1 north, bit 2 east, bits 6-7 quality.
    uint8_t Flags() const;
    void Encode(uint8_t (&block)[9]) const;
};

class RecordBuilder {
public:
    static constexpr size_t kMaxRecord = 255;
    static constexpr uint8_t kStart = '<';
    // Reading-list terminators: a GPS block follows / no GPS block follows.
    static constexpr uint8_t kGpsFollows = 0xFF;
    static constexpr uint8_t kNoGps = 0xFE;
    // End byte of calibration, zero, bump and field-calibration sensor lists.
    static constexpr uint8_t kSensorListEnd = 0xFF;

    // '<', length, type, version, stamp (high word first).
    static RecordBuilder Stamped(char type, char version, uint32_t stamp);
    // '<', length, type, version: the user-name record.
    static RecordBuilder Unstamped(char type, char version);
    // '<', length, 'T', the text, one closing byte that is not part of the text.
    static RecordBuilder FreeText(const std::string& text);
    // '<', length and nothing else; for building malformed records.
    static RecordBuilder Raw();
    // A barhole record ('H') up to its header's end: number, peak, peak unit, sustained reading,
    // sustained unit (offsets 8 to 14); each version's rest follows.
    static RecordBuilder Barhole(char version, uint32_t stamp, uint8_t number, int16_t peak,
                                 char peakUnit, uint16_t sustained, char sustainedUnit);

    RecordBuilder& Byte(uint8_t value);
    RecordBuilder& Bytes(const std::vector<uint8_t>& values);
    RecordBuilder& U16(uint16_t value);
    RecordBuilder& S16(int16_t value);
    // A fixed-width text field: the text cut to width, padded with NUL bytes.
    RecordBuilder& Chars(const std::string& text, size_t width);
    // The text as it is, without terminator.
    RecordBuilder& Text(const std::string& text);
    // A time stamp as records carry it: high 16-bit word first, each word little-endian.
    RecordBuilder& Stamp(uint32_t stamp);
    // One reading-list entry: gas code byte and signed 16-bit reading.
    RecordBuilder& Reading(uint8_t code, int16_t value);
    // A whole reading list: the entries, then the terminator (kGpsFollows or kNoGps).
    RecordBuilder& Readings(std::initializer_list<std::pair<uint8_t, int16_t>> entries,
                            uint8_t terminator);
    RecordBuilder& Gps(const GpsFix& fix);
    // A GPS block of nine zero bytes (no fix).
    RecordBuilder& ZeroGps();
    // Calibration version 1 and field-calibration entry: code, two unsigned values.
    RecordBuilder& SensorValues(uint8_t code, uint16_t first, uint16_t second);
    // Calibration version 2 and zero entry: code, result flags, two signed values.
    RecordBuilder& SensorResult(uint8_t code, uint8_t flags, int16_t first, int16_t second);
    // Bump-test entry: code, result flags, signed value.
    RecordBuilder& BumpResult(uint8_t code, uint8_t flags, int16_t value);

    // Writes this value into the length byte instead of the record's true size.
    RecordBuilder& ForceLength(uint8_t length);

    size_t Size() const { return m_size; }
    bool Overflowed() const { return m_overflow; }
    std::vector<uint8_t> Bytes() const;
    // Appends the finished record to a stream.
    void AppendTo(std::vector<uint8_t>& stream) const;

private:
    RecordBuilder();

    uint8_t m_bytes[kMaxRecord] = {};
    size_t m_size = 0;
    bool m_overflow = false;
    bool m_lengthForced = false;
    uint8_t m_forcedLength = 0;
};

// The escape byte of stored session streams: a stored 0x55 says "take the next byte as it is".
constexpr uint8_t kFlashEscape = 0x55;

// The stored form of a de-escaped stream: every 0x55 becomes 0x55 0x55.
std::vector<uint8_t> EscapeForFlash(const std::vector<uint8_t>& stream);
