#include "ListingLine.h"

#include <QStringBuilder>
#include <QStringList>

#include "report/SessionValues.h"
#include "textcodec/Cp1252.h"

namespace archive {

SessionTags ListedTags(const QByteArray& name, int alarmCount) {
    SessionTags tags = TagsOfName(name.constData(), static_cast<size_t>(name.size()));
    tags.alarm = tags.alarm || alarmCount > 0;
    return tags;
}

ListingParts MakeListingParts(int slot, bool dated, const SessionTags& tags, bool complete,
                              const SessionSummary& m) {
    QStringList words;
    for (const std::string& word : TagWords(tags)) {
        words << QString::fromStdString(word);
    }
    if (!complete) {
        words << QStringLiteral("open");
    }
    ListingParts parts;
    parts.head = (dated ? m.day : QStringLiteral("undated")).leftJustified(10) % QLatin1Char(' ') %
                 m.startTime.rightJustified(8) % QLatin1Char('-') % m.endTime.leftJustified(8);
    parts.tail = QLatin1String("slot ") % QString::number(slot).rightJustified(3) %
                 QLatin1String("  ") % words.join(QLatin1Char(',')).leftJustified(12);
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
    // The archive's id said as such, as the slot is: "id 57", never a bare number.
    const QString line = QString(QLatin1String("id ") % QString::number(id)).leftJustified(9) %
                         QLatin1String("  ") % head % QLatin1String("  ") % instrument %
                         QLatin1String("  ") % tail;
    return line.trimmed();
}

namespace {

const QLatin1String kModeMark("  mode ");
const QLatin1String kModeSeparator(", ");
// Between a kept mode's word and its number; never shown, as a listing names every mode.
const QChar kNumberMark(0x1F);

// The word a kept mode was told by, and its number (0: none).
QString ToldMode(const QString& kept, unsigned& number) {
    bool ok = false;
    const int mark = kept.size() - 2;
    if (mark >= 0 && kept.at(mark) == kNumberMark) {
        number = kept.mid(mark + 1).toUInt(&ok);
        number = ok ? number : 0;
        return kept.left(mark);
    }
    number = kept.startsWith(QLatin1String("mode ")) ? kept.mid(5).toUInt(&ok) : 0;
    number = ok ? number : 0;
    return kept;
}

QString ModeCalled(const QString& kept, const std::string (&names)[4]) {
    unsigned number = 0;
    const QString told = ToldMode(kept, number);
    // The report's own choice: a name of the instrument's where it applies, else the told word.
    static const std::string kTold;
    const std::string& name = ModeName(names, number, kTold);
    return name.empty() ? told : FromCp1252(name);
}

// Whether a listing's modes read as kept: no name to give and no number to drop.
bool ReadAsKept(const QString& modes, const QByteArray (&names)[4]) {
    return !AnyNamed(names) && !modes.contains(kNumberMark);
}

} // namespace

QString KeptMode(const QString& told, unsigned number) {
    return number >= 1 && number <= 4 ? told + kNumberMark + QString::number(number) : told;
}

bool AnyNamed(const QByteArray (&names)[4]) {
    for (const QByteArray& name : names) {
        if (!name.isEmpty()) {
            return true;
        }
    }
    return false;
}

QString NamedModes(const QString& modes, const QByteArray (&names)[4]) {
    if (modes.isEmpty() || ReadAsKept(modes, names)) {
        return modes;
    }
    const std::string modeNames[4] = {names[0].toStdString(), names[1].toStdString(),
                                      names[2].toStdString(), names[3].toStdString()};
    QStringList named;
    for (const QString& mode : modes.split(kModeSeparator)) {
        const QString name = ModeCalled(mode, modeNames);
        if (!named.contains(name)) {
            named << name;
        }
    }
    return named.join(kModeSeparator);
}

QString NamedTail(const QString& tail, const QByteArray (&names)[4]) {
    const int start = tail.indexOf(kModeMark);
    if (start < 0 || ReadAsKept(tail, names)) {
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
