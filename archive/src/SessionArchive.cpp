#include "archive/SessionArchive.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>
#include <memory>

#include "ArchiveLocation.h"
#include "ListingLine.h"
#include "Schema.h"
#include "SqlSteps.h"
#include "core/LogImage.h"

namespace archive {
namespace {

// How long a SQLite writer waits for another one to finish its transaction.
constexpr int kBusyTimeoutMs = 60000;
// A session is stored again from the start when its transaction lost a race it could not
// settle inside (a server that aborted it); more than this many lost races is an error.
constexpr int kStoreAttempts = 4;

QAtomicInt g_connections;

qint64 Now() {
    return QDateTime::currentMSecsSinceEpoch();
}

QString Digest(const QByteArray& sector) {
    return QString::fromLatin1(
        QCryptographicHash::hash(sector, QCryptographicHash::Sha256).toHex());
}

// Qt binds a null byte array as SQL NULL; an empty one must stay an empty value.
QByteArray Bytes(const QByteArray& bytes) {
    return bytes.isNull() ? QByteArray("") : bytes;
}

QString Text(const QString& text) {
    return text.isNull() ? QString("") : text;
}

QString Joined(const QStringList& list) {
    return Text(list.join('\n'));
}

QStringList Split(const QString& text) {
    return text.isEmpty() ? QStringList() : text.split('\n');
}

QByteArray JoinedNames(const QByteArray (&names)[4]) {
    QByteArray joined;
    for (int k = 0; k < 4; ++k) {
        joined.append(names[k]);
        joined.append('\0');
    }
    return joined;
}

void SplitNames(const QByteArray& joined, QByteArray (&names)[4]) {
    const QList<QByteArray> parts = joined.split('\0');
    for (int k = 0; k < 4; ++k) {
        names[k] = k < parts.size() ? parts[k] : QByteArray();
    }
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

const char kSummaryColumns[] =
    "day, start_time, end_time, mode, jobs, users, alarm_count, alarm_gases, peaks, "
    "calibrations, bumps, gps, summary_version, line_head, line_tail";
constexpr int kSummaryColumnCount = 15;

// "?, ?, ..." for `count` values.
QString Marks(int count) {
    QStringList marks;
    for (int i = 0; i < count; ++i) {
        marks << QStringLiteral("?");
    }
    return marks.join(QLatin1String(", "));
}

void BindSummary(QSqlQuery& query, const SessionSummary& s, const ListingParts& line) {
    query.addBindValue(Text(s.day));
    query.addBindValue(Text(s.startTime));
    query.addBindValue(Text(s.endTime));
    query.addBindValue(Text(s.mode));
    query.addBindValue(Joined(s.jobs));
    query.addBindValue(Joined(s.users));
    query.addBindValue(s.alarmCount);
    query.addBindValue(Joined(s.alarmGases));
    query.addBindValue(Joined(s.peaks));
    query.addBindValue(Joined(s.calibrations));
    query.addBindValue(Joined(s.bumps));
    query.addBindValue(s.gps ? 1 : 0);
    query.addBindValue(SessionSummary::kVersion);
    query.addBindValue(Text(line.head));
    query.addBindValue(Text(line.tail));
}

ListingParts PartsOf(const CapturedSession& s) {
    return MakeListingParts(s.slot, s.dated, s.alarm, s.calibration, s.complete, s.summary);
}

// What a download writes of a session's row, whether it stores it new or replaces an open copy:
// its bytes' name, tags and digest, when and by which download it was seen last, its summary.
const char kSeenColumns[] = "name, alarm, calibration, complete, digest, last_seen, last_download";
constexpr int kSeenColumnCount = 7;

void BindSeen(QSqlQuery& query, const CapturedSession& s, const QString& digest, qint64 now,
              qint64 download) {
    query.addBindValue(Bytes(s.name));
    query.addBindValue(s.alarm ? 1 : 0);
    query.addBindValue(s.calibration ? 1 : 0);
    query.addBindValue(s.complete ? 1 : 0);
    query.addBindValue(digest);
    query.addBindValue(now);
    query.addBindValue(download);
    BindSummary(query, s.summary, PartsOf(s));
}

// What every listing reads, in this order: enough for a line of text or a node of the tree.
const char kBriefColumns[] =
    "s.id, CASE WHEN i.name = '' THEN i.fingerprint ELSE i.name END, s.slot, s.stamp, s.dated, "
    "s.alarm, s.calibration, s.complete, s.day, s.start_time, s.end_time, s.mode, s.jobs, "
    "s.users, s.alarm_count";
// The rest of a session's row, after the brief columns.
const char kFullColumns[] =
    ", s.first_seen, s.last_seen, s.alarm_gases, s.peaks, s.calibrations, s.bumps, s.gps";
constexpr int kListColumnCount = 22;

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
    if (detail == ListDetail::Full) {
        listed.firstSeen = query.value(15).toLongLong();
        listed.lastSeen = query.value(16).toLongLong();
        s.alarmGases = Split(query.value(17).toString());
        s.peaks = Split(query.value(18).toString());
        s.calibrations = Split(query.value(19).toString());
        s.bumps = Split(query.value(20).toString());
        s.gps = query.value(21).toInt() != 0;
    }
    return listed;
}

// A listing's lines of text: what the row keeps of its line, around the instrument's name.
const char kLineColumns[] =
    "s.id, CASE WHEN i.name = '' THEN i.fingerprint ELSE i.name END, s.line_head, s.line_tail";

QString ListColumns(ListDetail detail) {
    if (detail == ListDetail::Line) {
        return QString::fromLatin1(kLineColumns);
    }
    return QString::fromLatin1(kBriefColumns) +
           QLatin1String(detail == ListDetail::Full ? kFullColumns : "");
}

ListedSession ReadLine(const QSqlQuery& query) {
    ListedSession listed;
    listed.id = query.value(0).toLongLong();
    listed.instrument = query.value(1).toString();
    listed.line = ListingLine(listed.id, listed.instrument, query.value(2).toString(),
                              query.value(3).toString());
    return listed;
}

} // namespace

struct SessionArchive::Impl {
    QString connection;
    ArchiveLocation location;
    bool open = false;

