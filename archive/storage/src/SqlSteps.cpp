#include "archive/SqlSteps.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace archive {

QString DatabaseSaid(const QSqlError& error) {
    return (error.databaseText().isEmpty() ? error.driverText() : error.databaseText())
        .simplified();
}

bool Exec(QSqlDatabase& db, const QString& statement, QString& error) {
    QSqlQuery query(db);
    if (!query.exec(statement)) {
        error = DatabaseSaid(query.lastError());
        return false;
    }
    return true;
}

bool Run(QSqlQuery& query, QString& error) {
    if (!query.exec()) {
        error = DatabaseSaid(query.lastError());
        return false;
    }
    return true;
}

bool Run(QSqlQuery& query, const QString& statement, std::initializer_list<QVariant> values,
         QString& error) {
    if (!query.prepare(statement)) {
        error = DatabaseSaid(query.lastError());
        return false;
    }
    for (const QVariant& value : values) {
        query.addBindValue(value);
    }
    return Run(query, error);
}

SqlTransaction::SqlTransaction(QSqlDatabase& db, bool server) : m_db(db), m_server(server) {}

SqlTransaction::~SqlTransaction() {
    if (m_open) {
        QString ignored;
        Exec(m_db, "ROLLBACK", ignored);
    }
}

bool SqlTransaction::Begun(QString& error) {
    m_open = Exec(m_db, m_server ? "BEGIN" : "BEGIN IMMEDIATE", error);
    return m_open;
}

bool SqlTransaction::Commit(QString& error) {
    m_open = false;
    if (!Exec(m_db, "COMMIT", error)) {
        QString ignored;
        Exec(m_db, "ROLLBACK", ignored);
        return false;
    }
    return true;
}

} // namespace archive
