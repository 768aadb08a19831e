// SessionArchive's queries: listings, loading a session back, and what the archive holds.
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include "ListingLine.h"
#include "SessionArchiveImpl.h"
#include "archive/ArchiveValues.h"
#include "archive/Schema.h"
#include "archive/SqlSteps.h"

namespace archive {
namespace {

QStringList Split(const QString& text) {
    return text.isEmpty() ? QStringList() : text.split('\n');
}

// Text for LIKE that matches itself only: the escape character, % and _ are escaped.
QString LikePattern(const QString& text) {
    QString escaped;
    for (const QChar c : text) {
        if (c == '!' || c == '%' || c == '_') {
            escaped.append('!');
        }
        escaped.append(c);
    }
    return "%" + escaped + "%";
}

// What every listing reads, in this order: enough for a line of text or a node of the tree.
const char kBriefColumns[] = "s.id, %LABEL%, s.slot, s.stamp, s.dated, s.alarm, s.calibration, "
                             "s.complete, s.day, s.start_time, s.end_time, s.mode, s.jobs, "
                             "s.users, s.alarm_count, s.instrument_id, s.name";
// The rest of a session's row, after the brief columns.
const char kFullColumns[] =
    ", s.first_seen, s.last_seen, s.alarm_gases, s.peaks, s.calibrations, s.bumps, s.gps";
constexpr int kListColumnCount = 24;

ListedSession ReadListed(const QSqlQuery& query, ListDetail detail) {
    ListedSession listed;
    listed.id = query.value(0).toLongLong();
    listed.instrument = query.value(1).toString();
    listed.slot = query.value(2).toInt();
    listed.stamp = static_cast<uint32_t>(query.value(3).toLongLong());
    listed.dated = query.value(4).toInt() != 0;
    listed.alarm = query.value(5).toInt() != 0;
    listed.calibration = query.value(6).toInt() != 0;
    listed.complete = query.value(7).toInt() != 0;
    SessionSummary& s = listed.summary;
    s.day = query.value(8).toString();
    s.startTime = query.value(9).toString();
    s.endTime = query.value(10).toString();
    s.mode = query.value(11).toString();
    s.jobs = Split(query.value(12).toString());
    s.users = Split(query.value(13).toString());
    s.alarmCount = query.value(14).toInt();
    listed.instrumentId = query.value(15).toLongLong();
    listed.tags = ListedTags(query.value(16).toByteArray(), s.alarmCount);
    if (detail == ListDetail::Full) {
        listed.firstSeen = query.value(17).toLongLong();
        listed.lastSeen = query.value(18).toLongLong();
        s.alarmGases = Split(query.value(19).toString());
        s.peaks = Split(query.value(20).toString());
        s.calibrations = Split(query.value(21).toString());
        s.bumps = Split(query.value(22).toString());
        s.gps = query.value(23).toInt() != 0;
    }
    return listed;
}

// A listing's lines of text: what the row keeps of its line, around the instrument's name.
const char kLineColumns[] = "s.id, %LABEL%, s.line_head, s.line_tail, s.instrument_id";

QString ListColumns(ListDetail detail) {
    QString columns =
        QString::fromLatin1(detail == ListDetail::Line ? kLineColumns : kBriefColumns) +
        QLatin1String(detail == ListDetail::Full ? kFullColumns : "");
    return columns.replace("%LABEL%", InstrumentLabel());
}

// Each instrument's kept mode names, for those that have any.
struct ModeNames {
    QByteArray names[4];
};
using ModeNamesOf = QHash<qint64, ModeNames>;

bool ReadModeNames(QSqlDatabase db, ModeNamesOf& all, QString& error) {
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!Run(query, "SELECT id, mode_names FROM instruments WHERE mode_names IS NOT NULL", {},
             error)) {
        return false;
    }
    while (query.next()) {
        ModeNames names;
        SplitNames(query.value(1).toByteArray(), names.names);
        if (AnyNamed(names.names)) {
            all.insert(query.value(0).toLongLong(), names);
        }
    }
    return true;
}

// The kept mode names of an instrument; all empty for one that told none.
const QByteArray (&NamesOf(const ModeNamesOf& modeNames, qint64 instrument))[4] {
    static const QByteArray kNone[4];
    const auto named = modeNames.constFind(instrument);
    return named == modeNames.constEnd() ? kNone : named->names;
}

ListedSession ReadLine(const QSqlQuery& query, const ModeNamesOf& modeNames) {
    ListedSession listed;
    listed.id = query.value(0).toLongLong();
    listed.instrument = query.value(1).toString();
    listed.instrumentId = query.value(4).toLongLong();
    listed.line =
        ListingLine(listed.id, listed.instrument, query.value(2).toString(),
                    NamedTail(query.value(3).toString(), NamesOf(modeNames, listed.instrumentId)));
    return listed;
}

void NameModes(ListedSession& listed, const ModeNamesOf& modeNames) {
    listed.summary.mode = NamedModes(listed.summary.mode, NamesOf(modeNames, listed.instrumentId));
}

} // namespace

