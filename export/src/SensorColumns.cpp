#include "SensorColumns.h"

#include "RecordFields.h"

QStringList ReadingNames(const RecordValue& record) {
    QStringList headings;
    QStringList names;
    for (const GasReading& reading : record.Readings) {
        const QString heading = GasHeading(reading.Code);
        const qsizetype count = headings.count(heading) + 1;
        headings << heading;
        names << (count == 1 ? heading : heading + QLatin1Char(' ') + QString::number(count));
    }
    return names;
}

void SensorColumns::Add(const QStringList& names) {
    qsizetype before = -1;
    for (const QString& name : names) {
        const qsizetype index = m_names.indexOf(name);
        if (index >= 0) {
            before = index;
        } else {
            m_names.insert(++before, name);
        }
    }
}
