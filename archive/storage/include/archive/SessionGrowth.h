#pragma once

#include <QByteArray>

namespace archive {

// How long the stream a sector holds is: an instrument still recording leaves the rest erased
// (0xFF).
int UsedLength(const QByteArray& sector);

// `longer` holds everything `shorter` held, and more: the same session, grown since. The whole
// stream of `shorter` is the start of `longer`'s, and `longer`'s goes on after it. Only a session
// the instrument still had open may grow; whether it had is the caller's to know.
bool Extends(const QByteArray& longer, const QByteArray& shorter);

// A session's bytes grown from (`oldName`, `oldSector`) to (`newName`, `newSector`): the same index
// name, and the new sector extends the old. The one rule of growth the writers, the sync and
// verify ask.
bool Grows(const QByteArray& oldName, const QByteArray& oldSector, const QByteArray& newName,
           const QByteArray& newSector);

} // namespace archive
