// A finished session's bytes never change, on both engines: a sign-off never signs bytes that do
// not verify, a row that records other bytes for a finished session is itself a mismatch, a
// download, an import or a sync replaces a session's bytes only with its growth while it was open
// (other bytes are kept beside it), and verify checks each recorded growth against the bytes kept.
#include <gtest/gtest.h>

#include <QHash>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>
#include <functional>
#include <memory>

#include "ArchiveFixture.h"
#include "PersonalKeys.h"
#include "archive/ArchiveHistory.h"
#include "archive/ArchiveReport.h"
#include "archive/ArchiveSync.h"
#include "archive/HistorySigning.h"
#include "archive/SessionCopies.h"
#include "archive/SessionGrowth.h"
#include "core/SessionTable.h"
#include "report/Report.h"
#include "testsupport/EnvGuard.h"

using archive::SessionArchive;

namespace {

class ArchiveFinishedBytesTest : public archivetest::EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        m_image = archivetest::GeneratedImage(3);
        m_user.reset(new testsupport::EnvGuard("XDG_CONFIG_HOME", m_dir.File("signer")));
    }

    static archive::StoreCounts Import(SessionArchive& archive, qint64 instrument,
                                       LogImage& image) {
        archive::StoreCounts counts;
        EXPECT_GT(archive.ImportDump(instrument, "import test", archive::IndexBytes(image),
                                     archive::CaptureSessions(image, {}), counts),
                  0)
            << archive.Error().toStdString();
        return counts;
    }

    static qint64 Count(SessionArchive& archive, const QString& sql) {
        QSqlQuery query(QSqlDatabase::database(archive.ConnectionName()));
        EXPECT_TRUE(query.exec(sql) && query.next()) << sql.toStdString();
        return query.value(0).toLongLong();
    }

    static QByteArray Sector(SessionArchive& archive, qint64 session) {
        archive::LoadedSession loaded;
        EXPECT_TRUE(archive.Load(session, loaded)) << archive.Error().toStdString();
        return loaded.sector;
    }

    // Writes `sector` as the session's stored bytes, with the digest to match, as someone who can
    // write the database would.
    static void Overwrite(SessionArchive& archive, qint64 session, const QByteArray& sector) {
        QSqlQuery query(QSqlDatabase::database(archive.ConnectionName()));
        ASSERT_TRUE(query.prepare("UPDATE session_bytes SET sector = ? WHERE session_id = ?"));
        query.addBindValue(sector);
        query.addBindValue(session);
        ASSERT_TRUE(query.exec());
        ASSERT_TRUE(query.prepare("UPDATE sessions SET digest = ? WHERE id = ?"));
        query.addBindValue(archive::SectorDigest(sector));
        query.addBindValue(session);
        ASSERT_TRUE(query.exec());
    }

    // The sector with a copy of its first record's bytes, one of them altered, written where its
    // stream ended: a session that reads as if it went on.
    static QByteArray Lengthened(const QByteArray& sector) {
        QByteArray longer = sector;
        const int used = archive::UsedLength(sector);
        QByteArray record = sector.left(12);
        record[5] = static_cast<char>(record[5] ^ 0x21);
        longer.replace(used, record.size(), record);
        return longer;
    }

    static std::string Rendered(SessionArchive& archive, qint64 session) {
        std::unique_ptr<LogImage> image(new LogImage);
        std::unique_ptr<SessionTable> table(new SessionTable);
        ReportState state;
        EXPECT_TRUE(archive::RenderArchived(archive, {session}, *image, *table, state));
        return state.ReportText;
    }

    // The oldest dated session the archive holds finished.
    static qint64 Finished(SessionArchive& archive) {
        return Count(archive, "SELECT MIN(id) FROM sessions WHERE dated = 1 AND complete = 1");
    }

    static QString Mismatches(SessionArchive& archive) {
        return archive::VerifyArchive(archive).mismatches.join('\n');
    }

    testsupport::ZoneGuard m_zone{"UTC"};
    std::unique_ptr<testsupport::EnvGuard> m_user; // this test's own keys
    std::unique_ptr<LogImage> m_image;
};

