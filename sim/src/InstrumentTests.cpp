#include "sim/InstrumentTests.h"

#include <cstdio>
#include <cstring>

#include "sim/SerialNumber.h"

namespace sim {

namespace {

// Version letter 'A' unless stated; "Upload flag" takes its letter from the options.
const TestDef kTests[] = {
    {'B', "Upload flag", kUploadFlagTest, 129, false, 0},
    {'A', "Sector to upload", kSectorToUploadTest, 130, false, 0},
    {'A', "Index to upload", kIndexToUploadTest, 130, false, 0},
    {'A', "Battery voltage", 14, 2, false, 0},
    {'A', "Clock", 15, 132, false, 0},
    {'A', "Run hours", 16, 3, false, 0},
    {'A', "Display contrast", 17, 129, false, 0},
    {'A', "Serial number", kSerialNumberTest, 5, false, static_cast<int>(kSerialNumberLength)},
    {'A', "Firmware version", 21, 5, false, 12},
    {'A', "Job number", 22, 133, false, 12},
    {'A', "Sensor reading", 30, 2, true, 0},
    {'A', "Alarm level", 31, 130, true, 0},
    {'A', "Sensor type", 32, 1, true, 0},
    {'A', "Sensor name", 33, 5, true, 12},
};
constexpr int kTestCount = static_cast<int>(sizeof(kTests) / sizeof(kTests[0]));
static_assert(kTestCount <= 32, "value table too small");

int KindOf(int flags) {
    const int kind = flags & 0x1F;
    return kind >= 2 && kind <= 5 ? kind : 1;
}

} // namespace

const char* const kModeNames[4] = {"Survey", "Leak Search", "Barhole", "R[seau Enqu]te"};
const char* const kModeCodes[4] = {"SUR", "LKS", "BHL", "RES"};

InstrumentTests::InstrumentTests(const InstrumentOptions& options) : m_uploadFlagDef(kTests[0]) {
    m_uploadFlagDef.letter = options.uploadFlagLetter;
    char line[160];
    std::snprintf(line, sizeof line, "V%d!\r\n", options.interfaceVersion);
    m_driverText = line;
    for (int i = 0; i < kTestCount; ++i) {
        const TestDef& t = kTests[i];
        char sensor[16];
        if (KindOf(t.flags) == 5)
            std::snprintf(sensor, sizeof sensor, "%c%d", t.perSensor ? 'S' : 'N', t.textLength);
        else
            std::snprintf(sensor, sizeof sensor, "%c", t.perSensor ? 'S' : 'N');
        std::snprintf(line, sizeof line, "%c%s!%d!%d!%s!\r\n", Def(i).letter, t.name, t.number,
                      t.flags, sensor);
        m_driverText += line;
    }

    for (auto& perTest : m_texts)
        for (auto& text : perTest)
            text.fill(0);
    const auto setText = [this](int number, int sensor, const char* text) {
        const int i = Find(number);
        WriteText(i, sensor, 0, text, static_cast<int>(std::strlen(text)));
    };
    for (int i = 0; i < kTestCount; ++i)
        if (Type(i) == 5)
            for (int s = 0; s < kSensorCount; ++s)
                WriteText(i, s, 0, "", 0);
    setText(kSerialNumberTest, 0, options.serialNumber.c_str());
    setText(21, 0, "4.12.0003");
    setText(22, 0, "NW-22817");
    setText(33, 0, "LEL pellist");
    setText(33, 1, "CO cell");
    setText(33, 2, "O2 cell");
    setText(33, 3, "H2S cell");
    SetValue(Find(14), 0, 412);
    SetValue(Find(15), 0, 0x31A2F4C0u);
    SetValue(Find(16), 0, 18734);
    SetValue(Find(17), 0, 7);
    const uint32_t readings[kSensorCount] = {0, 2, 209, 0};
    const uint32_t alarms[kSensorCount] = {100, 30, 195, 5};
    const uint32_t types[kSensorCount] = {0, 4, 3, 5};
    for (int s = 0; s < kSensorCount; ++s) {
        SetValue(Find(30), s, readings[s]);
        SetValue(Find(31), s, alarms[s]);
        SetValue(Find(32), s, types[s]);
    }
}

int InstrumentTests::Count() const {
    return kTestCount;
}

int InstrumentTests::Find(int number) const {
    for (int i = 0; i < kTestCount; ++i)
        if (kTests[i].number == number)
            return i;
    return -1;
}

const TestDef& InstrumentTests::Def(int index) const {
    return index == 0 ? m_uploadFlagDef : kTests[index];
}

int InstrumentTests::Type(int index) const {
    return KindOf(kTests[index].flags);
}

int InstrumentTests::NoBytes(int index) const {
    switch (Type(index)) {
    case 2:
        return 2;
    case 3:
    case 4:
        return 4;
    case 5:
        return kTests[index].textLength;
    default:
        return 1;
    }
}

uint32_t InstrumentTests::Value(int index, int sensor) const {
    if (index < 0 || index >= kTestCount || sensor < 0 || sensor >= kSensorCount)
        return 0;
    return m_values[static_cast<size_t>(index)][static_cast<size_t>(sensor)];
}

void InstrumentTests::SetValue(int index, int sensor, uint32_t value) {
    if (index < 0 || index >= kTestCount || sensor < 0 || sensor >= kSensorCount)
        return;
    m_values[static_cast<size_t>(index)][static_cast<size_t>(sensor)] = value;
}

const char* InstrumentTests::Text(int index, int sensor) const {
    if (index < 0 || index >= kTestCount || sensor < 0 || sensor >= kSensorCount)
        return "";
    return m_texts[static_cast<size_t>(index)][static_cast<size_t>(sensor)].data();
}

int InstrumentTests::WriteText(int index, int sensor, int offset, const char* text, int length) {
    if (index < 0 || index >= kTestCount || sensor < 0 || sensor >= kSensorCount || offset < 0)
        return 0;
    auto& field = m_texts[static_cast<size_t>(index)][static_cast<size_t>(sensor)];
    const int size = NoBytes(index) < kMaxTextLength ? NoBytes(index) : kMaxTextLength;
    // Unwritten characters of a text field hold blanks, as the instrument's display shows them.
    for (int i = 0; i < size; ++i)
        if (field[static_cast<size_t>(i)] == 0)
            field[static_cast<size_t>(i)] = ' ';
    int written = 0;
    for (int i = 0; i < length && offset + i < size; ++i, ++written)
        field[static_cast<size_t>(offset + i)] = text[i];
    field[static_cast<size_t>(size)] = 0;
    return written;
}

std::array<uint8_t, kConfigBlockSize> BuildConfigBlock() {
    std::array<uint8_t, kConfigBlockSize> block{};
    block[0] = 8; // layout version the host looks for
    // A plausible head: sensor count, gas codes of the fitted sensors, alarm levels.
    const uint8_t head[] = {4, 0, 4, 3, 5, 100, 0, 30, 0, 195, 0, 5, 0};
    std::memcpy(block.data() + 1, head, sizeof head);
    std::memcpy(block.data() + 20, "TAV-4120-078315", 15);
    for (int k = 0; k < 4; ++k)
        std::memcpy(block.data() + kModeNameOffsets[k], kModeNames[k], std::strlen(kModeNames[k]));
    return block;
}

} // namespace sim
