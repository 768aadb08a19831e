#pragma once

#include "export/RecordText.h"
#include "report/SessionValues.h"

#include <QString>
#include <QStringList>

// The texts every export format takes from a record, in one place so that a CSV row, a GeoJSON
// feature and a GPX waypoint of the same record say the same.

// "2026-12-07T09:20:30Z": the same moment in UTC.
QString UtcText(const RecordValue& record);

// The column heading of a gas: its name and, where known, its unit ("CO (ppm)").
QString GasHeading(unsigned code);
// A reading in its unit with the decimals its scale gives ("2.5", "30", "2.55").
QString ReadingText(const GasReading& reading);
// A sensor of a calibration, zero, bump test or field calibration as four cells: its gas, its
// result ("PASS", "FAIL", "Not Tested", empty where the record carries none) and its values as the
// record holds them (a bump test has one; a sensor not tested shows none).
struct TestedSensorCells {
    QString Gas;
    QString Result;
    QString Value;
    QString SecondValue;
};
TestedSensorCells TestedSensorText(const SensorValue& sensor);
// Decimal degrees with seven decimals (about a centimetre).
QString DegreesText(double degrees);

// What the record says beyond its time, kind, mode, readings, test results and position: the
// alarm's gas, job number, user, free text, barhole figures, ...
QString DetailText(const RecordValue& record);
// The mode in effect, as Unicode.
QString ModeText(const RecordValue& record);

// The instrument of session `index` (empty where none is named), and whether any is named.
QString InstrumentOf(const QStringList& instruments, size_t index);
bool NamesAny(const QStringList& instruments);

// Whether the record has a position on the map.
inline bool Located(const RecordValue& record) {
    return record.HasGps && record.Gps.Located();
}