TEST_P(ArchiveFinishedBytesTest, ASignOffNeverSignsBytesThatDoNotVerify) {
    ASSERT_TRUE(m_archive.Open(Location())) << m_archive.Error().toStdString();
    const qint64 unit = m_archive.Instrument(archive::NamedInstrument("unit 2"), "unit 2");
    Import(m_archive, unit, *m_image);
    const qint64 session = Finished(m_archive);
    QByteArray sector = Sector(m_archive, session);
    sector[20] = static_cast<char>(sector[20] ^ 0x01);
    Overwrite(m_archive, session, sector);
    const qint64 rows = Count(m_archive, "SELECT COUNT(*) FROM archive_history");
    ASSERT_TRUE(Mismatches(m_archive).contains(
        QString("session %1: its stored bytes hash to").arg(session)));

    // Refused with the mismatch named, nothing written, by the library and by the command.
    archive::PersonalKey personal;
    ASSERT_TRUE(archivetest::MadePersonalKey(personal));
    archive::SignOffScope scope{"approved", "unit 2", QString(), QString()};
    QString detail;
    QString error;
    bool refused = false;
    bool mismatched = false;
    EXPECT_FALSE(
        archive::SignOff(m_archive, scope, personal, detail, error, &refused, &mismatched));
    EXPECT_TRUE(mismatched);
    EXPECT_FALSE(refused);
    EXPECT_TRUE(error.contains(QString("session %1: its stored bytes hash to").arg(session)))
        << error.toStdString();
    m_archive.Close();
    const testsupport::RunResult signOff =
        Datalog({"sign-off", "--meaning", "approved", "--instrument", "unit 2", "--passphrase-file",
                 archivetest::PassphraseFile(m_dir.File("passphrase"))});
    EXPECT_EQ(signOff.status, 1) << signOff.out << signOff.err;
    EXPECT_NE(signOff.err.find("not signed off: 1 of its sessions does not verify (session " +
                               std::to_string(session) + ")"),
              std::string::npos)
        << signOff.err;
    const testsupport::RunResult verify = Datalog({"verify"});
    EXPECT_EQ(verify.status, 1) << verify.out;
    ASSERT_TRUE(m_archive.Open(Location()));
    EXPECT_EQ(Count(m_archive, "SELECT COUNT(*) FROM archive_history"), rows);
    // Two of them counted as two.
    const qint64 second = Count(m_archive, QString("SELECT MIN(id) FROM sessions WHERE dated = 1"
                                                   " AND complete = 1 AND id > %1")
                                               .arg(session));
    const QByteArray kept = Sector(m_archive, second);
    QByteArray other = kept;
    other[20] = static_cast<char>(other[20] ^ 0x01);
    Overwrite(m_archive, second, other);
    EXPECT_FALSE(archive::SignOff(m_archive, scope, personal, detail, error));
    EXPECT_TRUE(error.startsWith(QString("not signed off: 2 of its sessions do not verify"
                                         " (sessions %1, %2); nothing was written")
                                     .arg(session)
                                     .arg(second)))
        << error.toStdString();
    Overwrite(m_archive, second, kept);

    // A row that records the changed bytes all the same (an insider's, or an older program's)
    // does not make them pass: it is a mismatch of its own, whoever signed it.
    QString ignored;
    ASSERT_TRUE(archive::RecordChange(m_archive, archive::ChangeKind::SignOff, "signed off as",
                                      {session}, ignored));
    const QString said = Mismatches(m_archive);
    EXPECT_TRUE(said.contains(QString("records other bytes for session %1").arg(session)))
        << said.toStdString();
    EXPECT_TRUE(said.contains(QString("session %1: its stored bytes hash to").arg(session)))
        << said.toStdString();
}

