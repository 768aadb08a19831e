// SessionArchive's instruments: the row each one's sessions are filed under.
#include <QSqlQuery>
#include <QVariant>

#include "ArchiveValues.h"
#include "SessionArchiveImpl.h"
#include "SqlSteps.h"

namespace archive {

qint64 SessionArchive::Instrument(const InstrumentIdentity& identity, const QString& name) {
    QSqlDatabase db = m_impl->Db();
    SqlTransaction transaction(db, m_impl->location.server);
    if (!transaction.Begun(m_error)) {
        return -1;
    }
    QSqlQuery insert(db);
    insert.prepare("INSERT INTO instruments (fingerprint, name, driver_text, config_block,"
                   " mode_names, first_seen) VALUES (?, ?, ?, ?, ?, ?)"
                   " ON CONFLICT (fingerprint) DO NOTHING");
    insert.addBindValue(identity.fingerprint);
    insert.addBindValue(name);
    insert.addBindValue(identity.driverText);
    insert.addBindValue(identity.configBlock);
    insert.addBindValue(JoinedNames(identity.modeNames));
    insert.addBindValue(Now());
    if (!Run(insert, m_error)) {
        return -1;
    }
    QSqlQuery find(db);
    find.prepare("SELECT id FROM instruments WHERE fingerprint = ?");
    find.addBindValue(identity.fingerprint);
    if (!Run(find, m_error) || !find.next()) {
        m_error = m_error.isEmpty() ? "the instrument was not stored" : m_error;
        return -1;
    }
    const qint64 id = find.value(0).toLongLong();
    // The latest mode names and the latest name given win.
    QSqlQuery update(db);
    update.prepare("UPDATE instruments SET name = CASE WHEN ? = '' THEN name ELSE ? END,"
                   " mode_names = CASE WHEN ? = 1 THEN ? ELSE mode_names END WHERE id = ?");
    update.addBindValue(name);
    update.addBindValue(name);
    const bool haveNames = !identity.modeNames[0].isEmpty() || !identity.modeNames[1].isEmpty() ||
                           !identity.modeNames[2].isEmpty() || !identity.modeNames[3].isEmpty();
    update.addBindValue(haveNames ? 1 : 0);
    update.addBindValue(JoinedNames(identity.modeNames));
    update.addBindValue(id);
    if (!Run(update, m_error) || !transaction.Commit(m_error)) {
        return -1;
    }
    return id;
}

QVector<qint64> SessionArchive::FindInstruments(const QString& nameOrFingerprint) {
    QVector<qint64> ids;
    QSqlQuery query(m_impl->Db());
    query.prepare("SELECT id FROM instruments WHERE name = ? OR fingerprint = ? ORDER BY id");
    query.addBindValue(nameOrFingerprint);
    query.addBindValue(nameOrFingerprint);
    if (Run(query, m_error)) {
        while (query.next()) {
            ids.append(query.value(0).toLongLong());
        }
    }
    return ids;
}

} // namespace archive
