#pragma once

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

} // namespace archive
