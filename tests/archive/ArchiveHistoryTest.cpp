// The archive's audit trail on both engines: every change recorded in the chained history, an
// edit made with plain SQL found by verify (library and command), and two writers at once never
// forking the chain.
#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>
#include <thread>

#include "ArchiveFixture.h"
#include "archive/ArchiveHistory.h"
#include "archive/HistorySigning.h"
#include "archive/TrustedKeys.h"
#include "compliance/InstrumentRegister.h"
#include "testsupport/EnvGuard.h"
#include "testsupport/Processes.h"

using archive::ChangeKind;
using archive::HistoryRow;
using archive::SessionArchive;

namespace {

class ArchiveHistoryTest : public archivetest::EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        m_image = archivetest::GeneratedImage(3);
    }

    qint64 Import(SessionArchive& archive, qint64 instrument) {
        archive::StoreCounts counts;
        const qint64 download =
            archive.ImportDump(instrument, "import test", archive::IndexBytes(*m_image),
                               archive::CaptureSessions(*m_image, {}), counts);
        EXPECT_GT(download, 0) << archive.Error().toStdString();
        return download;
    }

    // Opens the archive with one instrument's sessions imported.
    void OpenImported() {
        ASSERT_TRUE(m_archive.Open(Location())) << m_archive.Error().toStdString();
        m_instrument = m_archive.Instrument(archive::NamedInstrument("unit 7"), "unit 7");
        ASSERT_GT(m_instrument, 0) << m_archive.Error().toStdString();
        Import(m_archive, m_instrument);
    }

    QVector<HistoryRow> Rows() {
        QString error;
        const QVector<HistoryRow> rows = archive::History(m_archive, error);
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        return rows;
    }

    testsupport::ZoneGuard m_zone{"UTC"};
    std::unique_ptr<LogImage> m_image;
    qint64 m_instrument = -1;
};

TEST_P(ArchiveHistoryTest, EveryChangeIsARowChainedToTheOneBefore) {
    uint32_t stamp = 0;
    const int16_t open = archivetest::NewestSlot(*m_image, stamp);
    ASSERT_GE(open, 0);
    const std::unique_ptr<LogImage> whole = archivetest::GeneratedImage(3);
    archivetest::CutShort(*m_image, open);
    OpenImported();
    const int sessions = static_cast<int>(archive::CaptureSessions(*m_image, {}).size());
    // The open session grew: imported again, its copy is replaced.
    m_image->Store(archivetest::SessionOffset(open),
                   whole->Bytes() + archivetest::SessionOffset(open), LogImage::kSectorSize);
    Import(m_archive, m_instrument);
    // A download stores a new session on its own (of another instrument, here).
    const qint64 other = m_archive.Instrument(archive::NamedInstrument("unit 8"), "unit 8");
    const qint64 download = m_archive.BeginDownload(other, "download");
    ASSERT_GT(download, 0);
    ASSERT_EQ(m_archive.Store(download, archive::CaptureSessions(*m_image, {1}).front()),
              archive::StoreResult::New)
        << m_archive.Error().toStdString();
    ASSERT_EQ(m_archive.RenameInstrument("unit 7", "van 7"), archive::RenameResult::Renamed);
    QString error;
    ASSERT_TRUE(
        archive::RecordChange(m_archive, ChangeKind::Interval, "bump test every 2 days", {}, error))
        << error.toStdString();

    const struct {
        const char* kind;
        int sessions;
        const char* detail; // a part of it
    } expected[] = {
        {"started", 0, "history started"},
        {"instrument", 0, "instrument \"unit 7\" first archived"},
        {"import", sessions, "of instrument \"unit 7\" (import test)"},
        {"import", 0, ": 0 new sessions"},
        {"replace", 1, ": 1 open session replaced with newer bytes"},
        {"instrument", 0, "instrument \"unit 8\" first archived"},
        {"download", 1, "of instrument \"unit 8\" (download): 1 new session"},
        {"rename", 0, "instrument renamed from \"unit 7\" to \"van 7\""},
        {"interval", 0, "bump test every 2 days"},
    };
    const QVector<HistoryRow> rows = Rows();
    ASSERT_EQ(rows.size(), static_cast<int>(std::size(expected)));
    QString before;
    for (int i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE("row " + std::to_string(i + 1));
        EXPECT_EQ(rows[i].seq, i + 1);
        EXPECT_EQ(rows[i].kind, expected[i].kind);
        EXPECT_EQ(rows[i].sessions.size(), expected[i].sessions);
        EXPECT_TRUE(rows[i].detail.contains(expected[i].detail)) << rows[i].detail.toStdString();
        EXPECT_EQ(rows[i].previous, before);
        EXPECT_EQ(rows[i].hash.size(), 64);
        EXPECT_FALSE(rows[i].user.isEmpty());
        EXPECT_FALSE(rows[i].host.isEmpty());
        before = rows[i].hash;
    }
    const archive::VerifySummary summary = archive::VerifyArchive(m_archive);
    EXPECT_TRUE(summary.Clean()) << summary.mismatches.join('\n').toStdString();
    EXPECT_EQ(summary.Line(), QString("Verified: %1 sessions, 2 index uploads, 1 replaced copy and"
                                      " 9 history rows, no mismatch")
                                  .arg(sessions + 1));
    // Each import's row names its index upload.
    EXPECT_EQ(rows[2].indexUploads.size(), 1);
    EXPECT_EQ(rows[3].indexUploads.size(), 1);

    const testsupport::RunResult listed = Datalog({"history", "--format", "csv"});
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(listed.out.rfind(
                  "seq,time,user,host,kind,detail,sessions,index_uploads,previous,hash,signer,"
                  "signature\r\n",
                  0),
              0u);
    EXPECT_NE(listed.out.find("\r\n4,"), std::string::npos);
    EXPECT_NE(listed.out.find(",replace,"), std::string::npos);
    EXPECT_NE(listed.out.find(rows.last().hash.toStdString() + "," +
                              archive::KeyFingerprint(rows.last().signer).toStdString() + "," +
                              rows.last().signature.toStdString() + "\r\n"),
              std::string::npos);
    const testsupport::RunResult text = Datalog({"history"});
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("(sessions 1-" + std::to_string(sessions) + "; index upload 1)"),
              std::string::npos)
        << text.out;
    const testsupport::RunResult verified = Datalog({"verify"});
    EXPECT_EQ(verified.status, 0) << verified.out << verified.err;
    // No list of trusted keys: the command's verdict is the library's with none.
    EXPECT_EQ(verified.out,
              archive::VerifyTrusted(m_archive, archive::TrustedKeys()).Line().toStdString() +
                  "\n");
}

