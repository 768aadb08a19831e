// The archive on both engines: the same cases against SQLite and a real PostgreSQL server.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QRegularExpression>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "ArchiveFixture.h"
#include "archive/ArchiveHistory.h"
#include "archive/ArchiveReport.h"
#include "core/SessionTable.h"
#include "core/SessionTags.h"
#include "report/Report.h"
#include "testsupport/EnvGuard.h"
#include "textcodec/Cp1252.h"

using archive::CapturedSession;
using archive::SessionArchive;
using archive::StoreCounts;
using archive::StoreResult;

namespace {

class ArchiveTest : public archivetest::OpenArchiveFixture {
protected:
    void SetUp() override {
        OpenArchiveFixture::SetUp();
        if (IsSkipped()) {
            return;
        }
        m_image = archivetest::GeneratedImage(1);
        m_instrument = m_archive.Instrument(archive::NamedInstrument("unit 7"), "unit 7");
        ASSERT_GT(m_instrument, 0) << m_archive.Error().toStdString();
    }

    StoreCounts Import(LogImage& image, qint64 instrument = -1) {
        StoreCounts counts;
        const qint64 download = m_archive.ImportDump(instrument > 0 ? instrument : m_instrument,
                                                     "test", archive::IndexBytes(image),
                                                     archive::CaptureSessions(image, {}), counts);
        EXPECT_GT(download, 0) << m_archive.Error().toStdString();
        return counts;
    }

    QVector<archive::ListedSession> All() { return m_archive.List(archive::ListFilter()); }

    // Every session's line of the listing, as kept in its row, is the one its whole record
    // gives in the listing's layout, in the same order.
    void ExpectLinesFollowTheRecords() {
        QVector<archive::ListedSession> lines;
        ASSERT_TRUE(m_archive.ForEach(
            {}, [&](const archive::ListedSession& s) { lines.append(s); },
            archive::ListDetail::Line));
        const QVector<archive::ListedSession> full = All();
        ASSERT_EQ(lines.size(), full.size());
        for (int i = 0; i < full.size(); ++i) {
            const archive::ListedSession& f = full[i];
            const archive::SessionSummary& m = f.summary;
            QStringList tags;
            for (const std::string& word : TagWords(f.tags)) {
                tags << QString::fromStdString(word);
            }
            tags << (f.complete ? "" : "open");
            tags.removeAll("");
            QString line = QString("%1  %2 %3-%4  %5  slot %6  %7")
                               .arg("id " + QString::number(f.id), -9)
                               .arg(f.dated ? m.day : QString("undated"), -10)
                               .arg(m.startTime, 8)
                               .arg(m.endTime, -8)
                               .arg(f.instrument)
                               .arg(f.slot, 3)
                               .arg(tags.join(','), -12);
            line += m.mode.isEmpty() ? "" : "  mode " + m.mode;
            line += m.jobs.isEmpty() ? "" : "  job " + m.jobs.join(", ");
            line += m.users.isEmpty() ? "" : "  user " + m.users.join(", ");
            EXPECT_EQ(lines[i].line, line.trimmed()) << "session " << f.id;
        }
    }

    // The modes a session's report names, in their order, each once.
    QString ReportedModes(qint64 id) {
        std::unique_ptr<LogImage> scratch(new LogImage);
        std::unique_ptr<SessionTable> table(new SessionTable);
        ReportState state;
        EXPECT_TRUE(archive::RenderArchived(m_archive, {id}, *scratch, *table, state));
        const QRegularExpression told(
            "(?:Switch ON(?: by \\w+)? in (.+?) mode|Mode change to (.+?))"
            "\\.\\\\par");
        QStringList modes;
        auto match = told.globalMatch(FromCp1252(state.ReportText));
        while (match.hasNext()) {
            const QRegularExpressionMatch m = match.next();
            const QString mode = m.captured(1).isEmpty() ? m.captured(2) : m.captured(1);
            if (!modes.contains(mode)) {
                modes << mode;
            }
        }
        return modes.join(", ");
    }

