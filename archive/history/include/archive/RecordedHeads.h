#pragma once

#include <QString>
#include <QVector>
#include <vector>

namespace archive {

// A history's newest row as another archive's row records it: "row 12, HASH", or "empty".
QString HeadWords(qint64 seq, const QString& hash);

// What "its history's head row 12, HASH" after "(identity ID)" in a sync's row records of the
// other archive: written by a sync on both sides, read by a verify against that archive. The
// row's text is hashed into this archive's chain, so a head cannot be changed unnoticed.
struct RecordedHead {
    QString identity;
    qint64 seq = 0;
    QString hash;
    qint64 row = 0; // the row of this archive's own history that recorded it
};

// How a sync's row records an archive's head: "PARTY, its history's head row 12, HASH", `party`
// ending "(identity ID)" as a sync's party is named and `head` as HeadWords gives it. Every sync
// row that names a head writes it so, and ParseRecordedHead reads it back.
QString RecordedHeadText(const QString& party, const QString& head);

// Every head a row's text records, in its order (a row taking other archives' chains records one
// for each).
QVector<RecordedHead> RecordedHeadsIn(const QString& detail);

// The head a sync's row text records, if it records one.
bool ParseRecordedHead(const QString& detail, RecordedHead& head);

} // namespace archive
