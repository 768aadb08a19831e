// The tamper cases as one table of (edit, expected verdict), each run against tavon-datalog
// archive verify and against scripts/verify-history.py, which is written from
// docs/history-format.md alone: both must give the verdict, so that the document says what the
// program checks. The script reads SQLite files, so the table runs on SQLite.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <string>
#include <vector>

#include "ArchiveFixture.h"
#include "PersonalKeys.h"
#include "archive/ArchiveHistory.h"
#include "archive/ArchiveSync.h"
#include "archive/HistorySigning.h"
#include "archive/SigningKey.h"
#include "testsupport/EnvGuard.h"
#include "testsupport/Files.h"
#include "testsupport/Processes.h"

using archive::SessionArchive;

namespace {

// What a case gives both checkers besides the archive.
enum class Pin { None, Head };
enum class Trust { None, RealKey };
enum class Edit {
    None,
    SectorByte,
    SectorByteAndDigest,
    Detail,
    DetailRehashed,
    MiddleRowDeleted,
    NewestRowDeleted,
    ResignedByAnother,
    KeyReplaced,
    IndexUploadByte,
    ReplacedCopyByte,
    SyncedRowChanged,
    StartAskedAgain,      // a session's bytes and digest changed, and the history's start asked for
    IndexStartAskedAgain, // an index upload's byte changed, and its history's start asked for
    RuleTakenOut,         // the rule of personal sign-offs taken out of row 1, the chain re-signed
    FinishedBytesRecordedAgain,
    GrownWithoutExtending,
    StateLeftOut,
    SignOffByOsKey,
    BoundNameChanged,
    BoundNameChangedRehashed,
    BoundNameEmptied,
    SignOffByUnboundKey,
    MovedToAnotherInstrument,
    MarkedOpen,
    SignerNamesChanged,
    SectorAsText,
    DetailNotUtf8Rehashed,
    InstrumentLeftOut,
    SignaturesStripped,
    SyncedChainCut,
    SyncedChainRenamed,
    PhantomSigner,
    StartValueUnknown,     // history_start given a value no migration writes
    SchemaNewerRecorded,   // schema_migrations given a version newer than the program's
    SchemaRecordFrom10Cut, // schema_migrations without its versions from 10 on
    SchemaRecordFrom9Cut,  // ... from 9 on
};

struct Case {
    const char* name;
    Edit edit;
    Pin pin;
    Trust trust;
    int verdict;      // the exit status both must give
    const char* said; // a part of the script's output: why
    // What neither may say: a row the case hashed again as the document says must match its
    // own hash for both, a change of its text must not look like a forged signature.
    const char* notSaid = nullptr;
    bool sameWords = false; // archive verify says `said` too
};

const Case kCases[] = {
    {"untouched, a personal sign-off in it", Edit::None, Pin::None, Trust::None, 0, "no mismatch"},
    {"untouched, its head pinned", Edit::None, Pin::Head, Trust::None, 0, "no mismatch"},
    {"untouched, the real keys trusted", Edit::None, Pin::None, Trust::RealKey, 0, "no mismatch"},
    {"a byte of a session's sector", Edit::SectorByte, Pin::None, Trust::None, 1,
     "its digest column does not match its sector"},
    {"a byte of a session's sector, its digest made to match", Edit::SectorByteAndDigest, Pin::None,
     Trust::None, 1, "its stored bytes hash to"},
    {"a session's bytes changed and the history's start asked for again", Edit::StartAskedAgain,
     Pin::None, Trust::None, 1, "history_start asks for the history to be begun again"},
    {"an index upload's byte changed and its start asked for again", Edit::IndexStartAskedAgain,
     Pin::None, Trust::None, 1, "history_start asks for the history to be begun again"},
    {"the rule of personal sign-offs taken out, the chain signed again by its keys",
     Edit::RuleTakenOut, Pin::None, Trust::None, 1,
     "hold no row saying that sign-offs are signed by personal keys"},
    {"a row's detail changed", Edit::Detail, Pin::None, Trust::None, 1,
     "history row 3 does not match its own hash", "signature does not match"},
    {"a row's detail changed and the hashes made again", Edit::DetailRehashed, Pin::None,
     Trust::None, 1, "history row 3's signature does not match its hash",
     "does not match its own hash"},
    {"a middle row deleted", Edit::MiddleRowDeleted, Pin::None, Trust::None, 1,
     "history row 2 is missing (deleted)"},
    {"the newest row deleted", Edit::NewestRowDeleted, Pin::None, Trust::None, 0, "no mismatch"},
    {"the newest row deleted, the head pinned", Edit::NewestRowDeleted, Pin::Head, Trust::None, 1,
     "before the pinned head"},
    {"the rows signed again by another key", Edit::ResignedByAnother, Pin::None, Trust::None, 0,
     "checked for consistency only"},
    {"the rows signed again by another key, the real keys trusted", Edit::ResignedByAnother,
     Pin::None, Trust::RealKey, 1, "which is not a trusted key"},
    {"a key in history_keys replaced", Edit::KeyReplaced, Pin::None, Trust::None, 1,
     "which the archive does not hold as a signer"},
    {"a byte of an index upload", Edit::IndexUploadByte, Pin::None, Trust::None, 1,
     "index upload 1: its stored bytes hash to"},
    {"a byte of a replaced copy", Edit::ReplacedCopyByte, Pin::None, Trust::None, 1,
     "which no history row recorded for that session"},
    {"a row of a synced chain changed", Edit::SyncedRowChanged, Pin::None, Trust::None, 1,
     "'s history row 2 does not match its own hash"},
    {"stated rows, a finished session's bytes changed and recorded again by a signed row",
     Edit::FinishedBytesRecordedAgain, Pin::None, Trust::None, 1,
     "a finished session's bytes never change", "does not match its own hash"},
    {"stated rows, an open session grown to bytes that do not extend it, the chain signed again",
     Edit::GrownWithoutExtending, Pin::None, Trust::None, 1, "do not extend the ones it had",
     "does not match its own hash"},
    {"stated rows, then a session line without its state", Edit::StateLeftOut, Pin::None,
     Trust::None, 1, "without their state", "does not match its own hash"},
    {"a sign-off signed by the operating-system user's key after the rule row",
     Edit::SignOffByOsKey, Pin::None, Trust::None, 1,
     "which no row before it binds to a printed name: from row 1 on",
     "does not match its own hash"},
    {"a binding row's printed name changed", Edit::BoundNameChanged, Pin::None, Trust::None, 1,
     "does not match its own hash", "signature does not match"},
    {"a binding row's printed name changed and the hashes made again",
     Edit::BoundNameChangedRehashed, Pin::None, Trust::None, 1, "'s signature does not match its",
     "does not match its own hash"},
    {"a binding row's printed name emptied, the chain signed again by its keys",
     Edit::BoundNameEmptied, Pin::None, Trust::None, 1, "binds no key",
     "does not match its own hash"},
    {"a sign-off signed by a key that no row binds, registered as a signer",
     Edit::SignOffByUnboundKey, Pin::None, Trust::None, 1,
     "which no row before it binds to a printed name", "does not hold as a signer"},
    {"a finished session moved to another instrument", Edit::MovedToAnotherInstrument, Pin::None,
     Trust::None, 1, "(moved outside this program)"},
    {"a finished session marked open", Edit::MarkedOpen, Pin::None, Trust::None, 1,
     "its complete column was changed outside this program"},
    {"the names kept with the signers' keys changed", Edit::SignerNamesChanged, Pin::None,
     Trust::None, 1, "the list of signers was changed outside this program"},
    {"a session's sector rewritten as text", Edit::SectorAsText, Pin::None, Trust::None, 1,
     "'s sector is stored as text, not as bytes"},
    {"the newest row's detail made bytes that are not UTF-8, hashed and signed again",
     Edit::DetailNotUtf8Rehashed, Pin::None, Trust::None, 1, "'s detail is not UTF-8 text",
     "does not match its own hash"},
    {"instruments named, then a session line without its instrument", Edit::InstrumentLeftOut,
     Pin::None, Trust::None, 1, "without their instrument", "does not match its own hash"},
    {"every signature and key taken out, the real keys trusted", Edit::SignaturesStripped,
     Pin::None, Trust::RealKey, 1, "which began personal sign-offs (its signature was removed)"},
    {"a synced chain's newest rows deleted", Edit::SyncedChainCut, Pin::None, Trust::None, 1,
     "but the copy held here ends at its row"},
    {"a synced chain given another identity", Edit::SyncedChainRenamed, Pin::None, Trust::None, 1,
     "but no copy of that history is held here"},
    {"a signer registered past the history's end", Edit::PhantomSigner, Pin::None, Trust::None, 1,
     "which the history does not hold (it ends at row"},
    {"a value no migration writes put in history_start", Edit::StartValueUnknown, Pin::None,
     Trust::None, 1,
     "history_start holds the value 3, which no version of this program writes (written outside"
     " this program)",
     nullptr, true},
    {"a schema version newer than the program's recorded", Edit::SchemaNewerRecorded, Pin::None,
     Trust::None, 6, "the archive's schema is version 99, newer than this program's 12", nullptr,
     true},
    {"the record of the schema versions from 10 on deleted", Edit::SchemaRecordFrom10Cut, Pin::None,
     Trust::None, 6,
     "the archive records schema version 9 but holds the tables of a later version (changed"
     " outside this program)",
     nullptr, true},
    {"the record of the schema versions from 9 on deleted", Edit::SchemaRecordFrom9Cut, Pin::None,
     Trust::None, 6, "the archive records schema version 8 but holds the tables of a later",
     nullptr, true},
};

// A history row's columns as stored.
struct StoredRow {
    qint64 seq = 0;
    qint64 at = 0;
    QString user, host, kind, detail, sessions, previous, hash, signer, signature;
};

// The row hash as docs/history-format.md states it: each column after its length and a colon;
// the detail as `detail` where given (bytes that need not be text).
QString DocumentedHash(const StoredRow& r, const QByteArray* detail = nullptr) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const QByteArray& part :
         {QByteArray::number(r.seq), QByteArray::number(r.at), r.user.toUtf8(), r.host.toUtf8(),
          r.kind.toUtf8(), detail != nullptr ? *detail : r.detail.toUtf8(), r.sessions.toUtf8(),
          r.previous.toUtf8()}) {
        hash.addData(QByteArray::number(part.size()) + ':' + part);
    }
    return QString::fromLatin1(hash.result().toHex());
}

