// Whether a session may still grow: what its history last stated of it, never the column beside
// it that no hash covers.
#include "archive/SessionFixed.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>
#include <limits>

#include "archive/HistoryChain.h"
#include "archive/SqlSteps.h"

namespace archive {

bool FixedBy(SessionState lastStated, bool complete) {
    switch (lastStated) {
    case SessionState::Finished:
        return true;
    case SessionState::Open:
        return false;
    case SessionState::Unstated:
    case SessionState::Copy:
        break;
    }
    return complete;
}

bool SessionFixed(QSqlDatabase& db, qint64 session, bool complete, bool& fixed, QString& error) {
    const QString id = QString::number(session);
    QSqlQuery query(db);
    query.setForwardOnly(true);
    // Newest first, one row at a time: the newest row naming it nearly always says. A line of a
    // session begins its line ("ID SHA256 ..."); an index upload's begins with "index".
    qint64 before = std::numeric_limits<qint64>::max();
    for (;;) {
        if (!Run(query,
                 "SELECT seq, sessions FROM archive_history WHERE seq < ? AND (sessions LIKE ?"
                 " OR sessions LIKE ?) ORDER BY seq DESC LIMIT 1",
                 {before, id + " %", "%\n" + id + " %"}, error)) {
            return false;
        }
        if (!query.next()) {
            fixed = FixedBy(SessionState::Unstated, complete);
            return true;
        }
        before = query.value(0).toLongLong();
        const QString text = query.value(1).toString();
        // An open statement would hold SQLite's read snapshot into the caller's writes.
        query.finish();
        QVector<HistorySession> lines;
        QVector<HistorySession> uploads;
        // A row whose list cannot be read (verify names it) says nothing of the session, and
        // one naming it only as a copy says nothing of its bytes: the rows before it say. Its
        // bytes now come last in a row.
        if (ParseSessionsText(text, lines, uploads)) {
            for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
                if (line->id == session && line->state != SessionState::Copy) {
                    fixed = FixedBy(line->state, complete);
                    return true;
                }
            }
        }
    }
}

} // namespace archive