// Bytes for a session the archive holds, other than its own: what an import keeps of them, and
// whether the archive verifies after.
TEST_P(ArchiveFinishedBytesTest, OnlyAnOpenSessionGrowsAndOtherBytesAreKeptBeside) {
    // Both cut short: the newest is still open; the one before it is finished, as a newer session
    // follows it, and has room after its end.
    uint32_t stamp = 0;
    const int16_t newest = archivetest::NewestSlot(*m_image, stamp);
    int16_t before = -1;
    uint32_t beforeStamp = 0;
    for (const archive::CapturedSession& s : archive::CaptureSessions(*m_image, {})) {
        if (s.dated && s.stamp < stamp && s.stamp > beforeStamp) {
            beforeStamp = s.stamp;
            before = s.slot;
        }
    }
    ASSERT_GE(before, 0);
    const auto alter = [](QByteArray bytes, int at) {
        bytes[at] = static_cast<char>(bytes[at] ^ 0x10);
        return bytes;
    };
    const struct {
        const char* what;
        bool open;
        std::function<QByteArray(const QByteArray& held, const QByteArray& whole)> next;
        bool replaced; // the next bytes are the session's; else kept beside it
    } cases[] = {
        {"an open session grown", true, [](const QByteArray&, const QByteArray& w) { return w; },
         true},
        {"an open session grown with a byte of its stream changed", true,
         [&](const QByteArray& held, const QByteArray&) { return alter(Lengthened(held), 3); },
         false},
        {"an open session with other bytes of the same length", true,
         [&](const QByteArray& held, const QByteArray&) { return alter(held, 7); }, false},
        {"a finished session with a record written after its end", false,
         [](const QByteArray& held, const QByteArray&) { return Lengthened(held); }, false},
        {"a finished session with a byte of its stream changed", false,
         [&](const QByteArray& held, const QByteArray&) { return alter(held, 7); }, false},
    };
    int round = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(Renew("grow-" + std::to_string(++round)));
        ASSERT_TRUE(m_archive.Open(Location())) << m_archive.Error().toStdString();
        const qint64 unit = m_archive.Instrument(archive::NamedInstrument("unit 7"), "unit 7");
        const int16_t slot = c.open ? newest : before;
        std::unique_ptr<LogImage> image = archivetest::GeneratedImage(3);
        const QByteArray whole(reinterpret_cast<const char*>(image->Bytes()) +
                                   archivetest::SessionOffset(slot),
                               LogImage::kSectorSize);
        archivetest::CutShort(*image, slot);
        Import(m_archive, unit, *image);
        const qint64 id =
            Count(m_archive, QString("SELECT id FROM sessions WHERE slot = %1").arg(slot));
        ASSERT_EQ(Count(m_archive, QString("SELECT complete FROM sessions WHERE id = %1").arg(id)),
                  c.open ? 0 : 1);
        const QByteArray held = Sector(m_archive, id);
        const QByteArray next = c.next(held, whole);
        ASSERT_NE(next, held);
        ASSERT_EQ(next.size(), held.size());
        image->Store(archivetest::SessionOffset(slot),
                     reinterpret_cast<const uint8_t*>(next.constData()), LogImage::kSectorSize);
        const archive::StoreCounts counts = Import(m_archive, unit, *image);
        EXPECT_EQ(counts.replaced, c.replaced ? 1 : 0);
        EXPECT_EQ(counts.conflicting, c.replaced ? 0 : 1);
        EXPECT_EQ(counts.added, 0);
        EXPECT_EQ(Sector(m_archive, id), c.replaced ? next : held);
        const archive::VerifySummary verified = archive::VerifyArchive(m_archive);
        EXPECT_TRUE(verified.Clean()) << verified.mismatches.join('\n').toStdString();
        EXPECT_EQ(verified.conflictingCopies, c.replaced ? 0 : 1);
        // A kept copy that a row names turned into a replaced one, held twice, or taken out,
        // behind the program's back.
        const struct {
            const char* edit;
            const char* said;
        } edits[] = {
            {"UPDATE session_history SET conflict = 0 WHERE conflict = 1",
             "its conflict flag was changed outside this program"},
            {"UPDATE session_history SET conflict = 1 WHERE conflict = 0", ""},
            {"INSERT INTO session_history (session_id, digest, first_seen, replaced_at,"
             " replaced_by, name, sector, overrun, conflict) SELECT session_id, digest,"
             " first_seen, replaced_at, replaced_by, name, sector, overrun, conflict FROM"
             " session_history WHERE conflict = 1",
             "(a copy held twice)"},
            {"DELETE FROM session_history WHERE conflict = 1",
             "which the archive no longer holds (taken out)"},
        };
        for (const auto& e : edits) {
            if (c.replaced) {
                break;
            }
            ASSERT_TRUE(Sql(e.edit));
            const QString said = Mismatches(m_archive);
            EXPECT_TRUE(said.contains(e.said)) << e.edit << '\n' << said.toStdString();
        }
        m_archive.Close();
    }
}

