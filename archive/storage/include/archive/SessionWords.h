#pragma once

#include <QString>

class QSqlDatabase;

namespace archive {

// How a message names a session: "session 201 (van 7, 2024-03-04 08:15:02)", by its instrument
// and its start as `archive list` shows them ("undated 00:12:40" for a session without a date).
QString SessionWords(qint64 id, const QString& instrument, bool dated, const QString& day,
                     const QString& start);

// What SessionWords takes, as columns of a query on sessions `s` joined with their instruments
// `i`: the instrument's label, dated, day and start time, in that order.
QString SessionWordsColumns();

// The same, read from the archive's row of `session`.
bool DescribeSession(QSqlDatabase& db, qint64 session, QString& words, QString& error);

} // namespace archive
