#pragma once

// How every view but the RTF report numbers and names the sensors of the instrument's tests (the
// exports, the register's tables and events, the Instruments window, the compliance pack). The
// instrument counts its sensors from 1. Its calibration, zero, bump-test and field-calibration
// records name each sensor by its gas code, in the instrument's order, and may leave some out (a
// calibration of only the sensors it adjusts): a sensor's number is its place in that order as
// the records at hand show it, its name its gas. The gas code is never shown as a number: it
// would read as a sensor's number and say another one than the exports.

#include "report/SessionValues.h"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// "CO", "LEL": the gas as the report's column headings name it; "gas 20" for a code beyond the
// gas table.
std::string SensorGasName(unsigned code);

// The order of an instrument's sensors, learnt from its test records.
class SensorOrder {
public:
    // One test record's sensors, by gas code in the record's order (or another order learnt
    // elsewhere). A sensor new to the order goes right after the one before it in the record;
    // with none before it, right before the next one the order holds; with neither, last. So a
    // record that lists only some sensors never moves the others. A gas listed twice in a record
    // is two sensors: its first and its second of that gas.
    void Add(const std::vector<int>& codes);
    void Add(const std::vector<SensorValue>& sensors);

    // The number, counted from 1, of the `occurrence`-th sensor (0: the first) of gas `code`;
    // 0 where the order holds none.
    int Number(int code, int occurrence = 0) const;
    // The number of each of a record's sensors, in the record's order (0 for a sensor the order
    // was never given).
    std::vector<int> Numbers(const std::vector<SensorValue>& sensors) const;

    size_t Count() const { return m_sensors.size(); }
    // The gas codes in order, each gas once (its first sensor's place).
    std::vector<int> Gases() const;

private:
    // Each sensor as its gas code and its count among the sensors of that gas before it.
    using Sensor = std::pair<int, int>;
    static std::vector<Sensor> Counted(const std::vector<int>& codes);
    std::vector<Sensor> m_sensors;
};