// The case through a sync: a van's finished session lengthened behind the program's back
// and signed over as an older program would have let it; the team keeps what the instrument
// recorded, and its report of it stays the same.
TEST_P(ArchiveFinishedBytesTest, ASyncNeverPassesOtherBytesOfAFinishedSessionToTheTeam) {
    FRESH_OR_SKIP(van, "van");
    FRESH_OR_SKIP(team, "team");
    const qint64 unit = van->Instrument(archive::NamedInstrument("unit 2"), "unit 2");
    Import(*van, unit, *m_image);
    archive::SyncSummary summary;
    QString error;
    ASSERT_TRUE(archive::SyncArchive(*van, *team, {}, summary, error)) << error.toStdString();
    const qint64 vanSession = Finished(*van);
    const qint64 teamSession = Count(
        *team,
        QString("SELECT id FROM sessions WHERE slot = %1 AND stamp = %2")
            .arg(Count(*van, QString("SELECT slot FROM sessions WHERE id = %1").arg(vanSession)))
            .arg(Count(*van, QString("SELECT stamp FROM sessions WHERE id = %1").arg(vanSession))));
    const std::string report = Rendered(*team, teamSession);

    Overwrite(*van, vanSession, Lengthened(Sector(*van, vanSession)));
    ASSERT_TRUE(archive::RecordChange(*van, archive::ChangeKind::SignOff,
                                      "signed off as \"approved\"", {vanSession}, error));
    EXPECT_TRUE(Mismatches(*van).contains("records other bytes for session"));

    summary = archive::SyncSummary();
    ASSERT_TRUE(archive::SyncArchive(*van, *team, {}, summary, error)) << error.toStdString();
    EXPECT_EQ(summary.grownKept, 0);
    EXPECT_EQ(summary.refused, 1) << summary.Line().toStdString();
    EXPECT_EQ(Rendered(*team, teamSession), report);
    // The team's own sessions verify; the van's chain it holds tells of the van's row.
    const archive::VerifySummary verified = archive::VerifyArchive(*team);
    EXPECT_TRUE(verified.faultySessions.isEmpty());
    EXPECT_EQ(verified.chainFaults, 0);
    ASSERT_FALSE(verified.mismatches.isEmpty());
    for (const QString& line : verified.mismatches) {
        EXPECT_TRUE(line.startsWith("archive " + van->Identity() + "'s history row"))
            << line.toStdString();
    }
}

