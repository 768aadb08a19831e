// How the archive's messages name a session, the same in every one of them.
#include "archive/SessionWords.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include "archive/ArchiveValues.h"
#include "archive/SqlSteps.h"
#include "report/SessionName.h"

namespace archive {

QString SessionWords(qint64 id, const QString& instrument, bool dated, const QString& day,
                     const QString& start) {
    const std::string called = SessionCalled(
        {instrument.toStdString(), dated ? day.toStdString() : std::string(), start.toStdString()});
    return QString("session %1 (%2)").arg(QString::number(id), QString::fromStdString(called));
}

QString SessionWordsColumns() {
    return InstrumentLabel() + ", s.dated, s.day, s.start_time";
}

bool DescribeSession(QSqlDatabase& db, qint64 session, QString& words, QString& error) {
    QSqlQuery query(db);
    if (!Run(query,
             "SELECT " + SessionWordsColumns() +
                 " FROM sessions s JOIN instruments i ON i.id = s.instrument_id WHERE s.id = ?",
             {session}, error)) {
        return false;
    }
    if (!query.next()) {
        error = "the archive holds no session " + QString::number(session);
        return false;
    }
    words = SessionWords(session, query.value(0).toString(), query.value(1).toInt() != 0,
                         query.value(2).toString(), query.value(3).toString());
    // An open statement would hold SQLite's read snapshot into the caller's writes.
    query.finish();
    return true;
}

} // namespace archive