QString SessionHash(const QByteArray& name, const QByteArray& sector, const QByteArray& overrun) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const QByteArray& part : {name, sector, overrun}) {
        hash.addData(QByteArray::number(part.size()) + ':' + part);
    }
    return QString::fromLatin1(hash.result().toHex());
}

QString Sha256(const QByteArray& bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

struct Verdict {
    int status = -1;
    std::string out;
};

class ArchiveTamperTest : public archivetest::EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        if (IsSkipped()) {
            return;
        }
        if (!PythonReady()) {
            GTEST_SKIP() << "python3 with its cryptography module is needed to run"
                            " scripts/verify-history.py (python3-cryptography, which"
                            " scripts/install-deps.sh installs)";
        }
        BecomeUser("ann");
        MakeBase();
    }

    static bool PythonReady() {
        if (QStandardPaths::findExecutable("python3").isEmpty()) {
            return false;
        }
        QProcess probe;
        probe.start("python3",
                    {"-c", "import cryptography.hazmat.primitives.asymmetric.ed25519, sqlite3"});
        return probe.waitForFinished(60000) && probe.exitStatus() == QProcess::NormalExit &&
               probe.exitCode() == 0;
    }

    // The user whose key signs from now on: a configuration folder of their own.
    void BecomeUser(const std::string& name) {
        m_user.reset();
        m_user.reset(new testsupport::EnvGuard("XDG_CONFIG_HOME", m_dir.File(name)));
    }

    void Import(SessionArchive& archive, const char* instrumentName, LogImage& image) {
        const qint64 instrument =
            archive.Instrument(archive::NamedInstrument(instrumentName), instrumentName);
        ASSERT_GT(instrument, 0) << archive.Error().toStdString();
        archive::StoreCounts counts;
        ASSERT_GT(archive.ImportDump(instrument, "import test", archive::IndexBytes(image),
                                     archive::CaptureSessions(image, {}), counts),
                  0)
            << archive.Error().toStdString();
    }

    // An archive with every kind of block and chain: imported while its newest session was open
    // and again grown (a replaced copy), a van's archive synced in (another chain), a sign-off by
    // a personal key (with the row that binds it), and a last row that names nothing. Closed, so
    // that each case edits a copy of the file.
    void MakeBase() {
        std::unique_ptr<LogImage> image = archivetest::GeneratedImage(3);
        const std::unique_ptr<LogImage> whole = archivetest::GeneratedImage(3);
        uint32_t stamp = 0;
        const int16_t open = archivetest::NewestSlot(*image, stamp);
        ASSERT_GE(open, 0);
        archivetest::CutShort(*image, open);
        ASSERT_TRUE(m_archive.Open(Location())) << m_archive.Error().toStdString();
        Import(m_archive, "unit 7", *image);
        Import(m_archive, "unit 7", *whole);
        SessionArchive* van = Fresh("van");
        ASSERT_NE(van, nullptr);
        Import(*van, "van 9", *archivetest::GeneratedImage(4));
        archive::SyncSummary summary;
        QString error;
        ASSERT_TRUE(archive::SyncArchive(*van, m_archive, {}, summary, error))
            << error.toStdString();
        ASSERT_TRUE(archivetest::MadePersonalKey(m_personal));
        archive::SignOffScope scope;
        scope.meaning = "approved";
        QString detail;
        ASSERT_TRUE(archive::SignOff(m_archive, scope, m_personal, detail, error))
            << error.toStdString();
        ASSERT_TRUE(archive::RecordChange(m_archive, archive::ChangeKind::Interval,
                                          "bump test every 2 days", {}, error))
            << error.toStdString();
        const std::vector<StoredRow> rows = OwnRows();
        ASSERT_FALSE(rows.empty());
        m_head = QString("%1:%2").arg(rows.back().seq).arg(rows.back().hash).toStdString();
        ASSERT_TRUE(Stated(rows)) << "the rows the program writes say no session's state";
        m_archive.Close();
        ASSERT_FALSE(QFileInfo::exists(Location() + "-wal")) << "the base was not checkpointed";
        // The list as a manager may hand it out: a comment, capitals, no colons.
        ASSERT_TRUE(testsupport::WriteFile(
            m_dir.File("trusted-keys"),
            "# the team's keys\n\n" +
                archive::KeyFingerprint(Key().PublicHex()).remove(':').toUpper().toStdString() +
                "\n" + m_personal.Fingerprint().toStdString() + "\n"));
    }

    // Whether the rows give their session lines a state (the program writes them).
    static bool Stated(const std::vector<StoredRow>& rows) {
        for (const StoredRow& r : rows) {
            for (const QString& line : r.sessions.split('\n', Qt::SkipEmptyParts)) {
                if (!line.startsWith("index ") && line.count(' ') >= 2) {
                    return true;
                }
            }
        }
        return false;
    }

    // This user's key, as the archive's writer uses it.
    archive::SigningKey Key() {
        archive::SigningKey key;
        QString error;
        EXPECT_TRUE(key.Load(error)) << error.toStdString();
        return key;
    }

    std::vector<StoredRow> OwnRows() {
        std::vector<StoredRow> rows;
        QSqlQuery query(QSqlDatabase::database(m_archive.ConnectionName()));
        EXPECT_TRUE(query.exec("SELECT seq, changed_at, os_user, host, kind, detail, sessions,"
                               " previous, hash, signer, signature FROM archive_history"
                               " ORDER BY seq"));
        while (query.next()) {
            StoredRow r;
            r.seq = query.value(0).toLongLong();
            r.at = query.value(1).toLongLong();
            QString* texts[] = {&r.user,     &r.host, &r.kind,   &r.detail,   &r.sessions,
                                &r.previous, &r.hash, &r.signer, &r.signature};
            for (int i = 0; i < 9; ++i) {
                *texts[i] = query.value(i + 2).toString();
            }
            rows.push_back(r);
        }
        return rows;
    }

    // The rows from `from` on, as edited, hashed again as the document says and linked; with
    // `resign`, each signed again by the key that signed it (the user's or the base's personal
    // key), as one who holds both could, else their signatures left as they were.
    void Rewrite(std::vector<StoredRow>& rows, size_t from, bool resign) {
        const archive::SigningKey own = Key();
        for (size_t i = from; i < rows.size(); ++i) {
            StoredRow& r = rows[i];
            r.previous = i == 0 ? QString("") : rows[i - 1].hash;
            r.hash = DocumentedHash(r);
            if (resign) {
                r.signature =
                    (r.signer == m_personal.PublicHex() ? m_personal.Signer() : own).Sign(r.hash);
            }
            ASSERT_TRUE(
                Sql("UPDATE archive_history SET os_user = ?, detail = ?, sessions = ?,"
                    " previous = ?, hash = ?, signature = ? WHERE seq = ?",
                    {r.user, r.detail, r.sessions, r.previous, r.hash, r.signature, r.seq}));
        }
    }

    // A row after the newest, naming `sessions`, signed with `key` (written by `user`, else by
    // the newest row's writer).
    void Append(const QString& kind, const QString& detail, const QString& sessions,
                const archive::SigningKey& key, const QString& user = QString()) {
        const StoredRow last = OwnRows().back();
        StoredRow r = last;
        ++r.seq;
        ++r.at;
        r.user = user.isEmpty() ? last.user : user;
        r.kind = kind;
        r.detail = detail;
        r.sessions = sessions;
        r.previous = last.hash;
        r.hash = DocumentedHash(r);
        ASSERT_TRUE(Sql("INSERT INTO archive_history (seq, changed_at, os_user, host, kind,"
                        " detail, sessions, previous, hash, signer, signature)"
                        " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                        {r.seq, r.at, r.user, r.host, r.kind, r.detail, r.sessions, r.previous,
                         r.hash, key.PublicHex(), key.Sign(r.hash)}));
    }

    // A sign-off of one finished session appended, signed with `key` (by `user`).
    void AppendSignOff(const archive::SigningKey& key, const QString& user = QString()) {
        QByteArray name, sector, overrun;
        const qint64 id = FinishedSession(name, sector, overrun);
        Append("sign-off", "signed off as \"approved\": every instrument, 1 session",
               FinishedLine(id, SessionHash(name, sector, overrun)), key, user);
    }

    // The line a row gives a finished session: its id, hash, state and instrument.
    QString FinishedLine(qint64 session, const QString& hash) {
        QSqlQuery query(QSqlDatabase::database(m_archive.ConnectionName()));
        EXPECT_TRUE(query.exec(QString("SELECT i.uid FROM sessions s JOIN instruments i ON i.id ="
                                       " s.instrument_id WHERE s.id = %1")
                                   .arg(session)) &&
                    query.next());
        return QString("%1 %2 finished %3\n").arg(session).arg(hash, query.value(0).toString());
    }

    // A session the rows record as finished, other than the one that grew: its id and bytes.
    qint64 FinishedSession(QByteArray& name, QByteArray& sector, QByteArray& overrun) {
        QSqlQuery query(QSqlDatabase::database(m_archive.ConnectionName()));
        EXPECT_TRUE(query.exec("SELECT s.id, s.name, b.sector, b.overrun FROM sessions s"
                               " JOIN session_bytes b ON b.session_id = s.id WHERE s.complete = 1"
                               " AND s.id NOT IN (SELECT session_id FROM session_history)"
                               " ORDER BY s.id LIMIT 1"));
        EXPECT_TRUE(query.next());
        name = query.value(1).toByteArray();
        sector = query.value(2).toByteArray();
        overrun = query.value(3).toByteArray();
        return query.value(0).toLongLong();
    }

    // Gives the session these bytes, with a digest to match, as a writer of the database could.
    void PutBytes(qint64 session, const QByteArray& sector) {
        ASSERT_TRUE(
            Sql("UPDATE session_bytes SET sector = ? WHERE session_id = ?", {sector, session}));
        ASSERT_TRUE(Sql("UPDATE sessions SET digest = ? WHERE id = ?", {Sha256(sector), session}));
    }

    // One byte of the first row's `column` of `table` changed (`key` names the row).
    void FlipByte(const QString& table, const QString& column, const QString& key) {
        QSqlQuery read(QSqlDatabase::database(m_archive.ConnectionName()));
        ASSERT_TRUE(read.exec(QString("SELECT %1, %2 FROM %3 WHERE %2 IS NOT NULL ORDER BY %1"
                                      " LIMIT 1")
                                  .arg(key, column, table)) &&
                    read.next());
        const qint64 row = read.value(0).toLongLong();
        QByteArray bytes = read.value(1).toByteArray();
        read.finish();
        ASSERT_FALSE(bytes.isEmpty());
        bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x01);
        ASSERT_TRUE(Sql(QString("UPDATE %1 SET %2 = ? WHERE %3 = ?").arg(table, column, key),
                        {bytes, row}));
    }

    void DetailRehashed() {
        std::vector<StoredRow> rows = OwnRows();
        ASSERT_GT(rows.size(), 3u);
        rows[2].detail += '.';
        Rewrite(rows, 2, false);
    }

    // How an edit of a row leaves its chain: its hash as it was, the row and those after it
    // hashed and linked again, or besides signed again by their keys.
    enum class Redone { Nothing, Hashes, Signatures };

    // The binding row of the base's personal key made to give it the printed name `name`.
    void BoundNameChanged(const QString& name, Redone redone) {
        std::vector<StoredRow> rows = OwnRows();
        size_t binding = 0;
        while (binding < rows.size() && rows[binding].kind != "signer") {
            ++binding;
        }
        ASSERT_LT(binding, rows.size()) << "the base holds no binding row";
        StoredRow& r = rows[binding];
        ASSERT_TRUE(r.detail.contains('"' + m_personal.Name() + '"')) << r.detail.toStdString();
        r.detail.replace('"' + m_personal.Name() + '"', '"' + name + '"');
        r.user = name;
        if (redone != Redone::Nothing) {
            return Rewrite(rows, binding, redone == Redone::Signatures);
        }
        ASSERT_TRUE(Sql("UPDATE archive_history SET os_user = ?, detail = ? WHERE seq = ?",
                        {r.user, r.detail, r.seq}));
    }

    // A sign-off signed by a key of another user that no row binds, the key registered with it as
    // the writer would register a new signer.
    void SignOffByUnboundKey() {
        const archive::SigningKey mallory = OtherKey();
        AppendSignOff(mallory, "Dr Jane QA");
        const StoredRow r = OwnRows().back();
        ASSERT_TRUE(
            Sql("INSERT INTO history_keys (origin, public_key, first_seq, first_at, os_user,"
                " host) VALUES ('', ?, ?, ?, ?, ?)",
                {mallory.PublicHex(), r.seq, r.at, r.user, r.host}));
    }

    // Another user's key, made in a folder of their own.
    archive::SigningKey OtherKey() {
        testsupport::EnvGuard other("XDG_CONFIG_HOME", m_dir.File("mallory"));
        return Key();
    }

    // Each row the user's key signed is signed again with another's, and that key put in its
    // place among the signers (the personal key's rows keep their signatures).
    void ResignedByAnother() {
        const archive::SigningKey mallory = OtherKey();
        const QString own = Key().PublicHex();
        for (const StoredRow& r : OwnRows()) {
            if (r.signer == own) {
                ASSERT_TRUE(
                    Sql("UPDATE archive_history SET signer = ?, signature = ? WHERE seq = ?",
                        {mallory.PublicHex(), mallory.Sign(r.hash), r.seq}));
            }
        }
        ASSERT_TRUE(Sql("UPDATE history_keys SET public_key = ? WHERE origin = '' AND"
                        " public_key = ?",
                        {mallory.PublicHex(), own}));
    }

    // A finished session's bytes changed and a sign-off by the personal key recording them.
    void FinishedBytesRecordedAgain() {
        QByteArray name, sector, overrun;
        const qint64 id = FinishedSession(name, sector, overrun);
        sector[10] = static_cast<char>(sector[10] ^ 0x20);
        PutBytes(id, sector);
        Append("sign-off", "signed off as \"approved\": every instrument, 1 session",
               FinishedLine(id, SessionHash(name, sector, overrun)), m_personal.Signer(),
               m_personal.Name());
    }

    // The session that grew, its bytes made others that do not extend the ones it had, recorded so
    // by the row that recorded its growth and the rows after it, which are hashed and signed
    // again.
    void GrownWithoutExtending() {
        QSqlQuery query(QSqlDatabase::database(m_archive.ConnectionName()));
        ASSERT_TRUE(query.exec("SELECT s.id, s.name, b.sector, b.overrun FROM sessions s"
                               " JOIN session_bytes b ON b.session_id = s.id WHERE s.id IN"
                               " (SELECT session_id FROM session_history WHERE conflict = 0)") &&
                    query.next());
        const qint64 id = query.value(0).toLongLong();
        const QByteArray name = query.value(1).toByteArray();
        QByteArray sector = query.value(2).toByteArray();
        const QByteArray overrun = query.value(3).toByteArray();
        query.finish();
        const QString was = SessionHash(name, sector, overrun);
        sector[4] = static_cast<char>(sector[4] ^ 0x20); // within what it held when open
        PutBytes(id, sector);
        const QString now = SessionHash(name, sector, overrun);
        std::vector<StoredRow> rows = OwnRows();
        size_t grown = 0;
        while (grown < rows.size() &&
               !rows[grown].sessions.contains(QString("%1 %2 ").arg(id).arg(was))) {
            ++grown;
        }
        ASSERT_LT(grown, rows.size());
        for (size_t i = grown; i < rows.size(); ++i) {
            rows[i].sessions.replace(QString("%1 %2 ").arg(id).arg(was),
                                     QString("%1 %2 ").arg(id).arg(now));
        }
        Rewrite(rows, grown, true);
    }

    // A sign-off whose line for a finished session ends after its hash with `tail`: a line that
    // leaves out what its chain says from some row on.
    void LeftOut(const char* tail) {
        QByteArray name, sector, overrun;
        const qint64 id = FinishedSession(name, sector, overrun);
        Append("sign-off", "signed off as \"approved\": every instrument, 1 session",
               QString("%1 %2%3\n").arg(id).arg(SessionHash(name, sector, overrun), tail),
               m_personal.Signer(), m_personal.Name());
    }

    // The newest row's detail given a byte that is not UTF-8, hashed over the bytes stored and
    // signed again: both checkers must take the same bytes, and neither may call it text.
    void DetailNotUtf8Rehashed() {
        StoredRow r = OwnRows().back();
        const QByteArray detail = r.detail.toUtf8() + "\xff";
        r.hash = DocumentedHash(r, &detail);
        ASSERT_TRUE(Sql("UPDATE archive_history SET detail = CAST(? AS TEXT), hash = ?,"
                        " signature = ? WHERE seq = ?",
                        {detail, r.hash, Key().Sign(r.hash), r.seq}));
    }

    void Apply(const Case& c) {
        switch (c.edit) {
        case Edit::None:
            return;
        case Edit::SectorByte:
            return FlipByte("session_bytes", "sector", "session_id");
        case Edit::SectorByteAndDigest: {
            QByteArray name, sector, overrun;
            const qint64 id = FinishedSession(name, sector, overrun);
            sector[sector.size() / 3] = static_cast<char>(sector[sector.size() / 3] ^ 0x01);
            return PutBytes(id, sector);
        }
        case Edit::Detail:
            ASSERT_TRUE(Sql("UPDATE archive_history SET detail = detail || '.' WHERE seq = 3"));
            return;
        case Edit::DetailRehashed:
            return DetailRehashed();
        case Edit::MiddleRowDeleted:
            ASSERT_TRUE(Sql("DELETE FROM archive_history WHERE seq = 2"));
            return;
        case Edit::NewestRowDeleted:
            ASSERT_TRUE(Sql("DELETE FROM archive_history WHERE seq = (SELECT MAX(seq) FROM"
                            " archive_history)"));
            return;
        case Edit::ResignedByAnother:
            return ResignedByAnother();
        case Edit::KeyReplaced:
            ASSERT_TRUE(Sql("UPDATE history_keys SET public_key = ? WHERE origin = '' AND"
                            " public_key = ?",
                            {OtherKey().PublicHex(), Key().PublicHex()}));
            return;
        case Edit::IndexUploadByte:
            return FlipByte("index_uploads", "bytes", "id");
        case Edit::StartAskedAgain: {
            QByteArray name, sector, overrun;
            const qint64 id = FinishedSession(name, sector, overrun);
            sector[sector.size() / 3] = static_cast<char>(sector[sector.size() / 3] ^ 0x01);
            PutBytes(id, sector);
            ASSERT_TRUE(Sql("INSERT INTO history_start (pending) VALUES (1)"));
            return;
        }
        case Edit::RuleTakenOut: {
            std::vector<StoredRow> rows = OwnRows();
            ASSERT_TRUE(rows[0].detail.endsWith(
                "; from this row on, each sign-off is signed by a personal key"))
                << rows[0].detail.toStdString();
            rows[0].detail = rows[0].detail.section("; ", 0, 0);
            return Rewrite(rows, 0, true);
        }
        case Edit::IndexStartAskedAgain:
            FlipByte("index_uploads", "bytes", "id");
            ASSERT_TRUE(Sql("INSERT INTO history_start (pending) VALUES (2)"));
            return;
        case Edit::ReplacedCopyByte:
            return FlipByte("session_history", "sector", "id");
        case Edit::SyncedRowChanged:
            ASSERT_TRUE(Sql("UPDATE origin_history SET detail = detail || '.' WHERE seq = 2"));
            return;
        case Edit::FinishedBytesRecordedAgain:
            return FinishedBytesRecordedAgain();
        case Edit::GrownWithoutExtending:
            return GrownWithoutExtending();
        case Edit::StateLeftOut:
            return LeftOut("");
        case Edit::SignOffByOsKey:
            return AppendSignOff(Key());
        case Edit::BoundNameChanged:
            return BoundNameChanged("Dr John QA", Redone::Nothing);
        case Edit::BoundNameChangedRehashed:
            return BoundNameChanged("Dr John QA", Redone::Hashes);
        case Edit::BoundNameEmptied:
            return BoundNameChanged("", Redone::Signatures);
        case Edit::SignOffByUnboundKey:
            return SignOffByUnboundKey();
        case Edit::MovedToAnotherInstrument:
        case Edit::MarkedOpen:
        case Edit::SectorAsText: {
            QByteArray name, sector, overrun;
            const qint64 id = FinishedSession(name, sector, overrun);
            const char* edit =
                c.edit == Edit::MovedToAnotherInstrument
                    ? "UPDATE sessions SET instrument_id = (SELECT MAX(i.id) FROM instruments i"
                      " WHERE i.id <> sessions.instrument_id) WHERE id = ?"
                : c.edit == Edit::MarkedOpen
                    ? "UPDATE sessions SET complete = 0 WHERE id = ?"
                    : "UPDATE session_bytes SET sector = CAST(sector AS TEXT) WHERE session_id = ?";
            ASSERT_TRUE(Sql(edit, {id}));
            return;
        }
        case Edit::SignerNamesChanged:
            ASSERT_TRUE(Sql("UPDATE history_keys SET os_user = 'Dr Jane QA' WHERE origin = ''"));
            return;
        case Edit::DetailNotUtf8Rehashed:
            return DetailNotUtf8Rehashed();
        case Edit::InstrumentLeftOut:
            return LeftOut(" finished");
        case Edit::SignaturesStripped:
            ASSERT_TRUE(Sql("UPDATE archive_history SET signer = '', signature = ''"));
            ASSERT_TRUE(Sql("DELETE FROM history_keys WHERE origin = ''"));
            return;
        case Edit::SyncedChainCut:
            ASSERT_TRUE(Sql("DELETE FROM origin_history WHERE seq = (SELECT MAX(seq) FROM"
                            " origin_history)"));
            return;
        case Edit::SyncedChainRenamed:
            ASSERT_TRUE(Sql("UPDATE origin_history SET origin = '00000000-0000-0000-0000-"
                            "000000000000'"));
            ASSERT_TRUE(Sql("UPDATE history_keys SET origin = '00000000-0000-0000-0000-"
                            "000000000000' WHERE origin <> ''"));
            return;
        case Edit::PhantomSigner:
            ASSERT_TRUE(Sql("INSERT INTO history_keys (origin, public_key, first_seq, first_at,"
                            " os_user, host) VALUES ('', ?, 99, 0, 'x', 'y')",
                            {OtherKey().PublicHex()}));
            return;
        case Edit::StartValueUnknown:
            ASSERT_TRUE(Sql("INSERT INTO history_start (pending) VALUES (3)"));
            return;
        case Edit::SchemaNewerRecorded:
            ASSERT_TRUE(Sql("INSERT INTO schema_migrations (version, applied_at) VALUES (99, 0)"));
            return;
        case Edit::SchemaRecordFrom10Cut:
        case Edit::SchemaRecordFrom9Cut:
            ASSERT_TRUE(Sql("DELETE FROM schema_migrations WHERE version >= ?",
                            {c.edit == Edit::SchemaRecordFrom10Cut ? 10 : 9}));
            return;
        }
    }

    // A copy of the base with the case's edit made, closed again; its path.
    std::string Edited(const Case& c, int number) {
        const std::string file = m_dir.File("case-" + std::to_string(number) + ".sqlite");
        EXPECT_TRUE(QFile::copy(Location(), QString::fromStdString(file)));
        EXPECT_TRUE(m_archive.Open(QString::fromStdString(file)))
            << m_archive.Error().toStdString();
        Apply(c);
        m_archive.Close();
        return file;
    }

    std::vector<std::string> Arguments(const Case& c) const {
        std::vector<std::string> args;
        if (c.pin == Pin::Head) {
            args.insert(args.end(), {"--head", m_head});
        }
        if (c.trust == Trust::RealKey) {
            args.insert(args.end(), {"--trusted-keys", m_dir.File("trusted-keys")});
        }
        return args;
    }

    // scripts/verify-history.py ARGS.
    Verdict Script(const std::vector<std::string>& args) {
        QStringList arguments{QString(TAVON_VERIFY_HISTORY_SCRIPT)};
        for (const std::string& a : args) {
            arguments << QString::fromStdString(a);
        }
        QProcess script;
        script.setWorkingDirectory(QString::fromStdString(m_dir.Path()));
        script.start("python3", arguments);
        Verdict verdict;
        if (script.waitForFinished(120000) && script.exitStatus() == QProcess::NormalExit) {
            verdict.status = script.exitCode();
        }
        verdict.out =
            (script.readAllStandardOutput() + script.readAllStandardError()).toStdString();
        return verdict;
    }

    Verdict Verify(const std::string& file, const std::vector<std::string>& args) {
        std::vector<std::string> all{"archive", "verify"};
        all.insert(all.end(), args.begin(), args.end());
        all.insert(all.end(), {"--archive", file});
        const testsupport::RunResult run =
            testsupport::RunProgram("tavon-datalog", all, m_dir.Path(), 120, Environment());
        return {run.status, run.out + run.err};
    }

    // No trust comes from the machine's own lists: only the case's.
    std::vector<std::string> Environment() const {
        return {"TZ=UTC", "LC_ALL=C", "TAVON_SYSTEM_TRUSTED_KEYS=" + m_dir.File("no-system-list")};
    }

    // The script's verdict on the case, which must be the one expected, and that it made nothing
    // beside the file.
    Verdict ScriptVerdict(const Case& c, const std::string& file) {
        std::vector<std::string> args{file};
        const std::vector<std::string> options = Arguments(c);
        args.insert(args.end(), options.begin(), options.end());
        const Verdict script = Script(args);
        EXPECT_EQ(script.status, c.verdict) << script.out;
        EXPECT_NE(script.out.find(c.said), std::string::npos) << script.out;
        if (c.notSaid != nullptr) {
            EXPECT_EQ(script.out.find(c.notSaid), std::string::npos) << script.out;
        }
        for (const char* made : {"-wal", "-shm", "-journal"}) {
            EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(file + made))) << made;
        }
        return script;
    }

    testsupport::ZoneGuard m_zone{"UTC"};
    std::unique_ptr<testsupport::EnvGuard> m_user;
    std::string m_head;              // the base's head, ROW:HASH
    archive::PersonalKey m_personal; // the key of the base's sign-off, unsealed
};