// The history decides whether a session may still grow, not the `complete` column, which no hash
// covers: a finished session whose column was set to 0 with SQL keeps its bytes against a
// download, an import and a sync of longer ones (they are kept beside it), and a sign-off still
// records it finished; a sync takes each session's state from its source's history.
TEST_P(ArchiveFinishedBytesTest, TheHistoryNotTheCompleteColumnSaysWhetherASessionGrows) {
    uint32_t stamp = 0;
    const int16_t newest = archivetest::NewestSlot(*m_image, stamp);
    int16_t before = -1;
    uint32_t beforeStamp = 0;
    for (const archive::CapturedSession& s : archive::CaptureSessions(*m_image, {})) {
        if (s.dated && s.stamp < stamp && s.stamp > beforeStamp) {
            beforeStamp = s.stamp;
            before = s.slot;
        }
    }
    ASSERT_GE(before, 0);
    const struct {
        const char* what;
        // Offers the longer bytes `next` of the session `id` to `archive`: the conflicting copies
        // it kept.
        std::function<qint64(SessionArchive& archive, qint64 unit, qint64 id, LogImage& next)>
            offer;
        qint64 kept; // conflicting copies: the bytes offered
    } cases[] = {
        {"an import",
         [](SessionArchive& archive, qint64 unit, qint64, LogImage& next) {
             return static_cast<qint64>(Import(archive, unit, next).conflicting);
         },
         1},
        {"a download",
         [before](SessionArchive& archive, qint64 unit, qint64, LogImage& next) {
             archive::StoreCounts counts;
             EXPECT_TRUE(archive.StoreAll(archive.BeginDownload(unit, "download"),
                                          archive::CaptureSessions(next, {before}), counts))
                 << archive.Error().toStdString();
             return static_cast<qint64>(counts.conflicting);
         },
         1},
        {"a sync",
         [this](SessionArchive& archive, qint64, qint64, LogImage& next) {
             SessionArchive* van = Fresh("van");
             Import(*van, van->Instrument(archive::NamedInstrument("unit 7"), "unit 7"), next);
             archive::SyncSummary summary;
             QString error;
             EXPECT_TRUE(archive::SyncArchive(*van, archive, {}, summary, error))
                 << error.toStdString();
             EXPECT_EQ(summary.grownKept, 0);
             return summary.conflicts;
         },
         1},
        {"a sign-off",
         [](SessionArchive& archive, qint64, qint64, LogImage&) {
             archive::PersonalKey personal;
             EXPECT_TRUE(archivetest::MadePersonalKey(personal));
             QString detail;
             QString error;
             // A column changed behind the program's back is a mismatch in the sign-off's scope.
             EXPECT_FALSE(archive::SignOff(archive, {"approved", "unit 7", QString(), QString()},
                                           personal, detail, error));
             EXPECT_TRUE(error.contains("its complete column was changed")) << error.toStdString();
             return qint64{0};
         },
         0},
    };
    int round = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (!Renew("column-" + std::to_string(++round))) {
            SKIP_WITHOUT_SERVER();
        }
        ASSERT_TRUE(m_archive.Open(Location())) << m_archive.Error().toStdString();
        const qint64 unit = m_archive.Instrument(archive::NamedInstrument("unit 7"), "unit 7");
        std::unique_ptr<LogImage> image = archivetest::GeneratedImage(3);
        archivetest::CutShort(*image, before);
        Import(m_archive, unit, *image);
        const qint64 id =
            Count(m_archive, QString("SELECT id FROM sessions WHERE slot = %1").arg(before));
        ASSERT_TRUE(Sql("UPDATE sessions SET complete = 0 WHERE id = ?", {id}));
        const QByteArray held = Sector(m_archive, id);
        const QByteArray next = Lengthened(held);
        image->Store(archivetest::SessionOffset(before),
                     reinterpret_cast<const uint8_t*>(next.constData()), LogImage::kSectorSize);
        EXPECT_EQ(c.offer(m_archive, unit, id, *image), c.kept);
        EXPECT_TRUE(Sector(m_archive, id) == held);
        // The column's edit itself is said, and nothing else: no row recorded the session open.
        const archive::VerifySummary verified = archive::VerifyArchive(m_archive);
        ASSERT_EQ(verified.mismatches.size(), 1) << verified.mismatches.join('\n').toStdString();
        EXPECT_TRUE(verified.mismatches.first().contains(
            QString("session %1 is marked open, history row ").arg(id)))
            << verified.mismatches.first().toStdString();
        EXPECT_EQ(verified.conflictingCopies, c.kept);
        m_archive.Close();
        DropAll();
    }
    // A sync's source: the state its history gave each session, not its column's.
    FRESH_OR_SKIP(van, "van");
    FRESH_OR_SKIP(team, "team");
    archivetest::CutShort(*m_image, newest);
    Import(*van, van->Instrument(archive::NamedInstrument("unit 7"), "unit 7"), *m_image);
    const QString slotOf = "SELECT %1 FROM sessions WHERE slot = %2";
    QSqlQuery edit(QSqlDatabase::database(van->ConnectionName()));
    ASSERT_TRUE(edit.exec(QString("UPDATE sessions SET complete = 1 - complete WHERE slot IN"
                                  " (%1, %2)")
                              .arg(newest)
                              .arg(before)));
    archive::SyncSummary summary;
    QString error;
    ASSERT_TRUE(archive::SyncArchive(*van, *team, {}, summary, error)) << error.toStdString();
    QHash<qint64, archive::SessionState> recorded;
    for (const archive::HistoryRow& row : archive::History(*team, error)) {
        for (const archive::HistorySession& s : row.sessions) {
            recorded.insert(s.id, s.state);
        }
    }
    for (const auto& [slot, finished] : {std::pair<int16_t, bool>{before, true}, {newest, false}}) {
        SCOPED_TRACE(slot);
        const qint64 id = Count(*team, slotOf.arg("id").arg(slot));
        EXPECT_EQ(Count(*team, slotOf.arg("complete").arg(slot)), finished ? 1 : 0);
        EXPECT_EQ(recorded.value(id),
                  finished ? archive::SessionState::Finished : archive::SessionState::Open);
    }
}

