#include "archive/Schema.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QUuid>
#include <QVariant>

#include "archive/SqlSteps.h"

namespace archive {
namespace {

// Written once for both engines: %ID% and %BLOB% become each engine's own spelling.
const char* const kVersion1[] = {
    "CREATE TABLE instruments (id %ID%, fingerprint TEXT NOT NULL UNIQUE,"
    " name TEXT NOT NULL DEFAULT '', driver_text %BLOB%, config_block %BLOB%,"
    " mode_names %BLOB%, first_seen BIGINT NOT NULL)",
    "CREATE TABLE downloads (id %ID%, instrument_id BIGINT NOT NULL REFERENCES instruments(id),"
    " source TEXT NOT NULL, started_at BIGINT NOT NULL, finished_at BIGINT)",
    "CREATE TABLE index_uploads (id %ID%, download_id BIGINT NOT NULL REFERENCES downloads(id),"
    " seen_at BIGINT NOT NULL, bytes %BLOB% NOT NULL)",
    "CREATE TABLE sessions (id %ID%, instrument_id BIGINT NOT NULL REFERENCES instruments(id),"
    " slot INTEGER NOT NULL, stamp BIGINT NOT NULL, name %BLOB% NOT NULL,"
    " dated INTEGER NOT NULL, alarm INTEGER NOT NULL, calibration INTEGER NOT NULL,"
    " complete INTEGER NOT NULL, digest TEXT NOT NULL, day TEXT NOT NULL, start_time TEXT NOT NULL,"
    " first_seen BIGINT NOT NULL, first_download BIGINT NOT NULL REFERENCES downloads(id),"
    " last_seen BIGINT NOT NULL, last_download BIGINT NOT NULL REFERENCES downloads(id),"
    " UNIQUE (instrument_id, slot, stamp, digest))",
    "CREATE INDEX sessions_day ON sessions (day, start_time)",
    // The raw bytes live apart so that searching the sessions never reads them.
    "CREATE TABLE session_bytes (session_id BIGINT PRIMARY KEY REFERENCES sessions(id),"
    " sector %BLOB% NOT NULL, overrun %BLOB% NOT NULL)",
    nullptr,
};

// The searchable summary beyond the day and start, and the history of replaced copies.
const char* const kVersion2[] = {
    "ALTER TABLE sessions ADD COLUMN end_time TEXT NOT NULL DEFAULT ''",
    "ALTER TABLE sessions ADD COLUMN mode TEXT NOT NULL DEFAULT ''",
    "ALTER TABLE sessions ADD COLUMN jobs TEXT NOT NULL DEFAULT ''",
    "ALTER TABLE sessions ADD COLUMN users TEXT NOT NULL DEFAULT ''",
    "ALTER TABLE sessions ADD COLUMN alarm_count INTEGER NOT NULL DEFAULT 0",
    "ALTER TABLE sessions ADD COLUMN alarm_gases TEXT NOT NULL DEFAULT ''",
    "ALTER TABLE sessions ADD COLUMN peaks TEXT NOT NULL DEFAULT ''",
    "ALTER TABLE sessions ADD COLUMN calibrations TEXT NOT NULL DEFAULT ''",
    "ALTER TABLE sessions ADD COLUMN bumps TEXT NOT NULL DEFAULT ''",
    "ALTER TABLE sessions ADD COLUMN gps INTEGER NOT NULL DEFAULT 0",
    // 0: made before summaries existed; made again from the raw bytes on the next opening.
    "ALTER TABLE sessions ADD COLUMN summary_version INTEGER NOT NULL DEFAULT 0",
    "CREATE TABLE session_history (id %ID%, session_id BIGINT NOT NULL REFERENCES sessions(id),"
    " digest TEXT NOT NULL, first_seen BIGINT NOT NULL, replaced_at BIGINT NOT NULL,"
    " replaced_by BIGINT NOT NULL REFERENCES downloads(id))",
    "CREATE INDEX sessions_key ON sessions (instrument_id, slot, stamp)",
    "CREATE INDEX sessions_summary ON sessions (summary_version)",
    nullptr,
};

// Each session keeps its line of the listing (made with the summary: the summaries' version 2
// remakes them for the sessions already stored), and listings walk one index, already in their
// order (undated last, then day, start, id). In SQLite the index also holds every column that a
// search filters on and the line, so that a listing never reads the wide rows (%COVERING%);
// PostgreSQL limits an index entry to about a third of a page, which a long list of jobs or users
// would pass, so there it keeps the order only.
const char* const kVersion3[] = {
    "ALTER TABLE sessions ADD COLUMN line_head TEXT NOT NULL DEFAULT ''",
    "ALTER TABLE sessions ADD COLUMN line_tail TEXT NOT NULL DEFAULT ''",
    "CREATE INDEX sessions_listing ON sessions (dated DESC, day, start_time, id%COVERING%)",
    nullptr,
};

// Each physical instrument its own: the unique key becomes who the instrument is ("serial:" and
// its serial number, "name:" and the name the user gave it, or for one with neither, its
// fingerprint as before), and the fingerprint a check kept beside it. Instruments stored before
// serial numbers were read keep their rows and sessions: one with a name is known by it, one
// without keeps its fingerprint. Names become unique (a later instrument of a name already taken
// gets " #" and its id), as renaming and filing by name need.
const char* const kVersion4[] = {
    "ALTER TABLE instruments RENAME COLUMN fingerprint TO identity_key",
    "ALTER TABLE instruments ADD COLUMN fingerprint TEXT NOT NULL DEFAULT ''",
    "ALTER TABLE instruments ADD COLUMN serial_number TEXT NOT NULL DEFAULT ''",
    "UPDATE instruments SET fingerprint = identity_key WHERE identity_key LIKE 'tavon:%'",
    "UPDATE instruments SET name = name || ' #' || CAST(id AS TEXT) WHERE name <> '' AND"
    " id > (SELECT MIN(o.id) FROM instruments o WHERE o.name = instruments.name)",
    "UPDATE instruments SET identity_key = 'name:' || name WHERE name <> ''",
    "CREATE UNIQUE INDEX instruments_name ON instruments (name) WHERE name <> ''",
    nullptr,
};

// The audit trail: an append-only history of every change, each row chained to the one before
// by its hash. The hashes are made by the program, not in SQL, so the first row (naming the
// sessions already archived) is written on the next opening, which history_start asks for.
const char* const kVersion5[] = {
    "CREATE TABLE archive_history (seq BIGINT PRIMARY KEY, changed_at BIGINT NOT NULL,"
    " os_user TEXT NOT NULL, host TEXT NOT NULL, kind TEXT NOT NULL, detail TEXT NOT NULL,"
    " sessions TEXT NOT NULL, previous TEXT NOT NULL, hash TEXT NOT NULL)",
    "CREATE TABLE history_start (pending INTEGER NOT NULL)",
    "INSERT INTO history_start (pending) VALUES (1)",
    nullptr,
};

// The instrument register: each session's tests, one row per sensor tested, made from the stored
// bytes by the register's decoder of version events_version (0: not yet, or replaced since); the
// outcomes that decide the sensors' status packed in one column of the session (in SQLite in an
// index with the instrument and switch-on, so that the register reads nothing else); the
// service intervals of the archive (scope 0) and of each instrument (its id; NULL: the archive's).
const char* const kVersion6[] = {
    "ALTER TABLE sessions ADD COLUMN events_version INTEGER NOT NULL DEFAULT 0",
    "ALTER TABLE sessions ADD COLUMN tests TEXT NOT NULL DEFAULT ''",
    "CREATE INDEX sessions_events ON sessions (events_version)",
    "CREATE INDEX sessions_tests ON sessions (instrument_id, stamp%TESTS%)",
    "CREATE TABLE session_events (id %ID%, session_id BIGINT NOT NULL REFERENCES sessions(id),"
    " instrument_id BIGINT NOT NULL REFERENCES instruments(id), kind TEXT NOT NULL,"
    " sensor INTEGER NOT NULL, stamp BIGINT NOT NULL, result TEXT NOT NULL,"
    " reading TEXT NOT NULL, user_name TEXT NOT NULL, job TEXT NOT NULL)",
    "CREATE INDEX session_events_session ON session_events (session_id)",
    "CREATE INDEX session_events_time ON session_events (instrument_id, stamp)",
    // What followed a failure: the first pass of its kind and sensor after it, one seek.
    "CREATE INDEX session_events_outcome ON session_events (instrument_id, kind, sensor, result,"
    " stamp)",
    "CREATE TABLE service_intervals (scope BIGINT PRIMARY KEY, bump_days INTEGER,"
    " calibration_days INTEGER, warning_days INTEGER)",
    nullptr,
};

// The firmware version each instrument reported last.
const char* const kVersion7[] = {
    "ALTER TABLE instruments ADD COLUMN firmware TEXT NOT NULL DEFAULT ''",
    nullptr,
};

// Every block of bytes an instrument sent under the history: a replaced copy of a session keeps its
// bytes (name, sector, overrun; empty in the rows of copies replaced before), and the index uploads
// already kept get their hashes recorded by a history row on the next opening (pending 2).
const char* const kVersion8[] = {
    "ALTER TABLE session_history ADD COLUMN name %BLOB%",
    "ALTER TABLE session_history ADD COLUMN sector %BLOB%",
    "ALTER TABLE session_history ADD COLUMN overrun %BLOB%",
    "INSERT INTO history_start (pending) VALUES (2)",
    nullptr,
};

// Archives that merge: each archive's identity, made once (%NEWID%, a fresh UUID); a copy of a
// session kept beside it because another archive held other bytes for it that neither extends
// (conflict 1); the history rows of every other archive synced in, kept as that archive wrote them
// so that their hashes still prove what they proved; and which instrument of another archive is
// which one here, so that a second sync files it the same way even where it had to be renamed.
const char* const kVersion9[] = {
    "CREATE TABLE archive_identity (id TEXT PRIMARY KEY, made_at BIGINT NOT NULL)",
    "INSERT INTO archive_identity (id, made_at) VALUES (%NEWID%, %NOW%)",
    "ALTER TABLE session_history ADD COLUMN conflict INTEGER NOT NULL DEFAULT 0",
    "CREATE INDEX session_history_session ON session_history (session_id)",
    "CREATE TABLE origin_history (origin TEXT NOT NULL, seq BIGINT NOT NULL,"
    " changed_at BIGINT NOT NULL, os_user TEXT NOT NULL, host TEXT NOT NULL, kind TEXT NOT NULL,"
    " detail TEXT NOT NULL, sessions TEXT NOT NULL, previous TEXT NOT NULL, hash TEXT NOT NULL,"
    " PRIMARY KEY (origin, seq))",
    "CREATE TABLE synced_instruments (origin TEXT NOT NULL, origin_id BIGINT NOT NULL,"
    " instrument_id BIGINT NOT NULL REFERENCES instruments(id), PRIMARY KEY (origin, origin_id))",
    nullptr,
};

// Signed history: each row of this archive's chain and of the other archives' chains carries its
// writer's public key and signature (empty in the rows written before); each chain's signers'
// keys are kept with the first row each signed (origin '' for this archive's own chain).
const char* const kVersion10[] = {
    "ALTER TABLE archive_history ADD COLUMN signer TEXT NOT NULL DEFAULT ''",
    "ALTER TABLE archive_history ADD COLUMN signature TEXT NOT NULL DEFAULT ''",
    "ALTER TABLE origin_history ADD COLUMN signer TEXT NOT NULL DEFAULT ''",
    "ALTER TABLE origin_history ADD COLUMN signature TEXT NOT NULL DEFAULT ''",
    "CREATE TABLE history_keys (origin TEXT NOT NULL, public_key TEXT NOT NULL,"
    " first_seq BIGINT NOT NULL, first_at BIGINT NOT NULL, os_user TEXT NOT NULL,"
    " host TEXT NOT NULL, PRIMARY KEY (origin, public_key))",
    nullptr,
};

// Each instrument an identity of its own, made once where it was first archived and carried by
// every sync, so that an instrument known by its name alone is recognised when it comes back
// from another archive, under whatever name it was given there (%RANDOMID%: a random one per row).
const char* const kVersion11[] = {
    "ALTER TABLE instruments ADD COLUMN uid TEXT NOT NULL DEFAULT ''",
    "UPDATE instruments SET uid = %RANDOMID%",
    "CREATE UNIQUE INDEX instruments_uid ON instruments (uid) WHERE uid <> ''",
    nullptr,
};

// Sign-offs signed by personal keys: no table changes. The row from which that holds is written
// in this version's own transaction by the opening's step (MigrateSchema), so that a version
// recorded is never without its row, and the sign-offs written before keep verifying as they did.
const char* const kVersion12[] = {
    nullptr,
};

const char* const* const kVersions[] = {kVersion1, kVersion2,  kVersion3,  kVersion4,
                                        kVersion5, kVersion6,  kVersion7,  kVersion8,
                                        kVersion9, kVersion10, kVersion11, kVersion12};
constexpr int kVersionCount = sizeof kVersions / sizeof kVersions[0];

// What each version adds that tells it from the one before, newest first: a table, or a column of
// one (version 12 adds none). The newest found is the least version the tables are of.
const struct {
    int version;
    const char* table;
    const char* column; // nullptr: the table itself
} kVersionMarks[] = {
    {11, "instruments", "uid"},       {10, "archive_history", "signer"},
    {9, "archive_identity", nullptr}, {8, "session_history", "sector"},
    {7, "instruments", "firmware"},   {6, "session_events", nullptr},
    {5, "archive_history", nullptr},  {4, "instruments", "serial_number"},
    {3, "sessions", "line_head"},     {2, "session_history", nullptr},
    {1, "sessions", nullptr},
};

// The server-wide key of the schema migrations' lock (any number no other user of the database
// takes for its own).
constexpr qint64 kMigrationLock = 0x7A0A7A0A;

QString Spelled(const char* statement, bool server) {
    QString text = QString::fromLatin1(statement);
    text.replace("%ID%", server ? "BIGSERIAL PRIMARY KEY" : "INTEGER PRIMARY KEY");
    text.replace("%BLOB%", server ? "BYTEA" : "BLOB");
    text.replace("%COVERING%", server ? ""
                                      : ", alarm, alarm_count, calibration, calibrations, jobs,"
                                        " users, instrument_id, line_head, line_tail");
    text.replace("%TESTS%", server ? "" : ", dated, tests");
    text.replace("%RANDOMID%", server ? "md5(random()::text || clock_timestamp()::text || id::text)"
                                      : "lower(hex(randomblob(16)))");
    if (text.contains("%NEWID%")) {
        text.replace("%NEWID%", "'" + QUuid::createUuid().toString(QUuid::WithoutBraces) + "'");
        text.replace("%NOW%", QString::number(QDateTime::currentMSecsSinceEpoch()));
    }
    return text;
}

// The least version whose tables the database holds (0: none of them).
int TablesVersion(QSqlDatabase& db) {
    const QStringList tables = db.tables();
    for (const auto& mark : kVersionMarks) {
        if (tables.contains(mark.table) &&
            (mark.column == nullptr || db.record(mark.table).contains(mark.column))) {
            return mark.version;
        }
    }
    return 0;
}

bool ApplyVersion(QSqlDatabase& db, bool server, int version, const MigrationStep& step,
                  QString& error) {
    SqlTransaction transaction(db, server);
    if (!transaction.Begun(error)) {
        return false;
    }
    // SQLite's BEGIN IMMEDIATE already lets one writer in at a time. On a server, two programs
    // opening a new archive at once would both alter the same tables and one would fail ("column
    // already exists"): the server's own lock, held to the end of the transaction, makes the
    // second wait and then find the version done.
    if (server &&
        !Exec(db, QString("SELECT pg_advisory_xact_lock(%1)").arg(kMigrationLock), error)) {
        return false;
    }
    // Read again inside the transaction: another process may have got here first.
    const int now = ReadSchemaVersion(db, error);
    if (now < 0) {
        return false;
    }
    if (now >= version) {
        return transaction.Commit(error);
    }
    for (const char* const* statement = kVersions[version - 1]; *statement != nullptr;
         ++statement) {
        if (!Exec(db, Spelled(*statement, server), error)) {
            return false;
        }
    }
    QSqlQuery mark(db);
    mark.prepare("INSERT INTO schema_migrations (version, applied_at) VALUES (?, ?)");
    mark.addBindValue(version);
    mark.addBindValue(QDateTime::currentMSecsSinceEpoch());
    if (!mark.exec()) {
        error = mark.lastError().text();
        return false;
    }
    return (!step || step(version, error)) && transaction.Commit(error);
}

} // namespace

int LatestSchemaVersion() {
    return kVersionCount;
}

int ReadSchemaVersion(QSqlDatabase& db, QString& error) {
    QSqlQuery query(db);
    if (!query.exec("SELECT COALESCE(MAX(version), 0) FROM schema_migrations") || !query.next()) {
        error = query.lastError().text();
        return -1;
    }
    return query.value(0).toInt();
}

bool MigrateSchema(QSqlDatabase& db, bool server, int target, const MigrationStep& step,
                   QString& error) {
    if (target > kVersionCount) {
        target = kVersionCount;
    }
    // Read before the recorded version: a migration commits its tables and its record together,
    // so another process migrating meanwhile can only make the record the newer of the two.
    const int held = TablesVersion(db);
    for (int failures = 0;;) {
        QString failure;
        if (!Exec(db,
                  "CREATE TABLE IF NOT EXISTS schema_migrations (version INTEGER PRIMARY KEY,"
                  " applied_at BIGINT NOT NULL)",
                  failure)) {
            if (++failures < 4) {
                continue;
            }
            error = failure;
            return false;
        }
        const int now = ReadSchemaVersion(db, failure);
        if (now > kVersionCount) {
            error = QString("the archive's schema is version %1, newer than this program's %2")
                        .arg(now)
                        .arg(kVersionCount);
            return false;
        }
        // Versions taken out of the record by hand: migrated again, they would fail on their own
        // tables half way, or act again on what they did once.
        if (now >= 0 && now < held) {
            error = QString("the archive records schema version %1 but holds the tables of a later"
                            " version (changed outside this program)")
                        .arg(now);
            return false;
        }
        if (now >= target) {
            return true;
        }
        if (!ApplyVersion(db, server, now + 1, step, failure) && ++failures >= 4) {
            error = "cannot bring the archive's schema to version " + QString::number(now + 1) +
                    ": " + failure;
            return false;
        }
    }
}

} // namespace archive
