#pragma once

#include <cstdint>

// Gas codes 0 to 15: the column name of a reading and the unit in which the instrument stores it
// (1 whole units, 10 tenths, 100 hundredths).
struct GasCode {
    char Name[5];
    int32_t Scale;
};
constexpr int kGasCodeCount = 16;
extern const GasCode GasCodeTable[kGasCodeCount];

// Sensor ranges by the same code, labelling sensors in calibration, zero, bump and field-cal lines.
extern const char SensorRangeTable[kGasCodeCount][20];

// Place tables of the manual reading's second version.
constexpr int kLocationCount = 7;
constexpr int kPositionCount = 5;
constexpr int kRoomCount = 14;
constexpr int kReadingPointCount = 14;
extern const char LocationNames[kLocationCount][20];
extern const char PositionNames[kPositionCount][20];
extern const char RoomNames[kRoomCount][20];
extern const char ReadingPointNames[kReadingPointCount][20];
