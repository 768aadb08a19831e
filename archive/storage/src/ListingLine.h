#pragma once

#include <QByteArray>
#include <QString>

#include "archive/SessionSummary.h"
#include "core/SessionTags.h"

namespace archive {

// A session's line in `tavon-datalog archive list`:
//     id ID  DAY START-END  INSTRUMENT  slot N  TAGS  mode M  job J  user U
// The parts around the instrument's name are kept in the session's row when it is stored, so
// that a listing of tens of thousands of sessions reads three texts a line, not every column.
struct ListingParts {
    QString head; // day, start and end
    QString tail; // slot, tags (FC, C, Alm, (cont), open), mode, jobs, users
};

// The tags the archive shows a session with: those of its index name (`name`, as stored), with
// "Alm" also for a session whose records hold an alarm, as the archive's alarm search finds it.
SessionTags ListedTags(const QByteArray& name, int alarmCount);

ListingParts MakeListingParts(int slot, bool dated, const SessionTags& tags, bool complete,
                              const SessionSummary& summary);

// The whole line, without its line break; the instrument's name is read at listing time, as it
// may be renamed.
QString ListingLine(qint64 id, const QString& instrument, const QString& head, const QString& tail);

// How a summary keeps a mode (a dump holds no names): as a record without names tells it ("mode
// 3", "LEK"), and for the one a session was switched on in, the number it has (the first), so
// that the instrument's name for it is known later.
QString KeptMode(const QString& told, unsigned number);
// The modes a summary keeps, each called as its report calls it (ModeName), with the instrument's
// kept mode names (`names`, in its code page; all empty where it told none).
QString NamedModes(const QString& modes, const QByteArray (&names)[4]);
// A line's tail (ListingParts) with its modes named so.
QString NamedTail(const QString& tail, const QByteArray (&names)[4]);
// True when any of the four is named.
bool AnyNamed(const QByteArray (&names)[4]);

} // namespace archive
