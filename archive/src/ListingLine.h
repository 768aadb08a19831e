#pragma once

#include <QByteArray>
#include <QString>

#include "archive/SessionSummary.h"

namespace archive {

// A session's line in `tavon-datalog archive list`:
//     ID  DAY START-END  INSTRUMENT  slot N  TAGS  mode M  job J  user U
// The parts around the instrument's name are kept in the session's row when it is stored, so
// that a listing of tens of thousands of sessions reads three texts a line, not every column.
struct ListingParts {
    QString head; // day, start and end
    QString tail; // slot, tags (Alm, Cal, open), mode, jobs, users
};

ListingParts MakeListingParts(int slot, bool dated, bool alarm, bool calibration, bool complete,
                              const SessionSummary& summary);

// The whole line, without its line break; the instrument's name is read at listing time, as it
// may be renamed.
QString ListingLine(qint64 id, const QString& instrument, const QString& head, const QString& tail);

// The modes a summary keeps ("mode 3, LEK": a numbered mode is kept as the decoders call one
// without a name, since a dump holds no names) with each numbered one that the instrument names
// (`names`: its kept mode names, in its code page) called by that name, as its report calls it.
QString NamedModes(const QString& modes, const QByteArray (&names)[4]);
// A line's tail (ListingParts) with its modes named so.
QString NamedTail(const QString& tail, const QByteArray (&names)[4]);
// True when any of the four is named.
bool AnyNamed(const QByteArray (&names)[4]);

} // namespace archive