// Each edit made outside the program and what verify says of it: a byte flipped in a stored
// block an instrument sent (`flip`: the table, its bytes column and the row's key column, the
// first row taken), or plain SQL (?: the first session's id).
struct Tamper {
    const char* name;
    const char* statement;
    const char* reported;
    const char* flip[3];
};

const Tamper kTampers[] = {
    {"a stored byte changed",
     nullptr,
     "its stored bytes hash to",
     {"session_bytes", "sector", "session_id"}},
    {"a stored overrun changed",
     nullptr,
     "its stored bytes hash to",
     {"session_bytes", "overrun", "session_id"}},
    {"an index upload's byte changed",
     nullptr,
     "index upload 1: its stored bytes hash to",
     {"index_uploads", "bytes", "id"}},
    {"a replaced copy's byte changed",
     nullptr,
     "which no history row recorded for that session",
     {"session_history", "sector", "id"}},
    {"a replaced copy's overrun changed",
     nullptr,
     "which no history row recorded for that session",
     {"session_history", "overrun", "id"}},
    {"an index upload deleted",
     "DELETE FROM index_uploads WHERE id = 1",
     "index upload 1, recorded in history row 3, is missing",
     {}},
    {"a history row changed",
     "UPDATE archive_history SET detail = detail || '.' WHERE seq = 2",
     "history row 2 does not match its own hash",
     {}},
    {"a history row's time changed",
     "UPDATE archive_history SET changed_at = 0 WHERE seq = 1",
     "history row 1 does not match its own hash",
     {}},
    {"a history row deleted",
     "DELETE FROM archive_history WHERE seq = 1",
     "history row 1 is missing (deleted)",
     {}},
    {"a row's hash made to follow",
     "UPDATE archive_history SET previous = hash WHERE seq = 2",
     "history row 2 does not follow the row before it",
     {}},
    {"every history row deleted",
     "DELETE FROM archive_history",
     "the history is empty: its rows were deleted",
     {}},
    {"a session's bytes deleted",
     "DELETE FROM session_bytes WHERE session_id = ?",
     "stored bytes are missing",
     {}},
    {"a session's digest changed",
     "UPDATE sessions SET digest = 'x' WHERE id = ?",
     "its digest column does not match its sector",
     {}},
    {"the instrument's identity changed, as its sessions moved to another",
     "UPDATE instruments SET uid = '0123456789abcdef0123456789abcdef'",
     "recorded it under",
     {}},
    {"a session's state turned",
     "UPDATE sessions SET complete = 1 - complete WHERE id = ?",
     "its complete column was changed outside this program",
     {}},
    {"the names kept with a signer's key changed",
     "UPDATE history_keys SET os_user = 'Dr Jane QA'",
     "the list of signers was changed outside this program",
     {}},
};

