// SessionArchive's instruments: the row each one's sessions are filed under, found by who the
// instrument is, and renamed only when asked.
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include "SessionArchiveImpl.h"
#include "archive/ArchiveValues.h"
#include "archive/HistoryChain.h"
#include "archive/Schema.h"
#include "archive/SqlSteps.h"
#include "textcodec/Cp1252.h"

namespace archive {
namespace {

struct Row {
    qint64 id = -1; // -1: no such instrument
    QString name;
    QString serial;
    QString fingerprint;
};

// The first instrument `where` (SQL on the row `i`) holds for; a name the user gave goes before a
// label made up for an unnamed one.
bool FindRow(QSqlDatabase& db, const QString& where, std::initializer_list<QVariant> values,
             Row& row, QString& error) {
    QSqlQuery query(db);
    if (!Run(query,
             "SELECT i.id, i.name, i.serial_number, i.fingerprint FROM instruments i WHERE " +
                 where + " ORDER BY CASE WHEN i.name <> '' THEN 0 ELSE 1 END, i.id",
             values, error)) {
        return false;
    }
    row = Row();
    if (query.next()) {
        row.id = query.value(0).toLongLong();
        row.name = query.value(1).toString();
        row.serial = query.value(2).toString();
        row.fingerprint = query.value(3).toString();
    }
    return true;
}

bool FindByKey(QSqlDatabase& db, const QString& key, Row& row, QString& error) {
    return FindRow(db, "i.identity_key = ?", {key}, row, error);
}

bool FindByLabel(QSqlDatabase& db, const QString& label, Row& row, QString& error) {
    return FindRow(db, InstrumentLabel() + " = ?", {label}, row, error);
}

// No instrument but `except` is called `name` or has it as its serial number.
bool NameFree(QSqlDatabase& db, const QString& name, qint64 except, bool& free, QString& error) {
    QSqlQuery query(db);
    if (!Run(query,
             "SELECT COUNT(*) FROM instruments i WHERE i.id <> ? AND (" + InstrumentLabel() +
                 " = ? OR i.serial_number = ?)",
             {except, name, name}, error) ||
        !query.next()) {
        return false;
    }
    free = query.value(0).toLongLong() == 0;
    return true;
}

// Nothing either reported says that they are different instruments.
bool Agree(const QString& stored, const QString& reported) {
    return stored.isEmpty() || reported.isEmpty() || stored == reported;
}

// What the history is told of changes to instruments' rows; `record` is false only for an archive
// opened at a schema without the history.
struct Recorder {
    bool record = false;
    bool server = false;