// The instrument finished a session without adding a byte (held open at the first import): the
// column follows, and a row says so, so that verify, which holds the column to the history's last
// word, stays clean, and the session is fixed from then on.
TEST_P(ArchiveFinishedBytesTest, ASessionFinishedSinceWithNoByteAddedIsRecordedFinished) {
    ASSERT_TRUE(m_archive.Open(Location())) << m_archive.Error().toStdString();
    const qint64 unit = m_archive.Instrument(archive::NamedInstrument("unit 7"), "unit 7");
    std::vector<archive::CapturedSession> sessions = archive::CaptureSessions(*m_image, {});
    size_t dated = 0;
    while (dated < sessions.size() && !(sessions[dated].dated && sessions[dated].complete)) {
        ++dated;
    }
    ASSERT_LT(dated, sessions.size());
    archive::StoreCounts counts;
    for (const bool finished : {false, true}) {
        sessions[dated].complete = finished;
        ASSERT_GT(m_archive.ImportDump(unit, "import test", archive::IndexBytes(*m_image), sessions,
                                       counts),
                  0)
            << m_archive.Error().toStdString();
        EXPECT_EQ(Mismatches(m_archive), "");
    }
    EXPECT_EQ(counts.seen, static_cast<int>(sessions.size()));
    const qint64 open =
        std::count_if(sessions.begin(), sessions.end(),
                      [](const archive::CapturedSession& s) { return !s.complete; });
    EXPECT_EQ(Count(m_archive, "SELECT COUNT(*) FROM sessions WHERE complete = 0"), open);
    QString error;
    const QVector<archive::HistoryRow> rows = archive::History(m_archive, error);
    ASSERT_FALSE(rows.isEmpty()) << error.toStdString();
    EXPECT_TRUE(rows.last().detail.endsWith(": 1 open session seen again, finished since"))
        << rows.last().detail.toStdString();
    ASSERT_EQ(rows.last().sessions.size(), 1);
    EXPECT_EQ(rows.last().sessions.first().state, archive::SessionState::Finished);
}

// A row that records an open session grown, checked against the bytes the archive kept of it.
TEST_P(ArchiveFinishedBytesTest, VerifyChecksEachRecordedGrowthAgainstTheKeptBytes) {
    uint32_t stamp = 0;
    const int16_t newest = archivetest::NewestSlot(*m_image, stamp);
    archivetest::CutShort(*m_image, newest);
    QString error;
    for (const bool keptBefore : {false, true}) {
        SCOPED_TRACE(keptBefore ? "the bytes before kept as a copy" : "no copy kept");
        ASSERT_TRUE(Renew(keptBefore ? "forged-kept" : "forged-unkept"));
        ASSERT_TRUE(m_archive.Open(Location())) << m_archive.Error().toStdString();
        const qint64 unit = m_archive.Instrument(archive::NamedInstrument("unit 7"), "unit 7");
        Import(m_archive, unit, *m_image);
        const qint64 id =
            Count(m_archive, QString("SELECT id FROM sessions WHERE slot = %1").arg(newest));
        const QByteArray before = Sector(m_archive, id);
        QByteArray other = before;
        other[4] = static_cast<char>(other[4] ^ 0x40);
        if (keptBefore) {
            archive::StoredCopy copy;
            copy.id = id;
            copy.digest = archive::SectorDigest(before);
            archive::LoadedSession loaded;
            ASSERT_TRUE(m_archive.Load(id, loaded));
            copy.name = loaded.name;
            copy.sector = before;
            copy.overrun = loaded.overrun;
            QSqlDatabase db = QSqlDatabase::database(m_archive.ConnectionName());
            ASSERT_TRUE(archive::KeepCopy(db, true, copy, 1, false, error));
        }
        Overwrite(m_archive, id, other);
        ASSERT_TRUE(archive::RecordChange(m_archive, archive::ChangeKind::Replace,
                                          "1 open session replaced with newer bytes", {id}, error));
        const QString said = Mismatches(m_archive);
        EXPECT_TRUE(said.contains(
            QString(keptBefore ? "history row %1 records session %2 grown to bytes that do not"
                                 " extend the ones it had"
                               : "history row %1 records session %2 grown, but the archive holds"
                                 " no copy of the bytes it grew from")
                .arg(Count(m_archive, "SELECT MAX(seq) FROM archive_history"))
                .arg(id)))
            << said.toStdString();
        m_archive.Close();
    }
}

