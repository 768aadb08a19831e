#include "ListingLine.h"

#include <QStringBuilder>
#include <QStringList>

#include "textcodec/Cp1252.h"

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

namespace {

const QLatin1String kModeMark("  mode ");
const QLatin1String kModeSeparator(", ");

} // namespace

bool AnyNamed(const QByteArray (&names)[4]) {
    for (const QByteArray& name : names) {
        if (!name.isEmpty()) {
            return true;
        }
    }
    return false;
}

QString NamedModes(const QString& modes, const QByteArray (&names)[4]) {
    if (modes.isEmpty() || !AnyNamed(names)) {
        return modes;
    }
    QStringList named;
    for (const QString& mode : modes.split(kModeSeparator)) {
        bool number = false;
        const int n = mode.startsWith(QLatin1String("mode ")) ? mode.mid(5).toInt(&number) : 0;
        const QString name = number && n >= 1 && n <= 4 && !names[n - 1].isEmpty()
                                 ? FromCp1252(names[n - 1].toStdString())
                                 : mode;
        if (!named.contains(name)) {
            named << name;
        }
    }
    return named.join(kModeSeparator);
}

QString NamedTail(const QString& tail, const QByteArray (&names)[4]) {
    const int start = tail.indexOf(kModeMark);
    if (start < 0 || !AnyNamed(names)) {
        return tail;
    }
    // The modes run to the jobs, the users or the end (MakeListingParts).
    const int from = start + kModeMark.size();
    int end = tail.size();
    for (const char* next : {"  job ", "  user "}) {
        const int at = tail.indexOf(QLatin1String(next), from);
        end = at >= 0 && at < end ? at : end;
    }
    return tail.left(from) + NamedModes(tail.mid(from, end - from), names) + tail.mid(end);
}

} // namespace archive