    int Count(const char* sql) {
        QSqlQuery query(QSqlDatabase::database(m_archive.ConnectionName()));
        EXPECT_TRUE(query.exec(sql) && query.next()) << sql;
        return query.value(0).toInt();
    }

    testsupport::ZoneGuard m_zone{"UTC"};
    std::unique_ptr<LogImage> m_image;
    qint64 m_instrument = -1;
};

TEST_P(ArchiveTest, SessionsSeenAgainAreStoredOnce) {
    const size_t sessions = archive::CaptureSessions(*m_image, {}).size();
    ASSERT_GT(sessions, 50u);
    const StoreCounts first = Import(*m_image);
    EXPECT_EQ(first.added, static_cast<int>(sessions));
    const StoreCounts second = Import(*m_image);
    EXPECT_EQ(second.added, 0);
    EXPECT_EQ(second.seen, static_cast<int>(sessions));
    EXPECT_EQ(All().size(), static_cast<int>(sessions));
    EXPECT_EQ(Count("SELECT COUNT(*) FROM index_uploads"), 2);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM sessions WHERE first_download <> last_download"),
              static_cast<int>(sessions));
}

TEST_P(ArchiveTest, AReusedSlotIsANewSession) {
    Import(*m_image);
    const int before = All().size();
    // Slot 5's session, as if slot 0 had been reused for it.
    const uint32_t stamp = archivetest::StampOf(*m_image, 5);
    ASSERT_NE(stamp, 0xFFFFFFFFu);
    archivetest::ReuseSlot(*m_image, 0, stamp, 5);
    const StoreCounts counts = Import(*m_image);
    EXPECT_EQ(counts.added, 1);
    EXPECT_EQ(counts.replaced, 0);
    EXPECT_EQ(All().size(), before + 1);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM sessions WHERE slot = 0"), 2);
}

TEST_P(ArchiveTest, ChangedBytesReplaceOnlyTheIncompleteCopy) {
    uint32_t stamp = 0;
    const int16_t open = archivetest::NewestSlot(*m_image, stamp);
    ASSERT_GE(open, 0);
    const std::unique_ptr<LogImage> whole = archivetest::GeneratedImage(1);
    archivetest::CutShort(*m_image, open);
    Import(*m_image);
    const int before = All().size();
    EXPECT_FALSE(m_archive.HoldsComplete(m_instrument, open, stamp));
    // The newest session grew since: its copy is replaced, its history kept.
    m_image->Store(archivetest::SessionOffset(open),
                   whole->Bytes() + archivetest::SessionOffset(open), LogImage::kSectorSize);
    StoreCounts counts = Import(*m_image);
    EXPECT_EQ(counts.replaced, 1);
    EXPECT_EQ(counts.added, 0);
    EXPECT_EQ(All().size(), before);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM session_history"), 1);
    const qint64 id =
        Count(("SELECT id FROM sessions WHERE slot = " + std::to_string(open)).c_str());
    archive::LoadedSession loaded;
    ASSERT_TRUE(m_archive.Load(id, loaded));
    EXPECT_EQ(loaded.sector, QByteArray(reinterpret_cast<const char*>(whole->Bytes()) +
                                            archivetest::SessionOffset(open),
                                        LogImage::kSectorSize));
    // It ends with its switch-off now: done.
    EXPECT_TRUE(m_archive.HoldsComplete(m_instrument, open, stamp));

    // A finished session whose bytes differ, even where they only add to its stream, is kept
    // beside the first copy as a conflicting one, never over it; seen again, once.
    const uint8_t more[] = {0x42, 0x43};
    m_image->Store(archivetest::SessionOffset(4) + 4000, more, sizeof more);
    for (int round = 0; round < 2; ++round) {
        counts = Import(*m_image);
        EXPECT_EQ(counts.added, 0);
        EXPECT_EQ(counts.conflicting, 1 - round);
        EXPECT_EQ(Count("SELECT COUNT(*) FROM sessions WHERE slot = 4"), 1);
        EXPECT_EQ(Count("SELECT COUNT(*) FROM session_history WHERE conflict = 1"), 1);
    }
    const archive::VerifySummary verified = archive::VerifyArchive(m_archive);
    EXPECT_TRUE(verified.Clean()) << verified.mismatches.join('\n').toStdString();
    EXPECT_EQ(verified.conflictingCopies, 1);
    ExpectLinesFollowTheRecords();
}

