#pragma once

#include <cstdint>

class LineBuffer;

constexpr int kValueTextSize = 20;

// One raw reading as its fixed-width column text by the scale of its gas code: whole units
// ("%4d    ", "EEEE    " for the over-range value 10000), tenths ("%2d.%01d    ", whole numbers
// from 100 up) or hundredths rounded half up to tenths.
void FormatReading(int16_t value, int32_t scale, char (&text)[kValueTextSize]);

// The scale of a sensor code in calibration, zero and bump lists; codes beyond the gas table
// count in whole units.
int32_t SensorScale(unsigned code);

// The 25-character sensor label: two blanks, the sensor's range (or "Sensor " and the code for a
// code beyond the table) and blanks up to the width.
void AppendSensorLabel(LineBuffer& line, unsigned code);