TEST_P(ArchiveHistoryTest, AnEditOutsideTheProgramIsReportedByVerify) {
    uint32_t stamp = 0;
    const int16_t open = archivetest::NewestSlot(*m_image, stamp);
    ASSERT_GE(open, 0);
    const std::unique_ptr<LogImage> whole = archivetest::GeneratedImage(3);
    archivetest::CutShort(*m_image, open);
    for (const Tamper& tamper : kTampers) {
        SCOPED_TRACE(tamper.name);
        // Imported while the newest session was open, then again grown: a replaced copy.
        OpenImported();
        archive::StoreCounts counts;
        ASSERT_GT(m_archive.ImportDump(m_instrument, "grown", archive::IndexBytes(*whole),
                                       archive::CaptureSessions(*whole, {}), counts),
                  0);
        ASSERT_EQ(counts.replaced, 1);
        QSqlQuery first(QSqlDatabase::database(m_archive.ConnectionName()));
        ASSERT_TRUE(first.exec("SELECT MIN(session_id) FROM session_bytes") && first.next());
        const qint64 id = first.value(0).toLongLong();
        first.finish();
        if (tamper.statement == nullptr) {
            const QString table = tamper.flip[0];
            const QString column = tamper.flip[1];
            const QString key = tamper.flip[2];
            QSqlQuery read(QSqlDatabase::database(m_archive.ConnectionName()));
            ASSERT_TRUE(read.exec(QString("SELECT %1, %2 FROM %3 WHERE %2 IS NOT NULL ORDER BY %1"
                                          " LIMIT 1")
                                      .arg(key, column, table)) &&
                        read.next());
            const qint64 row = read.value(0).toLongLong();
            QByteArray bytes = read.value(1).toByteArray();
            read.finish();
            if (bytes.isEmpty()) {
                bytes = QByteArray("\x01", 1);
            } else {
                bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x01);
            }
            ASSERT_TRUE(Sql(QString("UPDATE %1 SET %2 = ? WHERE %3 = ?").arg(table, column, key),
                            {bytes, row}));
        } else {
            const QString statement = tamper.statement;
            ASSERT_TRUE(
                Sql(statement, statement.contains('?') ? QVariantList{id} : QVariantList{}));
        }
        const archive::VerifySummary summary = archive::VerifyArchive(m_archive);
        EXPECT_TRUE(summary.readable) << summary.error.toStdString();
        EXPECT_FALSE(summary.Clean());
        EXPECT_TRUE(summary.mismatches.join('\n').contains(tamper.reported))
            << summary.mismatches.join('\n').toStdString();
        EXPECT_TRUE(summary.Line().startsWith("Verification failed: "))
            << summary.Line().toStdString();

        const testsupport::RunResult run = Datalog({"verify"});
        EXPECT_EQ(run.status, 1) << run.out << run.err;
        EXPECT_NE(run.out.find(tamper.reported), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("Verification failed: "), std::string::npos) << run.out;

        // The next case starts from a fresh archive.
        Renew(tamper.name);
    }
}