qint64 SessionArchive::CompleteSession(qint64 instrument, int16_t slot, uint32_t stamp) {
    QSqlQuery query(m_impl->Db());
    query.prepare("SELECT id FROM sessions WHERE instrument_id = ? AND slot = ? AND stamp = ?"
                  " AND complete = 1");
    query.addBindValue(instrument);
    query.addBindValue(slot);
    query.addBindValue(static_cast<qint64>(stamp));
    return Run(query, m_error) && query.next() ? query.value(0).toLongLong() : -1;
}

QVector<ListedSession> SessionArchive::List(const ListFilter& filter) {
    QVector<ListedSession> listed;
    ForEach(filter, [&listed](const ListedSession& s) { listed.append(s); });
    return listed;
}

bool SessionArchive::ForEach(const ListFilter& filter,
                             const std::function<void(const ListedSession&)>& take,
                             ListDetail detail) {
    QStringList where;
    QVariantList values;
    if (!filter.from.isEmpty()) {
        where << "s.day >= ?";
        values << filter.from;
    }
    if (!filter.to.isEmpty()) {
        where << "s.day <= ? AND s.day <> ''";
        values << filter.to;
    }
    // SQLite's LIKE ignores the case of ASCII letters; PostgreSQL's ILIKE ignores all case.
    const QString like = m_impl->location.server ? "ILIKE" : "LIKE";
    if (!filter.job.isEmpty()) {
        where << "s.jobs " + like + " ? ESCAPE '!'";
        values << LikePattern(filter.job);
    }
    if (!filter.user.isEmpty()) {
        where << "s.users " + like + " ? ESCAPE '!'";
        values << LikePattern(filter.user);
    }
    if (filter.alarmOnly) {
        where << "(s.alarm = 1 OR s.alarm_count > 0)";
    }
    if (filter.calibrationOnly) {
        where << "(s.calibration = 1 OR s.calibrations <> '')";
    }
    if (!filter.instrument.isEmpty()) {
        where << InstrumentNamed();
        values << filter.instrument << filter.instrument << filter.instrument;
    }
    QString sql = QString("SELECT %1 FROM sessions s JOIN instruments i ON i.id = s.instrument_id")
                      .arg(ListColumns(detail));
    if (!where.isEmpty()) {
        sql += " WHERE " + where.join(" AND ");
    }
    // Undated sessions last. A scan and a sort of what it found beat walking the day index
    // through the whole table when a filter keeps many sessions.
    sql += " ORDER BY s.dated DESC, s.day, s.start_time, s.id";
    QSqlQuery query(m_impl->Db());
    query.setForwardOnly(true);
    query.prepare(sql);
    for (const QVariant& value : values) {
        query.addBindValue(value);
    }
    // The modes by the names each instrument gave them, as its reports call them.
    ModeNamesOf modeNames;
    if (!ReadModeNames(m_impl->Db(), modeNames, m_error) || !Run(query, m_error)) {
        return false;
    }
    while (query.next()) {
        if (detail == ListDetail::Line) {
            take(ReadLine(query, modeNames));
            continue;
        }
        ListedSession listed = ReadListed(query, detail);
        NameModes(listed, modeNames);
        take(listed);
    }
    m_error.clear();
    return true;
}

