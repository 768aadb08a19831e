#include "ListingLine.h"

#include <QStringBuilder>
#include <QStringList>

namespace archive {

ListingParts MakeListingParts(int slot, bool dated, bool alarm, bool calibration, bool complete,
                              const SessionSummary& m) {
    QStringList tags;
    if (alarm || m.alarmCount > 0) {
        tags << QStringLiteral("Alm");
    }
    if (calibration) {
        tags << QStringLiteral("Cal");
    }
    if (!complete) {
        tags << QStringLiteral("open");
    }
    ListingParts parts;
    parts.head = (dated ? m.day : QStringLiteral("undated")).leftJustified(10) % QLatin1Char(' ') %
                 m.startTime.rightJustified(8) % QLatin1Char('-') % m.endTime.leftJustified(8);
    parts.tail = QLatin1String("slot ") % QString::number(slot).rightJustified(3) %
                 QLatin1String("  ") % tags.join(QLatin1Char(',')).leftJustified(12);
    if (!m.mode.isEmpty()) {
        parts.tail += QLatin1String("  mode ") % m.mode;
    }
    if (!m.jobs.isEmpty()) {
        parts.tail += QLatin1String("  job ") % m.jobs.join(QLatin1String(", "));
    }
    if (!m.users.isEmpty()) {
        parts.tail += QLatin1String("  user ") % m.users.join(QLatin1String(", "));
    }
    return parts;
}

QString ListingLine(qint64 id, const QString& instrument, const QString& head,
                    const QString& tail) {
    const QString line = QString::number(id).rightJustified(6) % QLatin1String("  ") % head %
                         QLatin1String("  ") % instrument % QLatin1String("  ") % tail;
    return line.trimmed();
}

} // namespace archive
