#include "ValueFormat.h"

#include "GasTables.h"
#include "LineBuffer.h"
#include "report/SessionValues.h"

#include <cstdio>
#include <cstring>

// Column texts are a number and four blanks: "%4d    " or "%2d.%01d    ".
void FormatReading(int16_t value, int32_t scale, char (&text)[kValueTextSize]) {
    int v = value;
    int length = 0;
    if (scale == 100) {
        const int w = (v + 5) / 10;
        length = WriteInt(text, w / 10, 2);
        text[length++] = '.';
        length += WriteInt(text + length, w % 10, 1);
    } else if (scale == 10) {
        if (v < 0) {
            v = 0;
        }
        if (v >= 1000) {
            length = WriteInt(text, v / 10, 4);
        } else {
            length = WriteInt(text, v / 10, 2);
            text[length++] = '.';
            length += WriteInt(text + length, v % 10, 1);
        }
    } else if (OverRangeMark(v, scale)) {
        std::memcpy(text, "EEEE", 4);
        length = 4;
    } else {
        length = WriteInt(text, v < 0 ? 0 : v, 4);
    }
    std::memcpy(text + length, "    ", 5);
}

int32_t SensorScale(unsigned code) {
    return code < static_cast<unsigned>(kGasCodeCount) ? GasCodeTable[code].Scale : 1;
}

void AppendSensorLabel(LineBuffer& line, unsigned code) {
    constexpr size_t kWidth = 25;
    char label[64];
    if (code < static_cast<unsigned>(kGasCodeCount)) {
        std::snprintf(label, sizeof label, "  %s                 ", SensorRangeTable[code]);
    } else {
        std::snprintf(label, sizeof label, "  Sensor %u                 ", code);
    }
    size_t length = std::strlen(label);
    // Every label takes the full width, even the empty range of code 13.
    while (length < kWidth) {
        label[length++] = ' ';
    }
    line.Append(label, kWidth);
}
