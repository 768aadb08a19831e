#pragma once

#include <QString>
#include <QStringList>

namespace archive {

class SessionArchive;

// A row of an archive's own history and the hash it carries, kept outside the archive: printed
// in a compliance pack, given by `archive head`, checked by `verify --head`. Deleting the newest
// rows (with what they recorded) leaves a chain that is whole in itself; only a head pinned
// before, or another archive that recorded it at a sync, shows that rows are gone.
struct PinnedHead {
    qint64 row = 0; // 0: a history without rows
    QString hash;   // 64 lower-case hex digits
};

// The archive's own head as it stands, or with `until` (milliseconds since 1970, UTC) as it
// stood then: the newest row written before it. Row 0 when there is none.
bool OwnHead(SessionArchive& archive, PinnedHead& head, QString& error, qint64 until = 0);

// The one text of a head every view gives: "ROW:HASH" as verify --head takes it and a pack
// prints it (`between` ':'), "ROW HASH" as `archive head` prints it (' ').
QString HeadText(const PinnedHead& head, QChar between = ':');

// Reads "ROW:HASH" (ROW from 1, HASH 64 hex digits in either case); false when it is not that.
bool ParsePinnedHead(const QString& text, PinnedHead& head);

// Whether the archive's own history still holds `pinned` as it was: one line added to
// `mismatches` for a history that ends before it ("the history ends at row 54, before the pinned
// head 57:HASH: rows were deleted"), the pinned row missing where later rows are there, or a row
// carrying another hash there. False with `error` when the history cannot be read.
bool CheckPinnedHead(SessionArchive& archive, const PinnedHead& pinned, QStringList& mismatches,
                     QString& error);

} // namespace archive