TEST_P(ArchiveTest, OnlyASessionStillBeingRecordedIsLeftOpen) {
    uint32_t newest = 0;
    const int16_t open = archivetest::NewestSlot(*m_image, newest);
    // The second newest, cut short too: a newer session follows it, so it is done all the same.
    uint32_t before = 0;
    int16_t older = -1;
    for (const CapturedSession& s : archive::CaptureSessions(*m_image, {})) {
        if (s.dated && s.stamp < newest && s.stamp > before) {
            before = s.stamp;
            older = s.slot;
        }
    }
    archivetest::CutShort(*m_image, open);
    archivetest::CutShort(*m_image, older);
    Import(*m_image);
    int complete = 0;
    for (const CapturedSession& s : archive::CaptureSessions(*m_image, {})) {
        const bool held = m_archive.HoldsComplete(m_instrument, s.slot, s.stamp);
        EXPECT_EQ(held, s.dated && s.slot != open) << "slot " << s.slot;
        complete += held ? 1 : 0;
    }
    EXPECT_GT(complete, 50);
    // Once a newer session exists, the one left open is seen complete.
    archivetest::ReuseSlot(*m_image, 0, newest + 86400, 5);
    Import(*m_image);
    EXPECT_TRUE(m_archive.HoldsComplete(m_instrument, open, newest));
}

TEST_P(ArchiveTest, ListingsFilterByDayTagAndInstrument) {
    Import(*m_image);
    const qint64 other = m_archive.Instrument(archive::NamedInstrument("unit 9"), "unit 9");
    Import(*archivetest::GeneratedImage(2), other);
    const std::vector<CapturedSession> captured = archive::CaptureSessions(*m_image, {});
    int alarms = 0, cals = 0, august = 0;
    for (const CapturedSession& s : captured) {
        alarms += s.alarm || s.summary.alarmCount > 0 ? 1 : 0;
        cals += s.calibration || !s.summary.calibrations.isEmpty() ? 1 : 0;
        august += s.summary.day.startsWith("2026-08") ? 1 : 0;
    }
    ASSERT_GT(august, 0);
    archive::ListFilter filter;
    filter.instrument = "unit 7";
    EXPECT_EQ(m_archive.List(filter).size(), static_cast<int>(captured.size()));
    filter.alarmOnly = true;
    EXPECT_EQ(m_archive.List(filter).size(), alarms);
    filter.alarmOnly = false;
    filter.calibrationOnly = true;
    EXPECT_EQ(m_archive.List(filter).size(), cals);
    filter.calibrationOnly = false;
    filter.from = "2026-08-01";
    filter.to = "2026-08-31";
    const QVector<archive::ListedSession> listed = m_archive.List(filter);
    EXPECT_EQ(listed.size(), august);
    for (int i = 1; i < listed.size(); ++i) {
        EXPECT_LE(listed[i - 1].summary.day + listed[i - 1].summary.startTime,
                  listed[i].summary.day + listed[i].summary.startTime);
    }
    filter = archive::ListFilter();
    filter.instrument = "nobody";
    EXPECT_TRUE(m_archive.List(filter).isEmpty());
    // Job numbers and users: any part, any case.
    const archive::SessionSummary& sample = captured[2].summary;
    ASSERT_FALSE(sample.jobs.isEmpty());
    ASSERT_FALSE(sample.users.isEmpty());
    const QString job = sample.jobs.first().mid(3).toLower();
    const QString user = sample.users.first().toUpper();
    int withJob = 0, withUser = 0;
    for (const CapturedSession& s : captured) {
        withJob += s.summary.jobs.join('\n').contains(job, Qt::CaseInsensitive) ? 1 : 0;
        withUser += s.summary.users.join('\n').contains(user, Qt::CaseInsensitive) ? 1 : 0;
    }
    filter = archive::ListFilter();
    filter.instrument = "unit 7";
    filter.job = job;
    EXPECT_EQ(m_archive.List(filter).size(), withJob);
    filter.job.clear();
    filter.user = user;
    EXPECT_EQ(m_archive.List(filter).size(), withUser);
    EXPECT_LT(withUser, static_cast<int>(captured.size()));
    filter = archive::ListFilter();
    filter.job = "%";
    EXPECT_TRUE(m_archive.List(filter).isEmpty()) << "LIKE wildcards are matched as text";
    // A renamed instrument is listed under its new name.
    ASSERT_EQ(m_archive.RenameInstrument("unit 9", "van 9"), archive::RenameResult::Renamed);
    ExpectLinesFollowTheRecords();
}

