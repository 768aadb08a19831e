// The history's chain: what a row and a session's bytes hash to, and appending a row after the
// newest one without two writers ever taking the same one.
#include "archive/HistoryChain.h"

#include <QCryptographicHash>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <QVariant>

#include "KeyWarnings.h"
#include "archive/ArchiveValues.h"
#include "archive/Schema.h"
#include "archive/SessionFixed.h"
#include "archive/SigningKey.h"
#include "archive/SqlSteps.h"

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

namespace archive {
namespace {

// The server-wide key of the history's lock (the schema migrations take another).
constexpr qint64 kHistoryLock = 0x7A0A4157;

void AddField(QCryptographicHash& hash, const QByteArray& bytes) {
    hash.addData(QByteArray::number(bytes.size()));
    hash.addData(QByteArray(1, ':'));
    hash.addData(bytes);
}

QString Hex(const QCryptographicHash& hash) {
    return QString::fromLatin1(hash.result().toHex());
}

QString FindOsUser() {
    for (const char* name : {"USER", "LOGNAME", "USERNAME"}) {
        const QString user = qEnvironmentVariable(name);
        if (!user.isEmpty()) {
            return user;
        }
    }
#ifdef Q_OS_UNIX
    if (const passwd* entry = getpwuid(geteuid())) {
        return QString::fromLocal8Bit(entry->pw_name);
    }
#endif
    return QStringLiteral("unknown");
}

// Looked up once: getpwuid is not safe to call from two writers' threads at once.
QString OsUser() {
    static const QString user = FindOsUser();
    return user;
}

// The key that signs a row, and the writer the row names.
bool RowSigner(QSqlDatabase& db, const PersonalWriter* personal, int version, HistoryRow& row,
               SigningKey& own, const SigningKey*& signer, QString& error) {
    if (personal != nullptr) {
        if (version < kPersonalSignOffVersion || personal->key == nullptr) {
            error = "this archive's schema is older than personal signing keys";
            return false;
        }
        row.user = personal->name;
        signer = personal->key;
        return true;
    }
    bool made = false;
    if (!own.Load(error, &made) || !WarnOfUserKey(db, own, made, row.user, row.host, error)) {
        return false;
    }
    signer = &own;
    return true;
}

} // namespace

const char kPersonalRule[] = "from this row on, each sign-off is signed by a personal key";

bool IsPersonalRuleRow(const HistoryRow& row) {
    return row.kind == ChangeKindName(ChangeKind::Started) &&
           (row.detail == kPersonalRule || row.detail.endsWith(QString("; ") + kPersonalRule));
}

bool IsLowerHex(const QString& text, int digits) {
    if (text.size() != digits) {
        return false;
    }
    for (const QChar c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

bool IsHex64(const QString& text) {
    return IsLowerHex(text, 64);
}

bool IsInstrumentUid(const QString& text) {
    return IsLowerHex(text, 32);
}

bool LockHistory(QSqlDatabase& db, bool server, QString& error) {
    return !server ||
           Exec(db, QString("SELECT pg_advisory_xact_lock(%1)").arg(kHistoryLock), error);
}

QString HostName() {
    static const QString host = QSysInfo::machineHostName();
    return host.isEmpty() ? QStringLiteral("unknown") : host;
}

QString ChangeKindName(ChangeKind kind) {
    switch (kind) {
    case ChangeKind::Started:
        return QStringLiteral("started");
    case ChangeKind::Import:
        return QStringLiteral("import");
    case ChangeKind::Download:
        return QStringLiteral("download");
    case ChangeKind::Replace:
        return QStringLiteral("replace");
    case ChangeKind::Rename:
        return QStringLiteral("rename");
    case ChangeKind::Interval:
        return QStringLiteral("interval");
    case ChangeKind::Index:
        return QStringLiteral("index");
    case ChangeKind::Identity:
        return QStringLiteral("instrument");
    case ChangeKind::Sync:
        return QStringLiteral("sync");
    case ChangeKind::SignOff:
        return QStringLiteral("sign-off");
    case ChangeKind::Signer:
        return QStringLiteral("signer");
    }
    return QString();
}

QString StoredBytesHash(const QByteArray& name, const QByteArray& sector,
                        const QByteArray& overrun) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    AddField(hash, name);
    AddField(hash, sector);
    AddField(hash, overrun);
    return Hex(hash);
}

QString IndexBytesHash(const QByteArray& bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

QString InstrumentWords(const QString& name, const QString& serial, qint64 id) {
    if (!name.isEmpty()) {
        return '"' + name + '"' + (serial.isEmpty() ? QString() : ", serial number " + serial);
    }
    return serial.isEmpty() ? "unnamed " + QString::number(id) : "serial number " + serial;
}

bool DescribeInstrument(QSqlDatabase& db, qint64 instrument, QString& words, QString& error) {
    QSqlQuery query(db);
    if (!Run(query, "SELECT name, serial_number FROM instruments WHERE id = ?", {instrument},
             error)) {
        return false;
    }
    if (!query.next()) {
        error = "the archive holds no instrument " + QString::number(instrument);
        return false;
    }
    words = InstrumentWords(query.value(0).toString(), query.value(1).toString(), instrument);
    // An open statement would hold SQLite's read snapshot into the caller's writes.
    query.finish();
    return true;
}

SessionState StateOfComplete(bool complete) {
    return complete ? SessionState::Finished : SessionState::Open;
}

QString RowHash(const HistoryRow& row) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    AddField(hash, QByteArray::number(row.seq));
    AddField(hash, QByteArray::number(row.at));
    AddField(hash, row.user.toUtf8());
    AddField(hash, row.host.toUtf8());
    AddField(hash, row.kind.toUtf8());
    AddField(hash, row.detail.toUtf8());
    AddField(hash, SessionsText(row.sessions, row.indexUploads).toUtf8());
    AddField(hash, row.previous.toUtf8());
    return Hex(hash);
}

QString SessionStateName(SessionState state) {
    switch (state) {
    case SessionState::Unstated:
        return QString();
    case SessionState::Open:
        return QStringLiteral("open");
    case SessionState::Finished:
        return QStringLiteral("finished");
    case SessionState::Copy:
        return QStringLiteral("copy");
    }
    return QString();
}

QString SessionsText(const QVector<HistorySession>& sessions,
                     const QVector<HistorySession>& indexUploads) {
    QString text;
    for (const HistorySession& s : sessions) {
        text += QString::number(s.id) + ' ' + s.sha256;
        if (s.state != SessionState::Unstated) {
            text += ' ' + SessionStateName(s.state);
            if (!s.instrument.isEmpty()) {
                text += ' ' + s.instrument;
            }
        }
        text += '\n';
    }
    for (const HistorySession& s : indexUploads) {
        text += "index " + QString::number(s.id) + ' ' + s.sha256 + '\n';
    }
    return text;
}

namespace {

bool ParseState(const QString& word, SessionState& state) {
    for (const SessionState known :
         {SessionState::Open, SessionState::Finished, SessionState::Copy}) {
        if (word == SessionStateName(known)) {
            state = known;
            return true;
        }
    }
    return false;
}

} // namespace

bool ParseSessionsText(const QString& text, QVector<HistorySession>& sessions,
                       QVector<HistorySession>& indexUploads) {
    sessions.clear();
    indexUploads.clear();
    const QStringList lines = text.split('\n', Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        QStringList parts = line.split(' ');
        const bool index = parts.size() == 3 && parts[0] == "index";
        if (index) {
            parts.removeFirst();
        }
        HistorySession s;
        if (!index && parts.size() == 4) {
            s.instrument = parts.takeLast();
            if (!IsInstrumentUid(s.instrument)) {
                return false;
            }
        }
        if (!index && parts.size() == 3 && !ParseState(parts.takeLast(), s.state)) {
            return false;
        }
        bool number = false;
        s.id = parts.value(0).toLongLong(&number);
        if (parts.size() != 2 || !number || s.id <= 0 || !IsHex64(parts[1])) {
            return false;
        }
        s.sha256 = parts[1];
        (index ? indexUploads : sessions).append(s);
    }
    return true;
}

bool AppendHistory(QSqlDatabase& db, bool server, ChangeKind kind, const QString& detail,
                   const QVector<qint64>& sessions, QString& error) {
    return AppendHistory(db, server, kind, detail, sessions, {}, error);
}

bool RecordedNow(QSqlDatabase& db, const QVector<qint64>& sessions,
                 QVector<HistorySession>& recorded, QString& error) {
    QSqlQuery bytes(db);
    bytes.setForwardOnly(true);
    if (!sessions.isEmpty() &&
        !bytes.prepare("SELECT s.name, b.sector, b.overrun, s.complete FROM sessions s"
                       " JOIN session_bytes b ON b.session_id = s.id WHERE s.id = ?")) {
        error = DatabaseSaid(bytes.lastError());
        return false;
    }
    for (const qint64 id : sessions) {
        bytes.bindValue(0, id);
        if (!Run(bytes, error)) {
            return false;
        }
        if (!bytes.next()) {
            error = "the archive holds no session " + QString::number(id) + " to record";
            return false;
        }
        recorded.append({id,
                         StoredBytesHash(bytes.value(0).toByteArray(), bytes.value(1).toByteArray(),
                                         bytes.value(2).toByteArray()),
                         StateOfComplete(bytes.value(3).toInt() != 0), QString()});
        bytes.finish();
        // A column that says open, which no hash covers, never has a row record open again a
        // session that the history fixed.
        bool fixed = recorded.last().state == SessionState::Finished;
        if (!fixed && !SessionFixed(db, id, false, fixed, error)) {
            return false;
        }
        recorded.last().state = StateOfComplete(fixed);
    }
    return true;
}

bool AppendHistory(QSqlDatabase& db, bool server, ChangeKind kind, const QString& detail,
                   const QVector<qint64>& sessions, const QVector<qint64>& indexUploads,
                   QString& error, const PersonalWriter* personal) {
    QVector<HistorySession> recorded;
    if (!RecordedNow(db, sessions, recorded, error)) {
        return false;
    }
    QVector<HistorySession> uploads;
    for (const qint64 id : indexUploads) {
        QSqlQuery upload(db);
        if (!Run(upload, "SELECT bytes FROM index_uploads WHERE id = ?", {id}, error)) {
            return false;
        }
        if (!upload.next()) {
            error = "the archive holds no index upload " + QString::number(id) + " to record";
            return false;
        }
        uploads.append(
            {id, IndexBytesHash(upload.value(0).toByteArray()), SessionState::Unstated, QString()});
    }
    return AppendRecorded(db, server, kind, detail, recorded, uploads, error, personal);
}

namespace {

// Each stated line names the identity of its session's instrument, so that a session moved to
// another instrument behind the program's back no longer matches its last line.
bool NameInstruments(QSqlDatabase& db, QVector<HistorySession>& sessions, QString& error) {
    QSqlQuery query(db);
    QHash<qint64, QString> known;
    for (HistorySession& s : sessions) {
        if (s.state == SessionState::Unstated || !s.instrument.isEmpty()) {
            continue;
        }
        auto found = known.constFind(s.id);
        if (found == known.constEnd()) {
            if (!Run(query,
                     "SELECT i.uid FROM sessions s JOIN instruments i ON i.id = s.instrument_id"
                     " WHERE s.id = ?",
                     {s.id}, error)) {
                return false;
            }
            const QString uid = query.next() ? query.value(0).toString() : QString();
            query.finish();
            if (!IsInstrumentUid(uid)) {
                error = QString("session %1's instrument has no identity of its own (its uid was"
                                " changed outside this program)")
                            .arg(s.id);
                return false;
            }
            found = known.insert(s.id, uid);
        }
        s.instrument = found.value();
    }
    return true;
}

} // namespace

bool AppendRecorded(QSqlDatabase& db, bool server, ChangeKind kind, const QString& detail,
                    const QVector<HistorySession>& sessions,
                    const QVector<HistorySession>& indexUploads, QString& error,
                    const PersonalWriter* personal) {
    // SQLite's BEGIN IMMEDIATE already lets one writer in at a time; on a server, the lock makes
    // the second writer wait here until the first has committed its row, and then see it.
    if (server && !Exec(db, QString("SELECT pg_advisory_xact_lock(%1)").arg(kHistoryLock), error)) {
        return false;
    }
    HistoryRow row;
    if (!HistoryHead(db, row.seq, row.previous, error)) {
        return false;
    }
    ++row.seq;
    row.at = Now();
    row.user = OsUser();
    row.host = HostName();
    row.kind = ChangeKindName(kind);
    row.detail = detail;
    row.sessions = sessions;
    row.indexUploads = indexUploads;
    const int version = ReadSchemaVersion(db, error);
    SigningKey own;
    const SigningKey* key = nullptr;
    if (version < 0 || ((version >= kSigningVersion || personal != nullptr) &&
                        !RowSigner(db, personal, version, row, own, key, error))) {
        return false;
    }
    // A schema whose replaced copies keep no bytes cannot show a session's growth: its rows leave
    // the state unsaid, as they did.
    if (version < kAllBytesVersion) {
        for (HistorySession& s : row.sessions) {
            s.state = SessionState::Unstated;
        }
    }
    if (version >= kInstrumentUidVersion && !NameInstruments(db, row.sessions, error)) {
        return false;
    }
    row.hash = RowHash(row);
    QSqlQuery insert(db);
    if (version < kSigningVersion) {
        return Run(insert,
                   "INSERT INTO archive_history (seq, changed_at, os_user, host, kind, detail,"
                   " sessions, previous, hash) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
                   {row.seq, row.at, row.user, row.host, row.kind, Text(row.detail),
                    Text(SessionsText(row.sessions, row.indexUploads)), Text(row.previous),
                    row.hash},
                   error);
    }
    row.signer = key->PublicHex();
    row.signature = key->Sign(row.hash);
    return Run(insert,
               "INSERT INTO archive_history (seq, changed_at, os_user, host, kind, detail,"
               " sessions, previous, hash, signer, signature)"
               " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
               {row.seq, row.at, row.user, row.host, row.kind, Text(row.detail),
                Text(SessionsText(row.sessions, row.indexUploads)), Text(row.previous), row.hash,
                row.signer, row.signature},
               error) &&
           RegisterSigner(db, QString(), row, error);
}

bool RegisterSigner(QSqlDatabase& db, const QString& origin, const HistoryRow& row,
                    QString& error) {
    QSqlQuery insert(db);
    return Run(insert,
               "INSERT INTO history_keys (origin, public_key, first_seq, first_at, os_user, host)"
               " VALUES (?, ?, ?, ?, ?, ?) ON CONFLICT (origin, public_key) DO NOTHING",
               {Text(origin), row.signer, row.seq, row.at, row.user, row.host}, error);
}

bool HistoryHead(QSqlDatabase& db, qint64& seq, QString& hash, QString& error, qint64 until) {
    seq = 0;
    hash.clear();
    QSqlQuery last(db);
    if (!(until > 0 ? Run(last,
                          "SELECT seq, hash FROM archive_history WHERE changed_at < ?"
                          " ORDER BY seq DESC LIMIT 1",
                          {until}, error)
                    : Run(last, "SELECT seq, hash FROM archive_history ORDER BY seq DESC LIMIT 1",
                          {}, error))) {
        return false;
    }
    if (last.next()) {
        seq = last.value(0).toLongLong();
        hash = last.value(1).toString();
    }
    last.finish();
    return true;
}

namespace {

// What the history's start asks for (history_start): 1 the history begins; 2 it began before index
// uploads were recorded. Those are the values the migrations write; any other was written outside
// the program, which leaves it for verify to name.
struct StartPending {
    bool begins = false;
    bool indexUploads = false;
};

constexpr char kStartValues[] = "(1, 2)";

bool ReadPending(QSqlDatabase& db, StartPending& pending, QString& error) {
    QSqlQuery which(db);
    if (!Run(which,
             QString("SELECT pending FROM history_start WHERE pending IN %1").arg(kStartValues), {},
             error)) {
        return false;
    }
    while (which.next()) {
        const int value = which.value(0).toInt();
        pending.begins = pending.begins || value == 1;
        pending.indexUploads = pending.indexUploads || value == 2;
    }
    return true;
}

// The start row's text; empty when there is nothing to start.
QString StartDetail(const StartPending& pending, qint64 sessions, qint64 uploads) {
    if (pending.begins && sessions == 0 && uploads == 0) {
        return QStringLiteral("history started");
    }
    if (pending.begins) {
        return QString("history started with the %1 sessions and %2 index uploads already"
                       " archived")
            .arg(sessions)
            .arg(uploads);
    }
    if (pending.indexUploads && uploads > 0) {
        return QString("history of index uploads started with the %1 already archived")
            .arg(uploads);
    }
    return QString();
}

// How many rows this archive's own chain holds, and whether one of them is the row from which
// sign-offs are signed by personal keys.
bool ReadOwnChain(QSqlDatabase& db, qint64& rows, bool& rule, QString& error) {
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!Run(query, "SELECT COUNT(*) FROM archive_history", {}, error) || !query.next()) {
        return false;
    }
    rows = query.value(0).toLongLong();
    query.finish();
    rule = false;
    if (!Run(query, "SELECT kind, detail FROM archive_history WHERE kind = ?",
             {ChangeKindName(ChangeKind::Started)}, error)) {
        return false;
    }
    while (!rule && query.next()) {
        HistoryRow row;
        row.kind = query.value(0).toString();
        row.detail = query.value(1).toString();
        rule = IsPersonalRuleRow(row);
    }
    return true;
}

// Whether the row about to be written (`detail`, empty for none) says the personal keys' rule
// too: only where the chain holds none, on the row that begins it, or for the migration that
// brings the rule on a row of its own besides.
bool RuleGoesWith(PersonalRule rule, qint64 rows, bool held, const QString& detail) {
    if (rule == PersonalRule::None || held) {
        return false;
    }
    return rows == 0 ? !detail.isEmpty() : rule == PersonalRule::Due;
}

// Nothing recorded and nothing to record yet: a new archive whose first opening stopped before
// its history began. False with `error` set when it cannot be read.
bool Unstarted(QSqlDatabase& db, QString& error) {
    QSqlQuery query(db);
    if (!Run(query,
             "SELECT (SELECT COUNT(*) FROM archive_history) + (SELECT COUNT(*) FROM sessions) +"
             " (SELECT COUNT(*) FROM index_uploads)",
             {}, error) ||
        !query.next()) {
        return false;
    }
    return query.value(0).toLongLong() == 0;
}

bool Ids(QSqlDatabase& db, const char* sql, QVector<qint64>& out, QString& error) {
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!Run(query, sql, {}, error)) {
        return false;
    }
    while (query.next()) {
        out.append(query.value(0).toLongLong());
    }
    return true;
}

} // namespace

