// A sync's instruments: each of another archive's filed under the one it is here (by its identity,
// serial number, fingerprint and name, or the sessions it shares), or made new under a name of its
// own; and the service intervals it set that this archive has not.
#include "SyncInstruments.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>
#include <vector>

#include "archive/ArchiveValues.h"
#include "archive/HistoryChain.h"
#include "archive/SessionHolders.h"
#include "archive/SqlSteps.h"

namespace archive {
namespace {

struct SourceInstrument {
    qint64 id = 0;
    QString serial;
    QString name;
    QString fingerprint;
    QByteArray driverText;
    QByteArray configBlock;
    QByteArray modeNames;
    qint64 firstSeen = 0;
    QString firmware;
    QString uid;
    // The target's instrument this one was filed from by an earlier sync the other way (-1: none).
    qint64 fromTarget = -1;
};

bool ReadInstruments(QSqlDatabase& db, const QString& targetIdentity,
                     std::vector<SourceInstrument>& out, QString& error) {
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!Run(query,
             "SELECT id, serial_number, name, fingerprint, driver_text, config_block, mode_names,"
             " first_seen, firmware, uid, (SELECT MIN(f.origin_id) FROM synced_instruments f"
             " WHERE f.origin = ? AND f.instrument_id = i.id) FROM instruments i ORDER BY id",
             {targetIdentity}, error)) {
        return false;
    }
    while (query.next()) {
        out.push_back({query.value(0).toLongLong(), query.value(1).toString(),
                       query.value(2).toString(), query.value(3).toString(),
                       query.value(4).toByteArray(), query.value(5).toByteArray(),
                       query.value(6).toByteArray(), query.value(7).toLongLong(),
                       query.value(8).toString(), query.value(9).toString(),
                       query.value(10).isNull() ? -1 : query.value(10).toLongLong()});
    }
    return true;
}

// The first id the query finds, or -1.
bool FirstId(QSqlDatabase& db, const QString& sql, std::initializer_list<QVariant> values,
             qint64& id, QString& error) {
    QSqlQuery query(db);
    if (!Run(query, sql, values, error)) {
        return false;
    }
    id = query.next() ? query.value(0).toLongLong() : -1;
    query.finish();
    return true;
}

// The target's instrument that the source's is: the one filed for it by an earlier sync; else the
// one of the same identity of its own (it was first archived here, or came through another
// archive); else the one the source filed it from (archives older than those identities); else the
// one of its serial number; else, where the two serial numbers do not tell them apart, the one of
// the same fingerprint and name (never an empty fingerprint: two imports of one name are two
// instruments).
bool Match(QSqlDatabase& db, const QString& origin, const SourceInstrument& s, qint64& id,
           QString& error) {
    if (!FirstId(db,
                 "SELECT instrument_id FROM synced_instruments WHERE origin = ? AND origin_id = ?",
                 {origin, s.id}, id, error)) {
        return false;
    }
    if (id < 0 && !s.uid.isEmpty() &&
        !FirstId(db, "SELECT id FROM instruments WHERE uid = ?", {s.uid}, id, error)) {
        return false;
    }
    if (id < 0 && s.fromTarget >= 0 &&
        !FirstId(db, "SELECT id FROM instruments WHERE id = ?", {s.fromTarget}, id, error)) {
        return false;
    }
    if (id < 0 && !s.serial.isEmpty() &&
        !FirstId(db, "SELECT id FROM instruments WHERE serial_number = ?", {s.serial}, id, error)) {
        return false;
    }
    if (id >= 0 || s.fingerprint.isEmpty()) {
        return true;
    }
    return FirstId(db,
                   "SELECT id FROM instruments WHERE fingerprint = ? AND name = ? AND"
                   " (serial_number = '' OR ? = '') ORDER BY id",
                   {s.fingerprint, s.name, s.serial}, id, error);
}

// The target's instrument that holds sessions of the source's, the same slot, start and bytes, for
// one that has no serial number (an import's, known by the name it was given, carries nothing
// else two archives could compare; the same unit imported at two vans is one instrument). Never
// one whose serial number or fingerprint says it is another, nor one that another instrument of
// the source is filed under; where two are left, it stays apart and `summary` says so.
bool BySessions(QSqlDatabase& sourceDb, QSqlDatabase& db, bool server, const SyncParty& source,
                const SourceInstrument& s, qint64& id, SyncSummary& summary, QString& error) {
    id = -1;
    if (!s.serial.isEmpty()) {
        return true;
    }
    std::vector<SessionKey> keys;
    {
        QSqlQuery query(sourceDb);
        query.setForwardOnly(true);
        if (!Run(query,
                 "SELECT slot, stamp, digest FROM sessions WHERE instrument_id = ? AND dated = 1"
                 " ORDER BY id",
                 {s.id}, error)) {
            return false;
        }
        while (query.next()) {
            keys.push_back({query.value(0).toInt(),
                            static_cast<uint32_t>(query.value(1).toLongLong()),
                            query.value(2).toString()});
        }
    }
    std::vector<SessionHolder> holders;
    if (!HoldersOf(db, keys, holders, error)) {
        return false;
    }
    QStringList open;
    size_t shared = 0;
    for (const SessionHolder& holder : holders) {
        QSqlQuery other(db);
        if (!Run(other,
                 "SELECT i.fingerprint, (SELECT COUNT(*) FROM synced_instruments f WHERE"
                 " f.origin = ? AND f.instrument_id = i.id AND f.origin_id <> ?)"
                 " FROM instruments i WHERE i.id = ?",
                 {source.identity, s.id, holder.instrument}, error) ||
            !other.next()) {
            return false;
        }
        const QString fingerprint = other.value(0).toString();
        if ((fingerprint.isEmpty() || s.fingerprint.isEmpty() || fingerprint == s.fingerprint) &&
            other.value(1).toLongLong() == 0) {
            id = open.isEmpty() ? holder.instrument : -1;
            shared = holder.sessions.size();
            open << '"' + holder.name + '"';
        }
    }
    if (open.size() > 1) {
        summary.shared << QString("instrument \"%1\" of %2 shares sessions with %3 instruments"
                                  " here, %4: filed as an instrument of its own, under none of"
                                  " them")
                              .arg(s.name, source.Words(), QString::number(open.size()),
                                   open.join(", "));
        return true;
    }
    // Filed by an inference, not by anything the instrument said: the history says so.
    QString here;
    if (id < 0 || !DescribeInstrument(db, id, here, error)) {
        return error.isEmpty();
    }
    const QString line = QString("instrument \"%1\" of %2 is %3 here, which holds %4 of its"
                                 " sessions")
                             .arg(s.name, source.Words(), here, QString::number(shared));
    summary.shared << line;
    return AppendHistory(db, server, ChangeKind::Identity, line, {}, error);
}

bool NameTaken(QSqlDatabase& db, const QString& name, bool& taken, QString& error) {
    QSqlQuery query(db);
    if (!Run(query,
             "SELECT COUNT(*) FROM instruments i WHERE " + InstrumentLabel() +
                 " = ? OR i.serial_number = ?",
             {name, name}, error) ||
        !query.next()) {
        return false;
    }
    taken = query.value(0).toLongLong() > 0;
    query.finish();
    return true;
}

// The source's name where it is free here; else "NAME (LABEL)", and a number after that where
// even that is taken.
bool FreeName(QSqlDatabase& db, const QString& name, const QString& label, QString& free,
              QString& error) {
    bool taken = false;
    free = name;
    if (name.isEmpty() || !NameTaken(db, name, taken, error) || !taken) {
        return error.isEmpty();
    }
    for (int n = 1; n < 1000; ++n) {
        free = QString("%1 (%2)").arg(name, label) + (n > 1 ? " #" + QString::number(n) : "");
        if (!NameTaken(db, free, taken, error)) {
            return false;
        }
        if (!taken) {
            return true;
        }
    }
    error = "no free name for the instrument \"" + name + "\"";
    return false;
}

bool Insert(QSqlDatabase& db, bool server, const SyncParty& source, const SourceInstrument& s,
            qint64& id, SyncSummary& summary, QString& error) {
    QString name;
    if (!FreeName(db, s.name, source.label, name, error)) {
        return false;
    }
    const QString key = !s.serial.isEmpty() ? "serial:" + s.serial
                        : !name.isEmpty()   ? "name:" + name
                                            : s.fingerprint;
    QSqlQuery insert(db);
    if (!Run(insert,
             "INSERT INTO instruments (identity_key, serial_number, name, fingerprint,"
             " driver_text, config_block, mode_names, first_seen, firmware, uid)"
             " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT DO NOTHING RETURNING id",
             {key, Text(s.serial), Text(name), Text(s.fingerprint), Bytes(s.driverText),
              Bytes(s.configBlock), Bytes(s.modeNames), s.firstSeen, Text(s.firmware),
              s.uid.isEmpty() ? NewInstrumentUid() : s.uid},
             error)) {
        return false;
    }
    if (!insert.next()) {
        error = "the instrument " + InstrumentWords(s.name, s.serial, s.id) + " of " +
                source.Words() + " cannot be filed: another instrument here is known as " + key;
        return false;
    }
    id = insert.value(0).toLongLong();
    insert.finish();
    ++summary.instrumentsNew;
    QString detail = "instrument " + InstrumentWords(name, s.serial, id) +
                     " first archived, synced from " + source.Words();
    if (name != s.name) {
        const QString line = QString("instrument \"%1\" of %2 is called \"%3\" here: the name"
                                     " is another instrument's")
                                 .arg(s.name, source.Words(), name);
        summary.renamed << line;
        detail += QString(", where it is called \"%1\" (the name is another instrument's here)")
                      .arg(s.name);
    }
    return AppendHistory(db, server, ChangeKind::Identity, detail, {}, error);
}

// The source's interval settings of a scope the target sets nothing for.
bool SyncIntervals(QSqlDatabase& sourceDb, QSqlDatabase& db, bool server, const SyncParty& source,
                   const QHash<qint64, qint64>& map, SyncSummary& summary, QString& error) {
    struct Setting {
        qint64 scope;
        QVariant days[3];
    };
    std::vector<Setting> settings;
    {
        QSqlQuery query(sourceDb);
        query.setForwardOnly(true);
        if (!Run(query,
                 "SELECT scope, bump_days, calibration_days, warning_days FROM service_intervals"
                 " ORDER BY scope",
                 {}, error)) {
            return false;
        }
        while (query.next()) {
            settings.push_back(
                {query.value(0).toLongLong(), {query.value(1), query.value(2), query.value(3)}});
        }
    }
    const char* const words[3] = {"bump test every %1 days", "calibration every %1 days",
                                  "warning %1 days before a calibration"};
    for (const Setting& s : settings) {
        const qint64 scope = s.scope == 0 ? 0 : map.value(s.scope, -1);
        qint64 held = -1;
        if (scope < 0 || !FirstId(db, "SELECT scope FROM service_intervals WHERE scope = ?",
                                  {scope}, held, error)) {
            if (scope < 0) {
                continue;
            }
            return false;
        }
        if (held >= 0) {
            continue; // the target's own setting stays
        }
        QStringList said;
        for (int k = 0; k < 3; ++k) {
            if (!s.days[k].isNull()) {
                said << QString(words[k]).arg(s.days[k].toInt());
            }
        }
        QString scopeWords = "the archive";
        if (scope != 0) {
            QString instrument;
            if (!DescribeInstrument(db, scope, instrument, error)) {
                return false;
            }
            scopeWords = "instrument " + instrument;
        }
        QSqlQuery write(db);
        if (!Run(write,
                 "INSERT INTO service_intervals (scope, bump_days, calibration_days, warning_days)"
                 " VALUES (?, ?, ?, ?)",
                 {scope, s.days[0], s.days[1], s.days[2]}, error) ||
            !AppendHistory(db, server, ChangeKind::Interval,
                           "intervals of " + scopeWords + " synced from " + source.Words() + ": " +
                               (said.isEmpty() ? QString("none set") : said.join(", ")),
                           {}, error)) {
            return false;
        }
        ++summary.intervals;
    }
    return true;
}

} // namespace