// `archive list` tags each session with the words the program's tree labels it with (FC, C,
// Alm, (cont)), and "Alm" too where its records hold an alarm the index did not tag.
TEST_P(ArchiveTest, TheListingTagsASessionAsTheProgramsTreeDoes) {
    Import(*m_image);
    std::unique_ptr<SessionTable> table(new SessionTable);
    table->Build(*m_image);
    const QRegularExpression tagged("  slot +(\\d+)  (\\S*)");
    int seen = 0;
    ASSERT_TRUE(m_archive.ForEach(
        {},
        [&](const archive::ListedSession& s) {
            const QRegularExpressionMatch match = tagged.match(s.line);
            ASSERT_TRUE(match.hasMatch()) << s.line.toStdString();
            const SessionEntry* entry =
                table->FindSlot(static_cast<int16_t>(match.captured(1).toInt()));
            ASSERT_NE(entry, nullptr);
            if (entry->undated != 0) {
                return; // the tree lists dated sessions only
            }
            QStringList listed = match.captured(2).split(',', Qt::SkipEmptyParts);
            listed.removeAll("open");
            const QStringList labelled =
                QString::fromLatin1(entry->sessionLabel + 8).split(' ', Qt::SkipEmptyParts);
            if (!labelled.contains("Alm") && listed.contains("Alm")) {
                listed.removeAll("Alm"); // an alarm in its records, which the index did not tag
            }
            EXPECT_EQ(listed, labelled) << s.line.toStdString();
            seen += labelled.isEmpty() ? 0 : 1;
        },
        archive::ListDetail::Line));
    EXPECT_GT(seen, 0);
}

TEST_P(ArchiveTest, ModesAreListedByTheNamesTheInstrumentKept) {
    // A dump holds no mode names: for an instrument the archive knows none of, a mode is its
    // number, as in the dump's own report.
    Import(*m_image);
    const QRegularExpression numbered("\\bmode [1-4]\\b");
    QSet<int> used;
    for (const archive::ListedSession& s : All()) {
        for (const QString& mode : s.summary.mode.split(", ")) {
            if (numbered.match(mode).hasMatch()) {
                used.insert(mode.mid(5).toInt());
            }
        }
    }
    ASSERT_FALSE(used.isEmpty());
    // A download reported the instrument's names: every listing and every loaded session says
    // them, also of the sessions imported before.
    archive::InstrumentIdentity named = archive::NamedInstrument("unit 7");
    const char* const names[4] = {"Survey", "Leak Search", "Barhole", "R\xE9seau Enqu\xEAte"};
    for (int k = 0; k < 4; ++k) {
        named.modeNames[k] = names[k];
    }
    ASSERT_EQ(m_archive.Instrument(named, "unit 7"), m_instrument);
    QSet<int> shown;
    for (const archive::ListedSession& s : All()) {
        EXPECT_FALSE(numbered.match(s.summary.mode).hasMatch()) << s.summary.mode.toStdString();
        for (int k = 0; k < 4; ++k) {
            if (s.summary.mode.split(", ").contains(FromCp1252(names[k]))) {
                shown.insert(k + 1);
            }
        }
        archive::LoadedSession loaded;
        ASSERT_TRUE(m_archive.Load(s.id, loaded));
        EXPECT_EQ(loaded.listed.summary.mode, s.summary.mode);
        // Every mode by the name its report gives it, the one it switched on in too.
        EXPECT_EQ(s.summary.mode.toStdString(), ReportedModes(s.id).toStdString())
            << "session " << s.id;
    }
    EXPECT_EQ(shown, used);
    ExpectLinesFollowTheRecords();
}

