#pragma once

#include "report/SessionValues.h"

#include <QString>
#include <QStringList>

#include <vector>

// One name for each number a record's reading line holds, so that sensors of the same gas and
// unit never share a column, a property or an element, and the numbers a timed reading prints
// after its gases have names a user can find again in the report.

// A number of the reading line, in the report's order: the gases first, then the extra readings.
struct NamedReading {
    QString Name;
    bool Extra = false; // one of the five readings after a timed reading's list
    // The instrument's over-range mark (the report's EEEE): no number, Text empty.
    bool OverRange = false;
    QString Text;       // the number in its unit with the decimals its scale gives ("2.5", "30")
    double Value = 0.0; // the same as a number
};

// The gas readings are named by their gas heading and, from the second reading of a heading on,
// its count among that heading's readings ("CO (ppm)", "CO (ppm) 2"); the extra readings by
// their place after the gases ("extra reading 1" to "extra reading 5").
std::vector<NamedReading> NamedReadings(const RecordValue& record);
// The name of the extra reading at index 0 to 4.
QString ExtraReadingName(int index);
// "CO (ppm); extra reading 5": the names of the readings over range, empty when none.
QString OverRangeText(const std::vector<NamedReading>& readings);

// The gas reading columns of a whole file: every name any of its records gives a gas reading, in
// the instrument's order. A name new to the list goes right after the name before it in its
// record, so a record that reads only some of the sensors (a survey) never moves the others.
class SensorColumns {
public:
    void Add(const std::vector<NamedReading>& readings);
    const QStringList& Names() const { return m_names; }

private:
    QStringList m_names;
};
