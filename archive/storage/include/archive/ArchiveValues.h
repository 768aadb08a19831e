#pragma once

#include <QByteArray>
#include <QString>

namespace archive {

// Milliseconds since 1970, UTC: when a row was written.
qint64 Now();

// A new instrument's identity of its own: made once, where it is first archived, and carried by
// every sync.
QString NewInstrumentUid();

// Qt binds a null byte array or text as SQL NULL; an empty one must stay an empty value.
QByteArray Bytes(const QByteArray& bytes);
QString Text(const QString& text);

// The four mode names in one column, each ended by a zero byte.
QByteArray JoinedNames(const QByteArray (&names)[4]);
void SplitNames(const QByteArray& joined, QByteArray (&names)[4]);

// SQL for what the archive calls the instrument of the instruments row `i`: the name the user gave
// it, else its serial number, else "unnamed" and the row's number; never its fingerprint.
QString InstrumentLabel();
// SQL that holds for the instruments row `i` that a user's word names: its label, its serial
// number or its fingerprint (the word bound three times).
QString InstrumentNamed();

// The source of the downloads row a sync makes for what it takes from the archive `words`; such
// rows are no download or import of this archive's own, and `archive stats` leaves them out.
QString SyncDownloadSource(const QString& words);
// SQL that holds for a downloads row `d` that a sync made.
QString MadeBySync();

} // namespace archive