TEST_P(ArchiveTest, ArchivedSessionsRenderAsUploaded) {
    Import(*m_image);
    std::vector<int16_t> order;
    QVector<qint64> ids;
    for (const archive::ListedSession& listed : All()) {
        ids << listed.id;
        order.push_back(static_cast<int16_t>(listed.slot));
    }
    std::unique_ptr<LogImage> scratch(new LogImage);
    std::unique_ptr<SessionTable> table(new SessionTable);
    ReportState state;
    ASSERT_TRUE(archive::RenderArchived(m_archive, ids, *scratch, *table, state));
    EXPECT_EQ(state.ReportText, archivetest::RenderSlots(*m_image, order));
}

TEST_P(ArchiveTest, AnOlderSchemaIsMigratedWithItsSessions) {
    Renew("old");
    ASSERT_TRUE(m_archive.OpenAtVersion(Location(), 1)) << m_archive.Error().toStdString();
    ASSERT_EQ(m_archive.SchemaVersion(), 1);
    const CapturedSession s = archive::CaptureSessions(*m_image, {3}).front();
    {
        QSqlDatabase db = QSqlDatabase::database(m_archive.ConnectionName());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec("INSERT INTO instruments (fingerprint, name, first_seen)"
                           " VALUES ('named:old', 'old unit', 1)"));
        ASSERT_TRUE(q.exec("INSERT INTO downloads (instrument_id, source, started_at)"
                           " VALUES (1, 'v1', 1)"));
        q.prepare("INSERT INTO sessions (instrument_id, slot, stamp, name, dated, alarm,"
                  " calibration, complete, digest, day, start_time, first_seen,"
                  " first_download, last_seen, last_download)"
                  " VALUES (1, 3, ?, ?, 1, 0, 0, 1, 'x', '2000-01-01', '', 1, 1, 1, 1)");
        q.addBindValue(static_cast<qint64>(s.stamp));
        q.addBindValue(s.name);
        ASSERT_TRUE(q.exec());
        q.prepare("INSERT INTO session_bytes (session_id, sector, overrun) VALUES (1, ?, ?)");
        q.addBindValue(s.sector);
        q.addBindValue(s.overrun.isNull() ? QByteArray("") : s.overrun);
        ASSERT_TRUE(q.exec());
    }
    m_archive.Close();
    ASSERT_TRUE(m_archive.Open(Location())) << m_archive.Error().toStdString();
    EXPECT_EQ(m_archive.SchemaVersion(), SessionArchive::CurrentSchemaVersion());
    const QVector<archive::ListedSession> listed = All();
    ASSERT_EQ(listed.size(), 1);
    // The summary is made again from the kept bytes.
    EXPECT_EQ(listed[0].summary.day, s.summary.day);
    EXPECT_EQ(listed[0].summary.startTime, s.summary.startTime);
    EXPECT_FALSE(s.summary.endTime.isEmpty());
    EXPECT_EQ(listed[0].summary.endTime, s.summary.endTime);
    EXPECT_EQ(listed[0].summary.peaks, s.summary.peaks);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM sessions WHERE summary_version = 0"), 0);
    ExpectLinesFollowTheRecords();
    // An archive newer than the program is refused, not damaged.
    {
        QSqlQuery q(QSqlDatabase::database(m_archive.ConnectionName()));
        ASSERT_TRUE(q.exec("INSERT INTO schema_migrations (version, applied_at) VALUES (99, 1)"));
    }
    m_archive.Close();
    EXPECT_FALSE(m_archive.Open(Location()));
    EXPECT_TRUE(m_archive.Error().contains("newer")) << m_archive.Error().toStdString();
}

