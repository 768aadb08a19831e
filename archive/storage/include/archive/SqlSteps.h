#pragma once

#include <QString>
#include <QVariant>
#include <initializer_list>

class QSqlDatabase;
class QSqlError;
class QSqlQuery;

namespace archive {

// Why the database refused a statement, in its own words (SQLite's message, or the server's), on
// one line: Qt's words for the step that failed ("Unable to execute statement") only where it gave
// none. What was being done is the caller's to say, before it and a colon.
QString DatabaseSaid(const QSqlError& error);

// Runs one statement without parameters; false with the database's message.
bool Exec(QSqlDatabase& db, const QString& statement, QString& error);
// Runs a prepared query; false with the database's message.
bool Run(QSqlQuery& query, QString& error);
// Prepares the statement, binds the values in order and runs it.
bool Run(QSqlQuery& query, const QString& statement, std::initializer_list<QVariant> values,
         QString& error);

// A write transaction that is rolled back unless committed. SQLite takes its write lock at the
// start (BEGIN IMMEDIATE), so two writers queue on the busy timeout instead of one failing when
// it upgrades from reading to writing.
class SqlTransaction {
public:
    SqlTransaction(QSqlDatabase& db, bool server);
    ~SqlTransaction();
    SqlTransaction(const SqlTransaction&) = delete;
    SqlTransaction& operator=(const SqlTransaction&) = delete;

    bool Begun(QString& error);
    bool Commit(QString& error);

private:
    QSqlDatabase& m_db;
    bool m_server;
    bool m_open = false;
};

} // namespace archive