    QSqlDatabase Db() const { return QSqlDatabase::database(connection, false); }
};

SessionArchive::SessionArchive() : m_impl(new Impl) {
    m_impl->connection = QString("tavon-archive-%1").arg(g_connections.fetchAndAddRelaxed(1));
}

SessionArchive::~SessionArchive() {
    Close();
    delete m_impl;
}

QString SessionArchive::DefaultLocation() {
    // The program and tavon-datalog share one archive: the data folder is the program's,
    // whichever of the two asks.
    const QString own = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName("Tavon Datalogging");
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QCoreApplication::setApplicationName(own);
    return folder + "/archive.sqlite";
}

int SessionArchive::CurrentSchemaVersion() {
    return LatestSchemaVersion();
}

bool SessionArchive::Open(const QString& location) {
    return OpenAtVersion(location, LatestSchemaVersion()) && RefreshSummaries() >= 0;
}

bool SessionArchive::OpenAtVersion(const QString& text, int version) {
    Close();
    m_error.clear();
    ArchiveLocation& location = m_impl->location;
    QString message;
    if (!ParseArchiveLocation(text.isEmpty() ? DefaultLocation() : text, location, message)) {
        m_error = message;
        return false;
    }
    const char* driver = location.server ? "QPSQL" : "QSQLITE";
    if (!QSqlDatabase::isDriverAvailable(driver)) {
        m_error = QString("the Qt SQL driver %1 is not installed").arg(driver);
        return false;
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(driver, m_impl->connection);
        if (location.server) {
            db.setHostName(location.host);
            db.setPort(location.port);
            db.setUserName(location.user);
            db.setPassword(location.password);
            db.setDatabaseName(location.database);
            db.setConnectOptions("connect_timeout=10");
        } else {
            const QFileInfo file(location.file);
            if (!QDir().mkpath(file.absolutePath())) {
                m_error = "cannot make the folder " + file.absolutePath();
                QSqlDatabase::removeDatabase(m_impl->connection);
                return false;
            }
            db.setDatabaseName(location.file);
            db.setConnectOptions(QString("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
        }
        if (!db.open()) {
            m_error = "cannot open the archive " + DescribeLocation(location) + ": " +
                      db.lastError().text();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(m_impl->connection);
            return false;
        }
        m_impl->open = true;
        QString error;
        // WAL: readers never wait for the writer, and a killed writer leaves only an unfinished
        // transaction that the next opening rolls back. FULL: every commit is on the disk.
        const bool ready =
            location.server ? Exec(db, "SET client_min_messages TO WARNING", error)
                            : Exec(db, "PRAGMA journal_mode=WAL", error) &&
                                  Exec(db, "PRAGMA synchronous=FULL", error) &&
                                  // Searches scan the session table: let them read it from memory.
                                  Exec(db, "PRAGMA mmap_size=268435456", error) &&
                                  Exec(db, "PRAGMA cache_size=-32768", error) &&
                                  Exec(db, "PRAGMA foreign_keys=ON", error);
        if (!ready || !MigrateSchema(db, location.server, version, error)) {
            m_error = "cannot use the archive " + DescribeLocation(location) + ": " + error;
            db = QSqlDatabase();
            Close();
            return false;
        }
    }
    return true;
}

void SessionArchive::Close() {
    if (!m_impl->open) {
        return;
    }
    {
        QSqlDatabase db = m_impl->Db();
        db.close();
    }
    QSqlDatabase::removeDatabase(m_impl->connection);
    m_impl->open = false;
}

bool SessionArchive::IsOpen() const {
    return m_impl->open;
}

QString SessionArchive::ConnectionName() const {
    return m_impl->connection;
}

bool SessionArchive::IsServer() const {
    return m_impl->location.server;
}

int SessionArchive::SchemaVersion() {
    QSqlDatabase db = m_impl->Db();
    return ReadSchemaVersion(db, m_error);
}

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

qint64 SessionArchive::BeginDownload(qint64 instrument, const QString& source) {
    return InsertDownload(instrument, source);
}

qint64 SessionArchive::InsertDownload(qint64 instrument, const QString& source) {
    QSqlQuery query(m_impl->Db());
    query.prepare("INSERT INTO downloads (instrument_id, source, started_at) VALUES (?, ?, ?)"
                  " RETURNING id");
    query.addBindValue(instrument);
    query.addBindValue(source);
    query.addBindValue(Now());
    if (!Run(query, m_error) || !query.next()) {
        return -1;
    }
    return query.value(0).toLongLong();
}

bool SessionArchive::FinishDownload(qint64 download) {
    QSqlQuery query(m_impl->Db());
    query.prepare("UPDATE downloads SET finished_at = ? WHERE id = ?");
    query.addBindValue(Now());
    query.addBindValue(download);
    return Run(query, m_error);
}

bool SessionArchive::RecordIndex(qint64 download, const QByteArray& indexBytes) {
    QSqlQuery query(m_impl->Db());
    query.prepare("INSERT INTO index_uploads (download_id, seen_at, bytes) VALUES (?, ?, ?)");
    query.addBindValue(download);
    query.addBindValue(Now());
    query.addBindValue(indexBytes);
    return Run(query, m_error);
}

namespace {

// One attempt at storing a session inside the caller's transaction.
StoreResult StoreOnce(QSqlDatabase& db, qint64 instrument, qint64 download,
                      const CapturedSession& s, QString& error) {
    const QString digest = Digest(s.sector);
    const qint64 now = Now();
    // Bounded: every round either finishes or saw another writer change the row it aimed at.
    for (int round = 0; round < 8; ++round) {
        const QVariant stamp = static_cast<qint64>(s.stamp);
        QSqlQuery same(db);
        if (!Run(same,
                 "SELECT id FROM sessions WHERE instrument_id = ? AND slot = ? AND stamp = ?"
                 " AND digest = ?",
                 {instrument, s.slot, stamp, digest}, error)) {
            return StoreResult::Failed;
        }
        if (same.next()) {
            QSqlQuery seen(db);
            return Run(seen,
                       "UPDATE sessions SET last_seen = ?, last_download = ?,"
                       " complete = CASE WHEN ? = 1 THEN 1 ELSE complete END WHERE id = ?",
                       {now, download, s.complete ? 1 : 0, same.value(0)}, error)
                       ? StoreResult::Seen
                       : StoreResult::Failed;
        }
        QSqlQuery open(db);
        if (s.dated && !Run(open,
                            "SELECT id, digest, first_seen FROM sessions WHERE instrument_id = ?"
                            " AND slot = ? AND stamp = ? AND complete = 0 ORDER BY id DESC",
                            {instrument, s.slot, stamp}, error)) {
            return StoreResult::Failed;
        }
        if (s.dated) {
            // Still being recorded when it was last seen: the newer bytes replace it.
            if (open.next()) {
                const qint64 id = open.value(0).toLongLong();
                const QString oldDigest = open.value(1).toString();
                QSqlQuery replace(db);
                replace.prepare(
                    QString("UPDATE sessions SET (%1, %2) = (%3) WHERE id = ? AND digest = ?")
                        .arg(kSeenColumns, kSummaryColumns,
                             Marks(kSeenColumnCount + kSummaryColumnCount)));
                BindSeen(replace, s, digest, now, download);
                replace.addBindValue(id);
                replace.addBindValue(oldDigest);
                if (!Run(replace, error)) {
                    return StoreResult::Failed;
                }
                if (replace.numRowsAffected() == 1) {
                    QSqlQuery bytes(db);
                    bytes.prepare("UPDATE session_bytes SET (sector, overrun) = (?, ?)"
                                  " WHERE session_id = ?");
                    bytes.addBindValue(s.sector);
                    bytes.addBindValue(Bytes(s.overrun));
                    bytes.addBindValue(id);
                    if (!Run(bytes, error)) {
                        return StoreResult::Failed;
                    }
                    QSqlQuery history(db);
                    history.prepare("INSERT INTO session_history (session_id, digest, first_seen,"
                                    " replaced_at, replaced_by) VALUES (?, ?, ?, ?, ?)");
                    history.addBindValue(id);
                    history.addBindValue(oldDigest);
                    history.addBindValue(open.value(2).toLongLong());
                    history.addBindValue(now);
                    history.addBindValue(download);
                    return Run(history, error) ? StoreResult::Replaced : StoreResult::Failed;
                }
                continue; // another writer replaced it first: look again
            }
        }
        QSqlQuery insert(db);
        insert.prepare(QString("INSERT INTO sessions (instrument_id, slot, stamp, dated,"
                               " first_seen, first_download, %1, %2)"
                               " VALUES (%3)"
                               " ON CONFLICT (instrument_id, slot, stamp, digest) DO NOTHING"
                               " RETURNING id")
                           .arg(kSeenColumns, kSummaryColumns,
                                Marks(6 + kSeenColumnCount + kSummaryColumnCount)));
        insert.addBindValue(instrument);
        insert.addBindValue(s.slot);
        insert.addBindValue(static_cast<qint64>(s.stamp));
        insert.addBindValue(s.dated ? 1 : 0);
        insert.addBindValue(now);
        insert.addBindValue(download);
        BindSeen(insert, s, digest, now, download);
        if (!Run(insert, error)) {
            return StoreResult::Failed;
        }
        if (insert.next()) {
            const qint64 id = insert.value(0).toLongLong();
            insert.finish();
            QSqlQuery bytes(db);
            bytes.prepare(
                "INSERT INTO session_bytes (session_id, sector, overrun) VALUES (?, ?, ?)");
            bytes.addBindValue(id);
            bytes.addBindValue(s.sector);
            bytes.addBindValue(Bytes(s.overrun));
            return Run(bytes, error) ? StoreResult::New : StoreResult::Failed;
        }
        // Another writer stored the same bytes first: it is then seen, on the next round.
    }
    error = "the session of slot " + QString::number(s.slot) + " kept changing under this writer";
    return StoreResult::Failed;
}

void Count(StoreResult result, StoreCounts& counts) {
    counts.added += result == StoreResult::New ? 1 : 0;
    counts.seen += result == StoreResult::Seen ? 1 : 0;
    counts.replaced += result == StoreResult::Replaced ? 1 : 0;
}

} // namespace

StoreResult SessionArchive::Store(qint64 download, const CapturedSession& session) {
    StoreCounts counts;
    if (!StoreAll(download, std::vector<CapturedSession>{session}, counts)) {
        return StoreResult::Failed;
    }
    return counts.added      ? StoreResult::New
           : counts.replaced ? StoreResult::Replaced
                             : StoreResult::Seen;
}

bool SessionArchive::StoreAll(qint64 download, const std::vector<CapturedSession>& sessions,
                              StoreCounts& counts) {
    QSqlDatabase db = m_impl->Db();
    QSqlQuery owner(db);
    owner.prepare("SELECT instrument_id FROM downloads WHERE id = ?");
    owner.addBindValue(download);
    if (!Run(owner, m_error)) {
        return false;
    }
    if (!owner.next()) {
        m_error = "no download " + QString::number(download) + " in the archive";
        return false;
    }
    const qint64 instrument = owner.value(0).toLongLong();
    // A statement left open holds its read snapshot, and SQLite refuses, without waiting, to
    // let a transaction write from a snapshot that another writer has since moved past.
    owner.finish();
    return Transact([&]() {
        counts = StoreCounts();
        for (const CapturedSession& session : sessions) {
            const StoreResult result = StoreOnce(db, instrument, download, session, m_error);
            if (result == StoreResult::Failed) {
                return false;
            }
            Count(result, counts);
        }
        return true;
    });
}

qint64 SessionArchive::ImportDump(qint64 instrument, const QString& source,
                                  const QByteArray& indexBytes,
                                  const std::vector<CapturedSession>& sessions,
                                  StoreCounts& counts) {
    QSqlDatabase db = m_impl->Db();
    qint64 download = -1;
    const bool done = Transact([&]() {
        counts = StoreCounts();
        download = InsertDownload(instrument, source);
        if (download < 0 || !RecordIndex(download, indexBytes)) {
            return false;
        }
        for (const CapturedSession& session : sessions) {
            const StoreResult result = StoreOnce(db, instrument, download, session, m_error);
            if (result == StoreResult::Failed) {
                return false;
            }
            Count(result, counts);
        }
        return FinishDownload(download);
    });
    return done ? download : -1;
}

bool SessionArchive::Transact(const std::function<bool()>& body) {
    QSqlDatabase db = m_impl->Db();
    for (int attempt = 1;; ++attempt) {
        bool done = false;
        {
            SqlTransaction transaction(db, m_impl->location.server);
            done = transaction.Begun(m_error) && body() && transaction.Commit(m_error);
        }
        // A server may abort a transaction that lost a race with another writer (and SQLite
        // may refuse a busy one); the work is then done again from the start, against what the
        // winner committed.
        if (done || attempt >= kStoreAttempts) {
            return done;
        }
    }
}

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
        where << "(i.name = ? OR i.fingerprint = ?)";
        values << filter.instrument << filter.instrument;
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
    if (!Run(query, m_error)) {
        return false;
    }
    while (query.next()) {
        take(detail == ListDetail::Line ? ReadLine(query) : ReadListed(query, detail));
    }
    m_error.clear();
    return true;
}

bool SessionArchive::Load(qint64 id, LoadedSession& session) {
    QSqlQuery query(m_impl->Db());
    query.prepare(QString("SELECT %1, s.name, b.sector, b.overrun, i.mode_names FROM sessions s"
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
    return true;
}

bool SessionArchive::Stats(ArchiveStats& stats) {
    QSqlQuery query(m_impl->Db());
    if (!query.exec(
            "SELECT (SELECT COUNT(*) FROM instruments), (SELECT COUNT(*) FROM sessions),"
            " (SELECT COUNT(*) FROM sessions WHERE complete = 1),"
            " (SELECT COUNT(*) FROM downloads), (SELECT COUNT(*) FROM index_uploads),"
            " (SELECT COUNT(*) FROM session_history),"
            " (SELECT COALESCE(SUM(LENGTH(sector) + LENGTH(overrun)), 0) FROM session_bytes),"
            " (SELECT MIN(day) FROM sessions WHERE day <> ''),"
            " (SELECT MAX(day) FROM sessions WHERE day <> '')") ||
        !query.next()) {
        m_error = query.lastError().text();
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
    QSqlQuery each(m_impl->Db());
    if (!each.exec("SELECT CASE WHEN i.name = '' THEN i.fingerprint ELSE i.name END,"
                   " COUNT(s.id), COALESCE(MAX(s.day), '') FROM instruments i"
                   " LEFT JOIN sessions s ON s.instrument_id = i.id"
                   " GROUP BY i.id, i.name, i.fingerprint ORDER BY i.id")) {
        m_error = each.lastError().text();
        return false;
    }
    stats.perInstrument.clear();
    while (each.next()) {
        stats.perInstrument << QString("%1: %2 sessions, the latest of %3")
                                   .arg(each.value(0).toString())
                                   .arg(each.value(1).toLongLong())
                                   .arg(each.value(2).toString().isEmpty()
                                            ? QString("no date")
                                            : each.value(2).toString());
    }
    return true;
}

int SessionArchive::RefreshSummaries() {
    QSqlDatabase db = m_impl->Db();
    QSqlQuery stale(db);
    stale.setForwardOnly(true);
    stale.prepare("SELECT s.id, s.slot, s.stamp, s.dated, s.name, b.sector, b.overrun, s.alarm,"
                  " s.calibration, s.complete"
                  " FROM sessions s JOIN session_bytes b ON b.session_id = s.id"
                  " WHERE s.summary_version < ?");
    stale.addBindValue(SessionSummary::kVersion);
    if (!Run(stale, m_error)) {
        return -1;
    }
    struct Pending {
        qint64 id;
        SessionSummary summary;
        ListingParts line;
    };
    std::vector<Pending> pending;
    std::unique_ptr<LogImage> image;
    while (stale.next()) {
        if (!image) {
            image.reset(new LogImage);
        }
        const int16_t slot = static_cast<int16_t>(stale.value(1).toInt());
        RestoreSession(*image, slot, stale.value(4).toByteArray(), stale.value(5).toByteArray(),
                       stale.value(6).toByteArray());
        const bool dated = stale.value(3).toInt() != 0;
        Pending p{stale.value(0).toLongLong(),
                  SummariseSession(*image, slot, static_cast<uint32_t>(stale.value(2).toLongLong()),
                                   dated),
                  {}};
        p.line =
            MakeListingParts(slot, dated, stale.value(7).toInt() != 0, stale.value(8).toInt() != 0,
                             stale.value(9).toInt() != 0, p.summary);
        pending.push_back(std::move(p));
    }
    stale.finish();
    if (pending.empty()) {
        return 0;
    }
    SqlTransaction transaction(db, m_impl->location.server);
    if (!transaction.Begun(m_error)) {
        return -1;
    }
    for (const Pending& p : pending) {
        QSqlQuery update(db);
        update.prepare(QString("UPDATE sessions SET (%1) = (%2) WHERE id = ?")
                           .arg(kSummaryColumns, Marks(kSummaryColumnCount)));
        BindSummary(update, p.summary, p.line);
        update.addBindValue(p.id);
        if (!Run(update, m_error)) {
            return -1;
        }
    }
    return transaction.Commit(m_error) ? static_cast<int>(pending.size()) : -1;
}

} // namespace archive