// A record of the schema's versions cut short by hand (its newest versions deleted) is refused as
// it is, plainly, and nothing is written: migrated again, those versions would fail on their own
// tables half way, or act a second time on what they did once.
TEST_P(ArchiveTest, ASchemaRecordBehindItsTablesIsRefusedAndLeftAsItIs) {
    Import(*m_image);
    const struct {
        const char* sql; // each after the ones before
        int recorded;
    } cases[] = {
        {"DELETE FROM schema_migrations WHERE version >= 10", 9},
        {"DELETE FROM schema_migrations WHERE version >= 9", 8},
        {"DELETE FROM schema_migrations", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sql);
        ASSERT_TRUE(Sql(c.sql));
        const std::vector<int> before = {Count("SELECT COUNT(*) FROM schema_migrations"),
                                         Count("SELECT COUNT(*) FROM archive_history"),
                                         Count("SELECT COUNT(*) FROM history_start")};
        const std::string said = "the archive records schema version " +
                                 std::to_string(c.recorded) +
                                 " but holds the tables of a later version (changed outside this"
                                 " program)";
        const testsupport::RunResult run = Datalog({"verify"});
        EXPECT_EQ(run.status, 6) << run.out << run.err;
        EXPECT_NE(run.err.find("cannot use the archive "), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(said + "\n"), std::string::npos) << run.err;
        SessionArchive other;
        EXPECT_FALSE(other.Open(Location()));
        EXPECT_TRUE(other.Error().endsWith(QString::fromStdString(": " + said)))
            << other.Error().toStdString();
        EXPECT_EQ(std::vector<int>({Count("SELECT COUNT(*) FROM schema_migrations"),
                                    Count("SELECT COUNT(*) FROM archive_history"),
                                    Count("SELECT COUNT(*) FROM history_start")}),
                  before);
    }
}

// A statement the database refuses while the archive is being opened is said in our words, what
// was being done, and then in the database's own after a colon: never Qt's "Unable to execute
// statement" alone or after them.
TEST_P(ArchiveTest, AStatementRefusedWhileOpeningIsSaidInOurWords) {
    Import(*m_image);
    // Each session's listing line is made anew at the next opening, which the database refuses.
    ASSERT_TRUE(Sql("UPDATE sessions SET summary_version = 0"));
    // Run as they are, not prepared: a function's body is a quoted text of its own.
    QSqlQuery direct(QSqlDatabase::database(m_archive.ConnectionName()));
    if (GetParam() == archivetest::Engine::SQLite) {
        ASSERT_TRUE(direct.exec("CREATE TRIGGER frozen BEFORE UPDATE ON sessions"
                                " BEGIN SELECT RAISE(ABORT, 'sessions are frozen'); END"));
    } else {
        ASSERT_TRUE(direct.exec("CREATE FUNCTION frozen() RETURNS trigger AS"
                                " $$BEGIN RAISE EXCEPTION 'sessions are frozen'; END$$"
                                " LANGUAGE plpgsql"))
            << direct.lastError().text().toStdString();
        ASSERT_TRUE(direct.exec("CREATE TRIGGER frozen BEFORE UPDATE ON sessions FOR EACH ROW"
                                " EXECUTE PROCEDURE frozen()"));
    }
    direct.finish();
    const std::string where = m_archive.Where().toStdString();
    m_archive.Close();
    const std::string ours = "cannot use the archive " + where +
                             ": the listing lines of its sessions could not be made anew: ";
    EXPECT_FALSE(m_archive.Open(Location()));
    EXPECT_FALSE(m_archive.IsOpen());
    const testsupport::RunResult listed = Datalog({"list"});
    EXPECT_EQ(listed.status, 6) << listed.out;
    EXPECT_EQ(listed.out, "");
    for (const std::string& said : {m_archive.Error().toStdString(), listed.err}) {
        EXPECT_NE(said.find(ours), std::string::npos) << said;
        EXPECT_NE(said.find("sessions are frozen", said.find(ours)), std::string::npos) << said;
        EXPECT_EQ(said.find("Unable to"), std::string::npos) << said;
    }
}