TEST_P(ArchiveTamperTest, TheScriptAndVerifyGiveEveryEditItsVerdict) {
    int number = 0;
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const std::string file = Edited(c, ++number);
        const Verdict script = ScriptVerdict(c, file);
        const Verdict verify = Verify(file, Arguments(c));
        EXPECT_EQ(verify.status, c.verdict) << verify.out;
        if (c.sameWords) {
            EXPECT_NE(verify.out.find(c.said), std::string::npos) << verify.out;
        }
        if (c.notSaid != nullptr) {
            EXPECT_EQ(verify.out.find(c.notSaid), std::string::npos) << verify.out;
        }
        EXPECT_EQ(script.status, verify.status) << "script:\n"
                                                << script.out << "archive verify:\n"
                                                << verify.out;
    }
}

TEST_P(ArchiveTamperTest, TheScriptSaysWhatItCannotRead) {
    ASSERT_TRUE(testsupport::WriteFile(m_dir.File("not-an-archive.sqlite"), "just text\n"));
    const struct {
        std::vector<std::string> args;
        int status;
        const char* said;
    } runs[] = {
        {{m_dir.File("missing.sqlite")}, 6, "no archive at"},
        {{m_dir.File("not-an-archive.sqlite")}, 6, "cannot read"},
        {{m_dir.File("trusted-keys")}, 6, "cannot read"},
        {{Location().toStdString(), "--head", "12"}, 2, "--head takes ROW:HASH"},
        {{Location().toStdString(), "--head", "0:" + std::string(64, 'a')}, 2, "ROW:HASH"},
        {{Location().toStdString(), "--trusted-keys", m_dir.File("none")}, 2, "cannot read"},
        {{}, 2, "usage"},
    };
    for (const auto& r : runs) {
        SCOPED_TRACE(r.said);
        const Verdict script = Script(r.args);
        EXPECT_EQ(script.status, r.status) << script.out;
        EXPECT_NE(script.out.find(r.said), std::string::npos) << script.out;
    }
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(m_dir.File("missing.sqlite"))));
}

// The script reads SQLite files only.
INSTANTIATE_TEST_SUITE_P(Engines, ArchiveTamperTest, ::testing::Values(archivetest::Engine::SQLite),
                         archivetest::EngineName);

} // namespace
