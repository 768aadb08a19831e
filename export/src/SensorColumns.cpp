#include "SensorColumns.h"

#include "RecordFields.h"
#include "export/RecordText.h"

std::vector<NamedReading> NamedReadings(const RecordValue& record) {
    std::vector<NamedReading> named;
    named.reserve(record.Readings.size() + static_cast<size_t>(record.ExtraCount));
    QStringList headings;
    for (const GasReading& reading : record.Readings) {
        const QString heading = GasHeading(reading.Code);
        const qsizetype count = headings.count(heading) + 1;
        headings << heading;
        NamedReading entry;
        entry.Name = count == 1 ? heading : heading + QLatin1Char(' ') + QString::number(count);
        entry.OverRange = reading.OverRange();
        if (!entry.OverRange) {
            entry.Text = ReadingText(reading);
            entry.Value = reading.Value();
        }
        named.push_back(entry);
    }
    for (int32_t i = 0; i < record.ExtraCount && i < RecordValue::kExtraCount; ++i) {
        NamedReading entry;
        entry.Name = ExtraReadingName(i);
        entry.Extra = true;
        entry.OverRange = OverRangeMark(record.Extra[i], 1);
        if (!entry.OverRange) {
            entry.Text = QString::number(record.Extra[i]);
            entry.Value = record.Extra[i];
        }
        named.push_back(entry);
    }
    return named;
}

QString ExtraReadingName(int index) {
    // Nothing in the record says what these measure: their place after the gases is what a user
    // matches with the report's line.
    return QStringLiteral("extra reading %1").arg(index + 1);
}

QString OverRangeText(const std::vector<NamedReading>& readings) {
    QStringList names;
    for (const NamedReading& reading : readings) {
        if (reading.OverRange) {
            names << reading.Name;
        }
    }
    return names.join(QStringLiteral("; "));
}

void SensorColumns::Add(const std::vector<NamedReading>& readings) {
    qsizetype before = -1;
    for (const NamedReading& reading : readings) {
        if (reading.Extra) {
            continue;
        }
        const qsizetype index = m_names.indexOf(reading.Name);
        if (index >= 0) {
            before = index;
        } else {
            m_names.insert(++before, reading.Name);
        }
    }
}

QString ReadingsText(const RecordValue& record) {
    QStringList parts;
    const std::vector<NamedReading> named = NamedReadings(record);
    for (size_t i = 0; i < named.size(); ++i) {
        const NamedReading& reading = named[i];
        const GasInfo* gas = reading.Extra ? nullptr : &GasInfoOf(record.Readings[i].Code);
        QString part = gas != nullptr ? QLatin1String(gas->Name) : reading.Name;
        if (reading.OverRange) {
            parts << part + QStringLiteral(" over range");
            continue;
        }
        part += QLatin1Char(' ') + reading.Text;
        if (gas != nullptr && gas->Unit[0] != '\0') {
            part += QLatin1Char(' ') + QLatin1String(gas->Unit);
        }
        parts << part;
    }
    return parts.join(QStringLiteral(", "));
}