TEST_P(ArchiveHistoryTest, AnArchiveOfThePreviousVersionVerifiesWholeAndItsIndexUploadsAreKept) {
    // Version 7: the history recorded sessions only, and a replaced copy kept no bytes.
    ASSERT_TRUE(m_archive.OpenAtVersion(Location(), 7)) << m_archive.Error().toStdString();
    uint32_t stamp = 0;
    const int16_t open = archivetest::NewestSlot(*m_image, stamp);
    ASSERT_GE(open, 0);
    const std::unique_ptr<LogImage> whole = archivetest::GeneratedImage(3);
    archivetest::CutShort(*m_image, open);
    m_instrument = m_archive.Instrument(archive::NamedInstrument("unit 7"), "unit 7");
    ASSERT_GT(m_instrument, 0) << m_archive.Error().toStdString();
    Import(m_archive, m_instrument);
    m_image->Store(archivetest::SessionOffset(open),
                   whole->Bytes() + archivetest::SessionOffset(open), LogImage::kSectorSize);
    Import(m_archive, m_instrument);
    const int before = Rows().size();
    m_archive.Close();

    const testsupport::RunResult untouched = Datalog({"verify"});
    EXPECT_EQ(untouched.status, 0) << untouched.out << untouched.err;
    // Its rows never said which sessions were finished: verify says so, and holds them from the
    // next row on.
    EXPECT_NE(untouched.out.find("history rows 1 to 6 were written before a finished session's"
                                 " bytes were fixed; the rule applies from the next row\n"),
              std::string::npos)
        << untouched.out;
    ASSERT_TRUE(m_archive.Open(Location())) << m_archive.Error().toStdString();
    const QVector<HistoryRow> rows = Rows();
    ASSERT_EQ(rows.size(), before + 1);
    EXPECT_EQ(rows.last().kind, "started");
    EXPECT_EQ(rows.last().indexUploads.size(), 2);
    EXPECT_TRUE(rows.last().detail.contains("index uploads")) << rows.last().detail.toStdString();
    EXPECT_TRUE(archive::VerifyArchive(m_archive).Clean());
    // From now on a byte changed in them is found.
    QSqlQuery read(QSqlDatabase::database(m_archive.ConnectionName()));
    ASSERT_TRUE(read.exec("SELECT bytes FROM index_uploads WHERE id = 2") && read.next());
    QByteArray bytes = read.value(0).toByteArray();
    read.finish();
    bytes[7] = static_cast<char>(bytes[7] ^ 0x10);
    ASSERT_TRUE(Sql("UPDATE index_uploads SET bytes = ? WHERE id = 2", {bytes}));
    const archive::VerifySummary summary = archive::VerifyArchive(m_archive);
    EXPECT_TRUE(summary.mismatches.join('\n').contains("index upload 2: its stored bytes hash to"))
        << summary.mismatches.join('\n').toStdString();
}