QString SyncParty::Words() const {
    return QString("archive %1 (identity %2)").arg(where, identity);
}

bool SyncInstruments(QSqlDatabase& sourceDb, QSqlDatabase& targetDb, bool targetServer,
                     const SyncParty& source, const QString& targetIdentity,
                     QHash<qint64, qint64>& map, SyncSummary& summary, QString& error) {
    std::vector<SourceInstrument> instruments;
    if (!ReadInstruments(sourceDb, targetIdentity, instruments, error)) {
        return false;
    }
    for (const SourceInstrument& s : instruments) {
        qint64 id = -1;
        if (!Match(targetDb, source.identity, s, id, error) ||
            (id < 0 &&
             !BySessions(sourceDb, targetDb, targetServer, source, s, id, summary, error))) {
            return false;
        }
        if (id < 0 && !Insert(targetDb, targetServer, source, s, id, summary, error)) {
            return false;
        }
        qint64 known = -1;
        QSqlQuery remember(targetDb);
        if (!FirstId(targetDb,
                     "SELECT instrument_id FROM synced_instruments WHERE origin = ? AND"
                     " origin_id = ?",
                     {source.identity, s.id}, known, error) ||
            (known < 0 && !Run(remember,
                               "INSERT INTO synced_instruments (origin, origin_id, instrument_id)"
                               " VALUES (?, ?, ?)",
                               {source.identity, s.id, id}, error))) {
            return false;
        }
        map.insert(s.id, id);
    }
    return SyncIntervals(sourceDb, targetDb, targetServer, source, map, summary, error);
}

} // namespace archive