bool BeginHistory(QSqlDatabase& db, bool server, bool migratedNow, PersonalRule rule,
                  QString& error) {
    if (server && !Exec(db, QString("SELECT pg_advisory_xact_lock(%1)").arg(kHistoryLock), error)) {
        return false;
    }
    StartPending pending;
    if (!ReadPending(db, pending, error)) {
        return false;
    }
    // A start that no migration of this opening asked for, over an archive that holds what it
    // would record, was asked for behind the program's back: acted on, it would record whatever
    // bytes are there now as the instrument's. It is left for verify to name.
    if (!migratedNow && (pending.indexUploads || (pending.begins && !Unstarted(db, error)))) {
        pending = StartPending();
        if (!error.isEmpty()) {
            return false;
        }
    }
    QVector<qint64> sessions;
    QVector<qint64> uploads;
    if (pending.begins || pending.indexUploads) {
        QSqlQuery claim(db);
        if (!Run(claim, QString("DELETE FROM history_start WHERE pending IN %1").arg(kStartValues),
                 {}, error)) {
            return false;
        }
        if (claim.numRowsAffected() <= 0) {
            pending = StartPending(); // another process began it first
        }
        if ((pending.begins && !Ids(db, "SELECT id FROM sessions ORDER BY id", sessions, error)) ||
            ((pending.begins || pending.indexUploads) &&
             !Ids(db, "SELECT id FROM index_uploads ORDER BY id", uploads, error))) {
            return false;
        }
    }
    QString detail = StartDetail(pending, sessions.size(), uploads.size());
    qint64 rows = 0;
    bool held = false;
    if (rule != PersonalRule::None && !ReadOwnChain(db, rows, held, error)) {
        return false;
    }
    if (RuleGoesWith(rule, rows, held, detail)) {
        detail += (detail.isEmpty() ? "" : "; ") + QString(kPersonalRule);
    }
    return detail.isEmpty() ||
           AppendHistory(db, server, ChangeKind::Started, detail, sessions, uploads, error);
}

bool StartHistory(QSqlDatabase& db, bool server, bool migratedNow, PersonalRule rule,
                  QString& error) {
    {
        // Nothing to do for an archive whose history has begun: no write transaction for it.
        QSqlQuery pending(db);
        if (!Run(
                pending,
                QString("SELECT COUNT(*) FROM history_start WHERE pending IN %1").arg(kStartValues),
                {}, error) ||
            !pending.next()) {
            return false;
        }
        if (pending.value(0).toLongLong() == 0) {
            return true;
        }
    }
    SqlTransaction transaction(db, server);
    return transaction.Begun(error) && BeginHistory(db, server, migratedNow, rule, error) &&
           transaction.Commit(error);
}

} // namespace archive