// What is rendered or exported of bytes the history does not vouch for says so, the rest not.
TEST_P(ArchiveFinishedBytesTest, RenderAndExportWarnOfBytesTheHistoryDoesNotVouchFor) {
    ASSERT_TRUE(m_archive.Open(Location())) << m_archive.Error().toStdString();
    Import(m_archive, m_archive.Instrument(archive::NamedInstrument("unit 7"), "unit 7"), *m_image);
    const qint64 changed = Finished(m_archive);
    const qint64 untouched = changed + 1;
    QByteArray sector = Sector(m_archive, changed);
    sector[30] = static_cast<char>(sector[30] ^ 0x04);
    Overwrite(m_archive, changed, sector);
    m_archive.Close();
    const std::string warning = "warning: session " + std::to_string(changed) +
                                ": these bytes do not match the history (archive verify says more)";
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"render"}, {"export", "--format", "csv"}}) {
        SCOPED_TRACE(command.front());
        for (const qint64 id : {changed, untouched}) {
            std::vector<std::string> args = command;
            args.push_back(std::to_string(id));
            const testsupport::RunResult r = Datalog(args);
            EXPECT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(r.err.find(warning) != std::string::npos, id == changed) << r.err;
        }
    }
}

// A start of the history asked for behind the program's back (the flag of a migration written
// with plain SQL) never has the bytes there now recorded as the instrument's: the opening leaves
// it, and verify names it.
TEST_P(ArchiveFinishedBytesTest, AStartAskedForOutsideTheProgramRecordsNothing) {
    const struct {
        const char* what;
        const char* sql;
        int flag;
    } cases[] = {
        {"a start over the history", nullptr, 1},
        {"a start of the index uploads' history", nullptr, 2},
        {"every row deleted and a start asked for", "DELETE FROM archive_history", 1},
    };
    int round = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(Renew("restart-" + std::to_string(++round)));
        ASSERT_TRUE(m_archive.Open(Location())) << m_archive.Error().toStdString();
        Import(m_archive, m_archive.Instrument(archive::NamedInstrument("unit 7"), "unit 7"),
               *m_image);
        const qint64 session = Finished(m_archive);
        QByteArray sector = Sector(m_archive, session);
        sector[40] = static_cast<char>(sector[40] ^ 0x02);
        Overwrite(m_archive, session, sector);
        if (c.sql != nullptr) {
            ASSERT_TRUE(Sql(c.sql));
        }
        ASSERT_TRUE(Sql("INSERT INTO history_start (pending) VALUES (?)", {c.flag}));
        const qint64 rows = Count(m_archive, "SELECT COUNT(*) FROM archive_history");
        m_archive.Close();
        const testsupport::RunResult verify = Datalog({"verify"});
        EXPECT_EQ(verify.status, 1) << verify.out;
        EXPECT_NE(verify.out.find("history_start asks for the history to be begun again"),
                  std::string::npos)
            << verify.out;
        ASSERT_TRUE(m_archive.Open(Location()));
        EXPECT_EQ(Count(m_archive, "SELECT COUNT(*) FROM archive_history"), rows);
        m_archive.Close();
    }
}

INSTANTIATE_ON_BOTH_ENGINES(ArchiveFinishedBytesTest);

} // namespace