// Every change from any front end, in order, and the history rows it must leave: a row in the
// same transaction for each change, none for what changes nothing, instruments named by name
// and serial number.
TEST_P(ArchiveHistoryTest, EveryChangeIsOneRowAndNothingElseIsAny) {
    ASSERT_TRUE(m_archive.Open(Location())) << m_archive.Error().toStdString();
    archive::InstrumentIdentity identity;
    identity.serialNumber = "TV-1234";
    identity.firmwareVersion = "2.10";
    qint64 download = -1;
    compliance::InstrumentRegister reg(m_archive);
    const auto intervals = [&](int bump, int calibration, int warning) {
        compliance::IntervalOverride own;
        own.bumpDays = bump;
        own.calibrationDays = calibration;
        own.warningDays = warning;
        ASSERT_TRUE(reg.SetIntervals(m_instrument, own)) << reg.Error().toStdString();
    };
    const struct {
        const char* step;
        std::function<void()> act;
        const char* kind;   // the row it writes; nullptr: none
        const char* detail; // a part of the row's detail
    } steps[] = {
        {"a download's first GO: the instrument",
         [&] { m_instrument = m_archive.Instrument(identity, ""); }, "instrument",
         "instrument serial number TV-1234 first archived, firmware 2.10"},
        {"the same instrument again",
         [&] { ASSERT_EQ(m_archive.Instrument(identity, ""), m_instrument); }, nullptr, nullptr},
        {"its index",
         [&] {
             download = m_archive.BeginDownload(m_instrument, "download");
             ASSERT_TRUE(m_archive.RecordIndex(download, archive::IndexBytes(*m_image)));
         },
         "index", "index upload 1 of download 1 of instrument serial number TV-1234 (download)"},
        {"a session downloaded",
         [&] {
             ASSERT_EQ(m_archive.Store(download, archive::CaptureSessions(*m_image, {1}).front()),
                       archive::StoreResult::New);
         },
         "download", "of instrument serial number TV-1234 (download): 1 new session"},
        {"the same session again",
         [&] {
             ASSERT_EQ(m_archive.Store(download, archive::CaptureSessions(*m_image, {1}).front()),
                       archive::StoreResult::Seen);
         },
         nullptr, nullptr},
        // File > Instrument Name... names it; the program's next GO files it so.
        {"the next GO under a name",
         [&] { ASSERT_EQ(m_archive.Instrument(identity, "van 7"), m_instrument); }, "rename",
         "instrument with serial number TV-1234 named \"van 7\""},
        {"the GO after", [&] { ASSERT_EQ(m_archive.Instrument(identity, "van 7"), m_instrument); },
         nullptr, nullptr},
        {"renamed",
         [&] {
             ASSERT_EQ(m_archive.RenameInstrument("van 7", "van 8"),
                       archive::RenameResult::Renamed);
         },
         "rename", "instrument with serial number TV-1234 renamed from \"van 7\" to \"van 8\""},
        // Intervals... shows what is in force (the defaults here); OK without a change.
        {"intervals unchanged", [&] { intervals(1, 180, 14); }, nullptr, nullptr},
        {"a bump interval", [&] { intervals(2, 180, 14); }, "interval",
         "intervals of instrument \"van 8\", serial number TV-1234: bump test every 2 days (was "
         "1)"},
        {"that bump interval again", [&] { intervals(2, 180, 14); }, nullptr, nullptr},
        {"new mode names reported",
         [&] {
             identity.modeNames[2] = "Barhole";
             ASSERT_EQ(m_archive.Instrument(identity, "van 8"), m_instrument);
         },
         "instrument", "instrument \"van 8\", serial number TV-1234 reported mode names"},
        {"new firmware reported",
         [&] {
             identity.firmwareVersion = "2.11";
             ASSERT_EQ(m_archive.Instrument(identity, "van 8"), m_instrument);
         },
         "instrument", "firmware 2.11 (was 2.10)"},
        {"the same again",
         [&] { ASSERT_EQ(m_archive.Instrument(identity, "van 8"), m_instrument); }, nullptr,
         nullptr},
    };
    int count = Rows().size();
    for (const auto& step : steps) {
        SCOPED_TRACE(step.step);
        step.act();
        const QVector<HistoryRow> rows = Rows();
        ASSERT_EQ(rows.size(), count + (step.kind != nullptr ? 1 : 0));
        count = rows.size();
        if (step.kind != nullptr) {
            EXPECT_EQ(rows.last().kind, step.kind);
            EXPECT_TRUE(rows.last().detail.contains(step.detail))
                << rows.last().detail.toStdString();
            // Never the archive's row number for an instrument.
            EXPECT_FALSE(rows.last().detail.contains(QRegularExpression("instrument \\d")))
                << rows.last().detail.toStdString();
        }
    }
    const archive::VerifySummary summary = archive::VerifyArchive(m_archive);
    EXPECT_TRUE(summary.Clean()) << summary.mismatches.join('\n').toStdString();
}

