#pragma once

#include <array>
#include <cstdint>
#include <string>

// The instrument's parameters ("tests"): their description in its driver text and their values.
namespace sim {

constexpr int kSensorCount = 4;
constexpr int kMaxTextLength = 32;

constexpr int kUploadFlagTest = 11;
constexpr int kSectorToUploadTest = 12;
constexpr int kIndexToUploadTest = 13;
constexpr int kSerialNumberTest = 20;

struct TestDef {
    char letter; // version letter
    const char* name;
    int number;
    int flags; // bits 0-4 data kind, bit 7 alterable
    bool perSensor;
    int textLength; // kind 5 only
};

struct InstrumentOptions {
    char uploadFlagLetter = 'B'; // 'A' tells the host not to ask for the configuration block
    int interfaceVersion = 11;   // 10 and below: text tests travel four characters at a time
    // What "Serial number" holds (blank-padded); empty: the Instrument derives it from its seed,
    // InstrumentTests alone leaves it blank.
    std::string serialNumber;
};

class InstrumentTests {
public:
    explicit InstrumentTests(const InstrumentOptions& options);

    // The '!'-separated self-description, entries on separate lines.
    const std::string& DriverText() const { return m_driverText; }

    int Count() const;
    int Find(int number) const; // table index, or -1
    const TestDef& Def(int index) const;
    int Type(int index) const;    // 1 to 5
    int NoBytes(int index) const; // bytes of a numeric value, or the text length
    bool Alterable(int index) const { return (Def(index).flags & 0x80) != 0; }

    uint32_t Value(int index, int sensor) const;
    void SetValue(int index, int sensor, uint32_t value);
    // The text of a kind-5 test, always NoBytes characters (blank-padded).
    const char* Text(int index, int sensor) const;
    // Writes characters into the text from offset on; returns how many fitted.
    int WriteText(int index, int sensor, int offset, const char* text, int length);

private:
    std::string m_driverText;
    std::array<std::array<uint32_t, kSensorCount>, 32> m_values{};
    std::array<std::array<std::array<char, kMaxTextLength + 1>, kSensorCount>, 32> m_texts{};
    TestDef m_uploadFlagDef;
};

// The configuration block sent for "Upload flag" = 20: first byte 8, the four mode names at
// 308, 378, 448 and 518.
constexpr size_t kConfigBlockSize = 600;
constexpr size_t kModeNameOffsets[4] = {308, 378, 448, 518};
std::array<uint8_t, kConfigBlockSize> BuildConfigBlock();
// The mode names as stored (with the instrument's '[' and ']').
extern const char* const kModeNames[4];
// Three-letter mode codes that switch-on and mode-change records carry.
extern const char* const kModeCodes[4];

} // namespace sim