bool SessionArchive::Load(qint64 id, LoadedSession& session) {
    QSqlQuery query(m_impl->Db());
    query.prepare(QString("SELECT %1, s.name, b.sector, b.overrun, i.mode_names,"
                          " i.serial_number FROM sessions s"
                          " JOIN instruments i ON i.id = s.instrument_id"
                          " JOIN session_bytes b ON b.session_id = s.id WHERE s.id = ?")
                      .arg(ListColumns(ListDetail::Full)));
    query.addBindValue(id);
    if (!Run(query, m_error)) {
        return false;
    }
    if (!query.next()) {
        m_error = "the archive holds no session " + QString::number(id);
        return false;
    }
    session.listed = ReadListed(query, ListDetail::Full);
    session.name = query.value(kListColumnCount).toByteArray();
    session.sector = query.value(kListColumnCount + 1).toByteArray();
    session.overrun = query.value(kListColumnCount + 2).toByteArray();
    SplitNames(query.value(kListColumnCount + 3).toByteArray(), session.modeNames);
    session.listed.summary.mode = NamedModes(session.listed.summary.mode, session.modeNames);
    session.serialNumber = query.value(kListColumnCount + 4).toString();
    return true;
}

bool SessionArchive::ConflictingCopies(QHash<qint64, int>& copies) {
    copies.clear();
    QSqlDatabase db = m_impl->Db();
    const int version = ReadSchemaVersion(db, m_error);
    if (version < kSyncVersion) {
        return version >= 0;
    }
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!Run(query,
             "SELECT session_id, COUNT(*) FROM session_history WHERE conflict = 1"
             " GROUP BY session_id",
             {}, m_error)) {
        return false;
    }
    while (query.next()) {
        copies.insert(query.value(0).toLongLong(), query.value(1).toInt());
    }
    return true;
}

bool SessionArchive::Stats(ArchiveStats& stats) {
    QSqlQuery query(m_impl->Db());
    // The downloads a sync made stand for sessions another archive downloaded: counted there.
    if (!query.exec(
            "SELECT (SELECT COUNT(*) FROM instruments), (SELECT COUNT(*) FROM sessions),"
            " (SELECT COUNT(*) FROM sessions WHERE complete = 1),"
            " (SELECT COUNT(*) FROM downloads d WHERE NOT " +
            MadeBySync() +
            "), (SELECT COUNT(*) FROM index_uploads),"
            " (SELECT COUNT(*) FROM session_history),"
            " (SELECT COALESCE(SUM(LENGTH(sector) + LENGTH(overrun)), 0) FROM session_bytes),"
            " (SELECT MIN(day) FROM sessions WHERE day <> ''),"
            " (SELECT MAX(day) FROM sessions WHERE day <> '')") ||
        !query.next()) {
        m_error = DatabaseSaid(query.lastError());
        return false;
    }
    stats.instruments = query.value(0).toLongLong();
    stats.sessions = query.value(1).toLongLong();
    stats.completeSessions = query.value(2).toLongLong();
    stats.downloads = query.value(3).toLongLong();
    stats.indexUploads = query.value(4).toLongLong();
    stats.replacements = query.value(5).toLongLong();
    stats.sectorBytes = query.value(6).toLongLong();
    stats.firstDay = query.value(7).toString();
    stats.lastDay = query.value(8).toString();
    QHash<qint64, int> conflicting;
    if (!ConflictingCopies(conflicting)) {
        return false;
    }
    stats.conflictingCopies = 0;
    for (const int n : conflicting) {
        stats.conflictingCopies += n;
    }
    stats.replacements -= stats.conflictingCopies;
    QSqlQuery each(m_impl->Db());
    if (!each.exec("SELECT " + InstrumentLabel() +
                   ", i.name, i.serial_number, COUNT(s.id), COALESCE(MAX(s.day), ''), i.firmware"
                   " FROM instruments i LEFT JOIN sessions s ON s.instrument_id = i.id"
                   " GROUP BY i.id, i.name, i.serial_number, i.firmware ORDER BY i.id")) {
        m_error = DatabaseSaid(each.lastError());
        return false;
    }
    stats.perInstrument.clear();
    while (each.next()) {
        const QString serial = each.value(2).toString();
        const bool named = !each.value(1).toString().isEmpty();
        const QString latest = each.value(4).toString();
        const QString firmware = each.value(5).toString();
        QStringList told;
        if (named && !serial.isEmpty()) {
            told << "serial number " + serial;
        }
        if (!firmware.isEmpty()) {
            told << "firmware " + firmware;
        }
        // One pass: a name may hold "%1" itself.
        stats.perInstrument << QString("%1%2: %3 sessions, the latest of %4")
                                   .arg(each.value(0).toString(),
                                        told.isEmpty() ? QString() : " (" + told.join(", ") + ")",
                                        QString::number(each.value(3).toLongLong()),
                                        latest.isEmpty() ? QString("no date") : latest);
    }
    return true;
}

} // namespace archive