    bool operator()(QSqlDatabase& db, ChangeKind kind, const QString& detail,
                    QString& error) const {
        return !record || AppendHistory(db, server, kind, detail, {}, error);
    }
};

// A new instrument's row, and the history's word of it; nothing when another writer made the same
// instrument (or took the name) at the same moment: that one wins. `made`: the new row's id, or -1.
bool Insert(QSqlDatabase& db, const QString& key, const QString& serial, const QString& name,
            const InstrumentIdentity& identity, const Recorder& record, QString& error,
            qint64* made = nullptr) {
    if (made != nullptr) {
        *made = -1;
    }
    QSqlQuery insert(db);
    if (!Run(insert,
             "INSERT INTO instruments (identity_key, serial_number, name, fingerprint,"
             " driver_text, config_block, mode_names, first_seen, firmware)"
             " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT DO NOTHING RETURNING id",
             {key, serial, name, Text(identity.fingerprint), identity.driverText,
              identity.configBlock, JoinedNames(identity.modeNames), Now(),
              Text(identity.firmwareVersion)},
             error)) {
        return false;
    }
    if (!insert.next()) {
        return true;
    }
    const qint64 id = insert.value(0).toLongLong();
    insert.finish();
    if (made != nullptr) {
        *made = id;
    }
    return record(db, ChangeKind::Identity,
                  "instrument " + InstrumentWords(name, serial, id) + " first archived" +
                      (identity.firmwareVersion.isEmpty()
                           ? QString()
                           : ", firmware " + identity.firmwareVersion),
                  error);
}

// "instrument with serial number S renamed from "A" to "B"", or "... named "B"" for one that had
// no name.
QString RenameDetail(const Row& row, const QString& name) {
    const QString who = !row.serial.isEmpty() ? "instrument with serial number " + row.serial
                        : row.name.isEmpty()  ? "instrument unnamed " + QString::number(row.id)
                                              : QString("instrument");
    if (row.name.isEmpty()) {
        return QString("%1 named \"%2\"").arg(who, name);
    }
    return QString("%1 renamed from \"%2\" to \"%3\"").arg(who, row.name, name);
}

// Gives an instrument found by its serial number the name given, when it has none and no other
// instrument is called so: naming is no renaming, which stays an explicit step. The archive
// lists it by the new name from then on, so the history says so.
bool NameIfUnnamed(QSqlDatabase& db, const Row& row, const QString& given, const Recorder& record,
                   QString& error) {
    bool free = false;
    if (!row.name.isEmpty() || given.isEmpty()) {
        return true;
    }
    QSqlQuery name(db);
    return NameFree(db, given, row.id, free, error) &&
           (!free ||
            (Run(name, "UPDATE instruments SET name = ? WHERE id = ?", {given, row.id}, error) &&
             record(db, ChangeKind::Rename, RenameDetail(row, given), error)));
}

// An instrument with a serial number: the row of that number. A row of the name given that has no
// serial number yet (downloaded before numbers were read, or imported) becomes this instrument's
// when nothing it reported says otherwise. A new row takes the name given where it is free.
qint64 BySerial(QSqlDatabase& db, const QString& serial, const QString& given,
                const InstrumentIdentity& identity, const Recorder& record, QString& error) {
    const QString key = "serial:" + serial;
    Row row;
    if (!FindByKey(db, key, row, error)) {
        return -1;
    }
    if (row.id >= 0) {
        return NameIfUnnamed(db, row, given, record, error) ? row.id : -1;
    }
    Row named;
    if (!given.isEmpty() && !FindByLabel(db, given, named, error)) {
        return -1;
    }
    if (named.id >= 0 && named.serial.isEmpty() && Agree(named.fingerprint, identity.fingerprint)) {
        QSqlQuery adopt(db);
        if (!Run(adopt,
                 "UPDATE instruments SET identity_key = ?, serial_number = ? WHERE id = ?"
                 " AND serial_number = ''",
                 {key, serial, named.id}, error)) {
            return -1;
        }
        // Another writer gave it its own serial number first: this one is then a new instrument.
        if (adopt.numRowsAffected() == 1) {
            return record(db, ChangeKind::Rename,
                          QString("instrument %1 known by its serial number %2 from now on")
                              .arg(InstrumentWords(named.name, QString(), named.id), serial),
                          error)
                       ? named.id
                       : -1;
        }
    }
    bool free = false;
    if (!given.isEmpty() && !NameFree(db, given, -1, free, error)) {
        return -1;
    }
    if (!Insert(db, key, serial, free ? given : QString(""), identity, record, error) ||
        !FindByKey(db, key, row, error)) {
        return -1;
    }
    // The name was taken between the look and the insert.
    if (row.id < 0 && (!Insert(db, key, serial, "", identity, record, error) ||
                       !FindByKey(db, key, row, error))) {
        return -1;
    }
    return row.id;
}

// An instrument without a serial number, named by the user: the row that name labels (or the one
// whose serial number it is), unless that is an instrument with a serial number that reported
// otherwise.
qint64 ByName(QSqlDatabase& db, const QString& given, const InstrumentIdentity& identity,
              const Recorder& record, QString& error) {
    Row row;
    if (!FindByLabel(db, given, row, error) ||
        (row.id < 0 && !FindRow(db, "i.serial_number = ?", {given}, row, error))) {
        return -1;
    }
    if (row.id < 0 && (!Insert(db, "name:" + given, "", given, identity, record, error) ||
                       !FindByLabel(db, given, row, error))) {
        return -1;
    }
    if (!row.serial.isEmpty() && !Agree(row.fingerprint, identity.fingerprint)) {
        error = QString("the archive's instrument \"%1\" is the one with the serial number %2,"
                        " and this one reports another model or other settings: give it a name"
                        " of its own")
                    .arg(given, row.serial);
        return -1;
    }
    return row.id;
}

// Neither a serial number nor a name: all that is known is its model, firmware and settings.
qint64 ByFingerprint(QSqlDatabase& db, const InstrumentIdentity& identity, const Recorder& record,
                     QString& error) {
    Row row;
    if (!FindByKey(db, identity.fingerprint, row, error)) {
        return -1;
    }
    if (row.id < 0 && (!Insert(db, identity.fingerprint, "", "", identity, record, error) ||
                       !FindByKey(db, identity.fingerprint, row, error))) {
        return -1;
    }
    return row.id;
}

// What the instrument reported last is what renders its sessions and checks it next time. A
// change of its mode names (which name the modes wherever its sessions are listed) or of its
// firmware is told to the history.
bool Refresh(QSqlDatabase& db, qint64 id, const InstrumentIdentity& identity,
             const Recorder& record, QString& error) {
    const bool haveNames = !identity.modeNames[0].isEmpty() || !identity.modeNames[1].isEmpty() ||
                           !identity.modeNames[2].isEmpty() || !identity.modeNames[3].isEmpty();
    const bool reported = !identity.fingerprint.isEmpty();
    QByteArray namesBefore;
    QString firmwareBefore;
    {
        QSqlQuery before(db);
        if (!Run(before, "SELECT mode_names, firmware FROM instruments WHERE id = ?", {id},
                 error) ||
            !before.next()) {
            return false;
        }
        namesBefore = before.value(0).toByteArray();
        firmwareBefore = before.value(1).toString();
    }
    QStringList changed;
    const QByteArray names = JoinedNames(identity.modeNames);
    if (haveNames && names != namesBefore) {
        QStringList list;
        for (const QByteArray& name : identity.modeNames) {
            list << (name.isEmpty() ? QString("(none)")
                                    : '"' + FromCp1252(name.toStdString()) + '"');
        }
        changed << "mode names " + list.join(", ");
    }
    if (!identity.firmwareVersion.isEmpty() && identity.firmwareVersion != firmwareBefore) {
        changed << "firmware " + identity.firmwareVersion +
                       (firmwareBefore.isEmpty() ? QString() : " (was " + firmwareBefore + ")");
    }
    QSqlQuery update(db);
    if (!Run(update,
             "UPDATE instruments SET mode_names = CASE WHEN ? = 1 THEN ? ELSE mode_names END,"
             " fingerprint = CASE WHEN ? = 1 THEN ? ELSE fingerprint END,"
             " driver_text = CASE WHEN ? = 1 THEN ? ELSE driver_text END,"
             " config_block = CASE WHEN ? = 1 THEN ? ELSE config_block END,"
             " firmware = CASE WHEN ? = 1 THEN ? ELSE firmware END WHERE id = ?",
             {haveNames ? 1 : 0, names, reported ? 1 : 0, Text(identity.fingerprint),
              reported ? 1 : 0, Bytes(identity.driverText), reported ? 1 : 0,
              Bytes(identity.configBlock), identity.firmwareVersion.isEmpty() ? 0 : 1,
              Text(identity.firmwareVersion), id},
             error)) {
        return false;
    }
    QString words;
    return changed.isEmpty() || !record.record ||
           (DescribeInstrument(db, id, words, error) &&
            record(db, ChangeKind::Identity,
                   "instrument " + words + " reported " + changed.join(" and "), error));
}

} // namespace

qint64 SessionArchive::Instrument(const InstrumentIdentity& identity, const QString& name) {
    const QString given = (name.trimmed().isEmpty() ? identity.name : name).trimmed();
    const QString serial = identity.serialNumber.trimmed();
    m_error.clear();
    if (serial.isEmpty() && given.isEmpty() && identity.fingerprint.isEmpty()) {
        m_error = "the instrument reported neither a serial number nor its driver text: give it"
                  " a name to archive its sessions";
        return -1;
    }
    QSqlDatabase db = m_impl->Db();
    SqlTransaction transaction(db, m_impl->location.server);
    if (!transaction.Begun(m_error)) {
        return -1;
    }
    const Recorder record{m_impl->history, m_impl->location.server};
    const qint64 id = !serial.isEmpty()  ? BySerial(db, serial, given, identity, record, m_error)
                      : !given.isEmpty() ? ByName(db, given, identity, record, m_error)
                                         : ByFingerprint(db, identity, record, m_error);
    if (id < 0) {
        m_error = m_error.isEmpty() ? "the instrument was not stored" : m_error;
        return -1;
    }
    // A new instrument's identity of its own (an archive opened at an older schema has none).
    QSqlQuery own(db);
    if (SchemaVersion() >= kInstrumentUidVersion &&
        !Run(own, "UPDATE instruments SET uid = ? WHERE id = ? AND uid = ''",
             {NewInstrumentUid(), id}, m_error)) {
        return -1;
    }
    if (!Refresh(db, id, identity, record, m_error) || !transaction.Commit(m_error)) {
        return -1;
    }
    return id;
}

qint64 SessionArchive::NewInstrument(const QString& name, QString& given) {
    const QString wanted = name.trimmed();
    m_error.clear();
    if (wanted.isEmpty()) {
        m_error = "an instrument's name cannot be empty";
        return -1;
    }
    QSqlDatabase db = m_impl->Db();
    SqlTransaction transaction(db, m_impl->location.server);
    if (!transaction.Begun(m_error)) {
        return -1;
    }
    const Recorder record{m_impl->history, m_impl->location.server};
    qint64 id = -1;
    // As a sync names an instrument whose name is taken: a number after it, the first one free.
    for (int n = 1; n < 1000 && id < 0; ++n) {
        given = n == 1 ? wanted : QString("%1 #%2").arg(wanted).arg(n);
        bool free = false;
        if (!NameFree(db, given, -1, free, m_error) ||
            (free && !Insert(db, "name:" + given, "", given, NamedInstrument(given), record,
                             m_error, &id))) {
            return -1;
        }
    }
    QSqlQuery own(db);
    if (id < 0) {
        m_error = "no free name for a new instrument \"" + wanted + "\"";
        return -1;
    }
    if ((SchemaVersion() >= kInstrumentUidVersion &&
         !Run(own, "UPDATE instruments SET uid = ? WHERE id = ? AND uid = ''",
              {NewInstrumentUid(), id}, m_error)) ||
        !transaction.Commit(m_error)) {
        return -1;
    }
    return id;
}

QVector<qint64> SessionArchive::FindInstruments(const QString& word) {
    QVector<qint64> ids;
    if (word.isEmpty()) {
        return ids;
    }
    QSqlQuery query(m_impl->Db());
    if (Run(query, "SELECT i.id FROM instruments i WHERE " + InstrumentNamed() + " ORDER BY i.id",
            {word, word, word}, m_error)) {
        while (query.next()) {
            ids.append(query.value(0).toLongLong());
        }
    }
    return ids;
}

RenameResult SessionArchive::RenameInstrument(const QString& oldName, const QString& newName) {
    const QString name = newName.trimmed();
    if (name.isEmpty()) {
        m_error = "an instrument's name cannot be empty";
        return RenameResult::NameInUse;
    }
    QSqlDatabase db = m_impl->Db();
    SqlTransaction transaction(db, m_impl->location.server);
    if (!transaction.Begun(m_error)) {
        return RenameResult::Failed;
    }
    Row row;
    if (!FindByLabel(db, oldName, row, m_error) ||
        (row.id < 0 && !FindRow(db, "i.serial_number = ?", {oldName}, row, m_error))) {
        return RenameResult::Failed;
    }
    if (row.id < 0) {
        m_error = "the archive holds no instrument \"" + oldName + "\"";
        return RenameResult::NoInstrument;
    }
    // Nothing that is not a change leaves a row in the history.
    if (row.name == name) {
        m_error = "the instrument is already called \"" + name + "\"";
        return RenameResult::Unchanged;
    }
    bool free = false;
    if (!NameFree(db, name, row.id, free, m_error)) {
        return RenameResult::Failed;
    }
    if (!free) {
        m_error = "another instrument already goes by \"" + name + "\"";
        return RenameResult::NameInUse;
    }
    // One known by its name alone stays known by it.
    QSqlQuery rename(db);
    if (!Run(rename,
             "UPDATE instruments SET name = ?, identity_key = CASE WHEN identity_key LIKE 'name:%'"
             " THEN ? ELSE identity_key END WHERE id = ?",
             {name, "name:" + name, row.id}, m_error) ||
        (m_impl->history && !AppendHistory(db, m_impl->location.server, ChangeKind::Rename,
                                           RenameDetail(row, name), {}, m_error)) ||
        !transaction.Commit(m_error)) {
        return RenameResult::Failed;
    }
    return RenameResult::Renamed;
}

} // namespace archive
