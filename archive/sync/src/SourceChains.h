#pragma once

#include <QString>

#include "SyncInstruments.h"

class QSqlDatabase;

namespace archive {

// Whether every chain of a sync's source that the sync takes, or takes bytes by, holds row by row
// as verify checks it: the source's own and each other archive's it holds (but the target's own,
// which the target keeps itself and never takes), numbered without a gap, each row following the
// one before, matching its own hash, its list of sessions readable, and (`signing`) signed as its
// chain's keys say. A row that does not would pass into the target as what its archive wrote, and
// the source's bytes be taken by what it records. False with `unverified` set and `error` naming
// the source, the chain and its first bad row; else false only when a chain cannot be read.
bool SourceChainsHold(QSqlDatabase& sourceDb, bool signing, const SyncParty& source,
                      const QString& targetIdentity, bool& unverified, QString& error);

} // namespace archive
