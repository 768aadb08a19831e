// SessionArchive's connection: where the archive is, opening it on either engine with its
// schema brought up to date, and the transactions every write runs in.
#include <QAtomicInt>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

#include "SessionArchiveImpl.h"
#include "archive/HistoryChain.h"
#include "archive/Schema.h"
#include "archive/SqlSteps.h"

namespace archive {
namespace {

// How long a SQLite writer waits for another one to finish its transaction.
constexpr int kBusyTimeoutMs = 60000;
// A session is stored again from the start when its transaction lost a race it could not
// settle inside (a server that aborted it); more than this many lost races is an error.
constexpr int kStoreAttempts = 4;

QAtomicInt g_connections;

} // namespace

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

bool SessionArchive::Open(const QString& location, OpenMode mode) {
    if (!OpenAtVersion(location, LatestSchemaVersion(), mode)) {
        return false;
    }
    if (RefreshSummaries() < 0) {
        m_error = "cannot use the archive " + Where() +
                  ": the listing lines of its sessions could not be made anew: " + m_error;
        Close();
        return false;
    }
    return true;
}

namespace {

// Whether the open database holds an archive: the table of its schema's versions, which the first
// migration makes before anything else. Read before anything is written, so that asking it of a
// database that holds none leaves that database as it was.
bool HoldsArchive(QSqlDatabase& db, bool server, bool& holds, QString& error) {
    QSqlQuery query(db);
    const bool read =
        query.exec(server ? "SELECT to_regclass('schema_migrations') IS NOT NULL"
                          : "SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND"
                            " name = 'schema_migrations'") &&
        query.next();
    if (!read) {
        error = DatabaseSaid(query.lastError());
        return false;
    }
    holds = query.value(0).toBool();
    return true;
}

// A SQLite file that holds no database at all (a text, a document): said as such rather than in
// the driver's words, before any statement could write to it. SQLite's SQLITE_NOTADB.
bool NotADatabase(QSqlDatabase& db) {
    QSqlQuery query(db);
    return !query.exec("SELECT COUNT(*) FROM sqlite_master") &&
           query.lastError().nativeErrorCode() == QLatin1String("26");
}

// The connection's settings for the location; false with a message when a SQLite file's folder
// cannot be made, or (ExistingOnly) the file is not there: nothing is made for a reader.
bool Connect(QSqlDatabase& db, const ArchiveLocation& location, SessionArchive::OpenMode mode,
             QString& error) {
    if (location.server) {
        db.setHostName(location.host);
        db.setPort(location.port);
        db.setUserName(location.user);
        db.setPassword(location.password);
        db.setDatabaseName(location.database);
        db.setConnectOptions(ConnectOptions(location, "connect_timeout=10"));
        return true;
    }
    const QFileInfo file(location.file);
    if (mode == SessionArchive::OpenMode::ExistingOnly && !file.isFile()) {
        error = "no archive at " + DescribeLocation(location);
        return false;
    }
    if (!QDir().mkpath(file.absolutePath())) {
        error = "cannot make the folder " + file.absolutePath();
        return false;
    }
    db.setDatabaseName(location.file);
    db.setConnectOptions(QString("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    return true;
}

// What was being done when a step of opening failed, in our words, before the database's own.
bool Step(bool done, const char* what, QString& error) {
    if (!done) {
        error = QString(what) + ": " + error;
    }
    return done;
}

// The connection set up and the schema brought up to `version`, the history begun where it has
// one: `history` and `allBytes` say what the schema has.
bool Prepare(QSqlDatabase& db, bool server, int version, bool& history, bool& allBytes,
             QString& error) {
    // WAL: readers never wait for the writer, and a killed writer leaves only an unfinished
    // transaction that the next opening rolls back. FULL: every commit is on the disk.
    const bool ready = Step(server ? Exec(db, "SET client_min_messages TO WARNING", error)
                                   : Exec(db, "PRAGMA journal_mode=WAL", error) &&
                                         Exec(db, "PRAGMA synchronous=FULL", error) &&
                                         // Searches scan the session table: let them read it
                                         // from memory.
                                         Exec(db, "PRAGMA mmap_size=268435456", error) &&
                                         Exec(db, "PRAGMA cache_size=-32768", error) &&
                                         Exec(db, "PRAGMA foreign_keys=ON", error),
                            "its connection could not be set up", error);
    // The history begins on the first opening at a schema that has it (an archive opened at an
    // older version for a migration's test has none).
    const int before =
        ready && db.tables().contains("schema_migrations") ? ReadSchemaVersion(db, error) : 0;
    // The personal keys' rule comes with the version that brings it, in its transaction: never a
    // version recorded without its row, and never a second row where the chain holds one.
    const MigrationStep step = [&db, server](int reached, QString& failure) {
        return reached != kPersonalSignOffVersion ||
               BeginHistory(db, server, true, PersonalRule::Due, failure);
    };
    const bool migrated = ready &&
                          Step(before >= 0, "its schema's version could not be read", error) &&
                          Step(MigrateSchema(db, server, version, step, error),
                               "its schema could not be checked and brought up to date", error);
    history = migrated && db.tables().contains("history_start");
    const int after = migrated ? ReadSchemaVersion(db, error) : -1;
    allBytes = after >= kAllBytesVersion;
    const PersonalRule rule =
        after >= kPersonalSignOffVersion ? PersonalRule::WithStart : PersonalRule::None;
    return migrated && Step(after >= 0, "its schema's version could not be read", error) &&
           (!history || Step(StartHistory(db, server, after > before, rule, error),
                             "its history could not be begun", error));
}

} // namespace

bool SessionArchive::OpenAtVersion(const QString& text, int version, OpenMode mode) {
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
        if (!Connect(db, location, mode, m_error)) {
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(m_impl->connection);
            return false;
        }
        if (!db.open()) {
            // One line, as every message of ours is: a server's refusal comes on several, with
            // the driver's own words after it.
            m_error = "cannot open the archive " + DescribeLocation(location) + ": " +
                      DatabaseSaid(db.lastError());
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(m_impl->connection);
            return false;
        }
        m_impl->open = true;
        if (!location.server && NotADatabase(db)) {
            m_error = DescribeLocation(location) + " is not an archive (not an SQLite database)";
            db = QSqlDatabase();
            Close();
            return false;
        }
        QString error;
        bool holds = true;
        if (mode == OpenMode::ExistingOnly &&
            (!HoldsArchive(db, location.server, holds, error) || !holds)) {
            m_error = holds ? "cannot use the archive " + DescribeLocation(location) +
                                  ": its tables could not be read: " + error
                            : "no archive at " + DescribeLocation(location);
            db = QSqlDatabase();
            Close();
            return false;
        }
        if (!Prepare(db, location.server, version, m_impl->history, m_impl->allBytes, error)) {
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

QString SessionArchive::Where() const {
    return DescribeLocation(m_impl->location);
}

QString SessionArchive::WhereFromAnywhere() const {
    return ShownLocation(Where());
}

QString SessionArchive::ShortName() const {
    const ArchiveLocation& location = m_impl->location;
    return location.server ? location.database : QFileInfo(location.file).completeBaseName();
}

QString SessionArchive::Identity() {
    QSqlDatabase db = m_impl->Db();
    if (!db.tables().contains("archive_identity")) {
        return QString();
    }
    QSqlQuery query(db);
    if (!Run(query, "SELECT id FROM archive_identity", {}, m_error) || !query.next()) {
        return QString();
    }
    return query.value(0).toString();
}

bool SessionArchive::IsServer() const {
    return m_impl->location.server;
}

int SessionArchive::SchemaVersion() {
    QSqlDatabase db = m_impl->Db();
    return ReadSchemaVersion(db, m_error);
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

} // namespace archive
