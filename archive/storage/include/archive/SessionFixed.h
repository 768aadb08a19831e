#pragma once

#include <QString>

#include "archive/HistoryRow.h"

class QSqlDatabase;

namespace archive {

// Whether a session's bytes are fixed: the history decides, as verify holds it to, not the
// `complete` column, which no hash covers and anyone who can write the database can change. A
// session its chain last stated `finished` is fixed whatever the column says, one last stated
// `open` may still grow; only where no line states it (rows written before states were, or no row
// yet) does the column say. The one rule every writer asks before it lets a session's bytes grow,
// and before it records the session's state.
bool FixedBy(SessionState lastStated, bool complete);

// The same for a session of this archive, from the newest rows of its own chain that name it
// (not the whole history: a download asks it of one session). `complete`: its column.
bool SessionFixed(QSqlDatabase& db, qint64 session, bool complete, bool& fixed, QString& error);

} // namespace archive