// Two engineers downloading at once: each stores session by session, in opposite orders, the
// sessions of two memories that share most of their sessions.
TEST_P(ArchiveTest, ConcurrentWritersLoseAndDuplicateNothing) {
    std::unique_ptr<LogImage> later = archivetest::GeneratedImage(1);
    for (int16_t slot = 0; slot < 10; ++slot) {
        archivetest::ReuseSlot(*later, slot, archivetest::StampOf(*later, 20 + slot), 20 + slot);
    }
    const std::vector<CapturedSession> a = archive::CaptureSessions(*m_image, {});
    const std::vector<CapturedSession> b = archive::CaptureSessions(*later, {});
    std::set<std::tuple<int, uint32_t, QByteArray>> distinct;
    for (const auto* list : {&a, &b}) {
        for (const CapturedSession& s : *list) {
            distinct.insert({s.slot, s.stamp, s.sector});
        }
    }
    const archive::InstrumentIdentity identity = archive::NamedInstrument("unit 7");
    std::atomic<int> added{0}, failures{0};
    std::string firstError;
    auto writer = [&](bool reverse) {
        SessionArchive own;
        if (!own.Open(Location())) {
            ++failures;
            return;
        }
        const qint64 instrument = own.Instrument(identity, "unit 7");
        for (const auto* list : reverse
                                    ? std::vector<const std::vector<CapturedSession>*>{&b, &a}
                                    : std::vector<const std::vector<CapturedSession>*>{&a, &b}) {
            const qint64 download = own.BeginDownload(instrument, "thread");
            for (size_t i = 0; i < list->size(); ++i) {
                const CapturedSession& s = (*list)[reverse ? list->size() - 1 - i : i];
                const StoreResult result = own.Store(download, s);
                if (result == StoreResult::Failed && failures++ == 0) {
                    firstError = own.Error().toStdString();
                }
                added += result == StoreResult::New ? 1 : 0;
            }
            own.FinishDownload(download);
        }
    };
    std::thread first(writer, false);
    std::thread second(writer, true);
    first.join();
    second.join();
    EXPECT_EQ(failures.load(), 0) << firstError;
    EXPECT_EQ(added.load(), static_cast<int>(distinct.size()));
    EXPECT_EQ(Count("SELECT COUNT(*) FROM instruments"), 1);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM sessions"), static_cast<int>(distinct.size()));
    EXPECT_EQ(Count("SELECT COUNT(*) FROM (SELECT DISTINCT slot, stamp, digest FROM sessions) d"),
              static_cast<int>(distinct.size()));
}

INSTANTIATE_ON_BOTH_ENGINES(ArchiveTest);

TEST(InstrumentIdentityTest, DriverTextAndSensorSettingsTellInstrumentsApart) {
    const std::string names[4] = {"Survey", "", "", ""};
    const std::string renamed[4] = {"Leak", "Purge", "", ""};
    QByteArray block(600, '\0');
    block[0] = 8;
    block[5] = 3;
    const auto id = [&](const char* text, const QByteArray& config, const std::string(&n)[4]) {
        return archive::IdentifyInstrument(QByteArray(text), config, n).fingerprint;
    };
    const QString base = id("V11!AUpload flag!11!129!N!", block, names);
    EXPECT_TRUE(base.startsWith("tavon:"));
    EXPECT_EQ(base, id("V11!\r\nAUpload flag!11!129!N!\r\n", block, names));
    EXPECT_EQ(base, id("V11!AUpload flag!11!129!N!", block, renamed));
    QByteArray newNames = block;
    newNames.replace(308, 4, "Leak");
    EXPECT_EQ(base, id("V11!AUpload flag!11!129!N!", newNames, names));
    QByteArray otherSensors = block;
    otherSensors[5] = 4;
    EXPECT_NE(base, id("V11!AUpload flag!11!129!N!", otherSensors, names));
    EXPECT_NE(base, id("V10!AUpload flag!11!129!N!", block, names));
    EXPECT_TRUE(id("", QByteArray(), names).isEmpty());
    // A dump's instrument is its name alone: it reported nothing to check it by.
    EXPECT_TRUE(archive::NamedInstrument("a").fingerprint.isEmpty());
    EXPECT_EQ(archive::NamedInstrument("a").name, "a");
}

} // namespace
