#pragma once

#include <QString>

#include "SyncInstruments.h"

class QSqlDatabase;

namespace archive {

// Whether the history chains both archives of a sync hold agree: each chain held on both sides (the
// source's own, the target's own, a third archive's) must be the same rows up to the shorter of
// the two, and neither archive may hold fewer of its own rows than the other took of them. A copy
// of an archive (restored from a backup, or a file copied) keeps its identity while its history
// goes another way: syncing it would leave the target's copy of that chain broken for good. False
// with `error` saying which archive and what to do (`diverged`), or that a chain could not be read.
bool ChainsAgree(QSqlDatabase& sourceDb, QSqlDatabase& targetDb, const SyncParty& source,
                 const SyncParty& target, bool& diverged, QString& error);

} // namespace archive
