#pragma once

#include "report/SessionValues.h"

#include <QString>
#include <QStringList>

// One name for each sensor position, so that sensors of the same gas and unit never share a
// column, a property or an element.

// The names of a record's readings, in its order: the gas heading, and from the second reading of
// a heading on, its count among that heading's readings ("CO (ppm)", "CO (ppm) 2").
QStringList ReadingNames(const RecordValue& record);

// The reading columns of a whole file: every name any of its records gives a reading, in the
// instrument's order. A name new to the list goes right after the name before it in its record, so
// a record that reads only some of the sensors (a survey) never moves the others.
class SensorColumns {
public:
    void Add(const QStringList& names);
    const QStringList& Names() const { return m_names; }
    // The column of a name Add has taken; -1 for any other.
    int IndexOf(const QString& name) const { return static_cast<int>(m_names.indexOf(name)); }

private:
    QStringList m_names;
};