TEST_P(ArchiveHistoryTest, AnArchiveMadeBeforeTheHistoryBeginsItWithItsSessions) {
    // Schema version 4 is the last without the history.
    ASSERT_TRUE(m_archive.OpenAtVersion(Location(), 4)) << m_archive.Error().toStdString();
    // The instrument as the program of that version made it.
    qint64 instrument = 0;
    {
        QSqlQuery q(QSqlDatabase::database(m_archive.ConnectionName()));
        ASSERT_TRUE(q.exec("INSERT INTO instruments (identity_key, name, first_seen)"
                           " VALUES ('name:old', 'old', 1)"));
        ASSERT_TRUE(q.exec("SELECT id FROM instruments") && q.next());
        instrument = q.value(0).toLongLong();
    }
    Import(m_archive, instrument);
    ASSERT_EQ(m_archive.RenameInstrument("old", "older"), archive::RenameResult::Renamed);
    m_archive.Close();

    ASSERT_TRUE(m_archive.Open(Location())) << m_archive.Error().toStdString();
    const int sessions = static_cast<int>(archive::CaptureSessions(*m_image, {}).size());
    QVector<HistoryRow> rows = Rows();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].kind, "started");
    EXPECT_EQ(rows[0].sessions.size(), sessions);
    EXPECT_TRUE(archive::VerifyArchive(m_archive).Clean());
    // Opened again: begun once only.
    m_archive.Close();
    ASSERT_TRUE(m_archive.Open(Location())) << m_archive.Error().toStdString();
    EXPECT_EQ(Rows().size(), 1);
    const testsupport::RunResult run = Datalog({"verify"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
}

// The program acts on history_start only for the values its migrations write, and the migration
// that brings the personal keys' rule, run again because its record was deleted, writes no rule
// row the chain holds already: a command that only reads the archive writes no row.
TEST_P(ArchiveHistoryTest, ACommandThatOnlyReadsWritesNoRow) {
    const struct {
        const char* what;
        const char* sql;
        int verified;     // verify's exit status
        const char* said; // a part of verify's output
    } cases[] = {
        {"a value no migration writes put in history_start",
         "INSERT INTO history_start (pending) VALUES (3)", 1,
         "history_start holds the value 3, which no version of this program writes (written"
         " outside this program)\n"},
        {"the record of the personal keys' schema deleted",
         "DELETE FROM schema_migrations WHERE version = 12", 0, " history rows, no mismatch"},
    };
    int round = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(Renew("read-" + std::to_string(++round)));
        OpenImported();
        ASSERT_TRUE(Sql(c.sql));
        const QVector<HistoryRow> rows = Rows();
        QSqlQuery query(QSqlDatabase::database(m_archive.ConnectionName()));
        ASSERT_TRUE(query.exec("SELECT COUNT(*) FROM history_start") && query.next());
        const qint64 flags = query.value(0).toLongLong();
        query.finish();
        m_archive.Close();
        for (const char* command : {"verify", "head", "list", "verify"}) {
            SCOPED_TRACE(command);
            const testsupport::RunResult run = Datalog({command});
            const bool verify = std::string(command) == "verify";
            EXPECT_EQ(run.status, verify ? c.verified : 0) << run.out << run.err;
            if (verify) {
                EXPECT_NE(run.out.find(c.said), std::string::npos) << run.out;
            }
        }
        ASSERT_TRUE(m_archive.Open(Location())) << m_archive.Error().toStdString();
        const QVector<HistoryRow> after = Rows();
        ASSERT_EQ(after.size(), rows.size());
        EXPECT_EQ(after.last().hash, rows.last().hash);
        QSqlQuery again(QSqlDatabase::database(m_archive.ConnectionName()));
        ASSERT_TRUE(again.exec("SELECT COUNT(*) FROM history_start") && again.next());
        EXPECT_EQ(again.value(0).toLongLong(), flags);
        again.finish();
        m_archive.Close();
    }
}

TEST_P(ArchiveHistoryTest, TwoWritersAtOnceNeverForkTheChain) {
    OpenImported();
    constexpr int kChanges = 40;
    const QByteArray index = archive::IndexBytes(*m_image);
    const std::vector<archive::CapturedSession> captured =
        archive::CaptureSessions(*m_image, {1, 2});
    auto writer = [&](int which, bool& ok) {
        SessionArchive store;
        ok = store.Open(Location());
        for (int i = 0; ok && i < kChanges; ++i) {
            QString error;
            ok = archive::RecordChange(store, ChangeKind::Interval,
                                       QString("writer %1 change %2").arg(which).arg(i), {}, error);
            EXPECT_TRUE(ok) << error.toStdString();
        }
        // An import of its own among the changes.
        const QString name = QString("unit %1").arg(which);
        const qint64 instrument = store.Instrument(archive::NamedInstrument(name), name);
        archive::StoreCounts counts;
        ok = ok && store.ImportDump(instrument, "import", index, captured, counts) > 0;
    };
    bool ok[2] = {false, false};
    std::thread a(writer, 1, std::ref(ok[0]));
    std::thread b(writer, 2, std::ref(ok[1]));
    a.join();
    b.join();
    EXPECT_TRUE(ok[0] && ok[1]);
    const archive::VerifySummary summary = archive::VerifyArchive(m_archive);
    EXPECT_TRUE(summary.Clean()) << summary.mismatches.join('\n').toStdString();
    // Started, "unit 7" and its import; each writer's changes, its instrument and its import.
    EXPECT_EQ(summary.rows, 3 + 2 * (kChanges + 2));
}

INSTANTIATE_ON_BOTH_ENGINES(ArchiveHistoryTest);

} // namespace
