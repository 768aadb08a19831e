#include "ValueFormat.h"

#include "GasTables.h"
#include "LineBuffer.h"

#include <cstdio>
#include <cstring>

void FormatReading(int16_t value, int32_t scale, char (&text)[kValueTextSize]) {
    int v = value;
    if (scale == 100) {
        const int w = (v + 5) / 10;
        std::snprintf(text, sizeof text, "%2d.%01d    ", w / 10, w % 10);
    } else if (scale == 10) {
        if (v < 0) {
            v = 0;
        }
        if (v >= 1000) {
            std::snprintf(text, sizeof text, "%4d    ", v / 10);
        } else {
            std::snprintf(text, sizeof text, "%2d.%01d    ", v / 10, v % 10);
        }
    } else {
        if (v < 0) {
            std::snprintf(text, sizeof text, "%4d    ", 0);
        } else if (v == 10000) {
            std::snprintf(text, sizeof text, "EEEE    ");
        } else {
            std::snprintf(text, sizeof text, "%4d    ", v);
        }
    }
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
