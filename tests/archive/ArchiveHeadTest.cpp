// Pinned heads on both engines: the newest rows deleted with what they recorded leave a chain that
// verify alone passes; a head taken before (archive head, a pack) and an archive synced with show
// them gone.
#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>
#include <memory>
#include <string>

#include "ArchiveFixture.h"
#include "PersonalKeys.h"
#include "archive/ArchiveAgainst.h"
#include "archive/ArchiveHistory.h"
#include "archive/ArchiveSync.h"
#include "archive/HistorySigning.h"
#include "archive/PinnedHead.h"
#include "testsupport/EnvGuard.h"
#include "testsupport/Processes.h"

using archive::PinnedHead;
using archive::SessionArchive;

namespace {

class ArchiveHeadTest : public archivetest::EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        m_image = archivetest::GeneratedImage(5);
        m_other = archivetest::GeneratedImage(6);
    }

    static qint64 Import(SessionArchive& archive, const QString& name, LogImage& image) {
        const qint64 instrument = archive.Instrument(archive::NamedInstrument(name), name);
        EXPECT_GT(instrument, 0) << archive.Error().toStdString();
        archive::StoreCounts counts;
        EXPECT_GT(archive.ImportDump(instrument, "import test", archive::IndexBytes(image),
                                     archive::CaptureSessions(image, {}), counts),
                  0)
            << archive.Error().toStdString();
        return instrument;
    }

    static PinnedHead Head(SessionArchive& archive) {
        PinnedHead head;
        QString error;
        EXPECT_TRUE(archive::OwnHead(archive, head, error)) << error.toStdString();
        return head;
    }

    static bool On(SessionArchive& archive, const QString& statement, const QVariantList& values) {
        QSqlQuery query(QSqlDatabase::database(archive.ConnectionName()));
        EXPECT_TRUE(query.prepare(statement)) << statement.toStdString();
        for (const QVariant& value : values) {
            query.addBindValue(value);
        }
        const bool done = query.exec();
        EXPECT_TRUE(done) << statement.toStdString();
        return done;
    }

    // Every row after `keep` deleted: what someone who can write the database, and wants the
    // newest changes gone, would do.
    static void CutHistory(SessionArchive& archive, qint64 keep) {
        ASSERT_TRUE(On(archive, "DELETE FROM archive_history WHERE seq > ?", {keep}));
    }

    // An instrument deleted with everything it holds: its sessions, their bytes and events, its
    // downloads and their index uploads.
    void DeleteInstrument(qint64 instrument) {
        const QString ofIt = "(SELECT id FROM sessions WHERE instrument_id = ?)";
        for (const QString& statement :
             {QString("DELETE FROM session_events WHERE instrument_id = ?"),
              "DELETE FROM session_bytes WHERE session_id IN " + ofIt,
              "DELETE FROM session_history WHERE session_id IN " + ofIt,
              QString("DELETE FROM sessions WHERE instrument_id = ?"),
              QString("DELETE FROM index_uploads WHERE download_id IN (SELECT id FROM downloads"
                      " WHERE instrument_id = ?)"),
              QString("DELETE FROM downloads WHERE instrument_id = ?"),
              QString("DELETE FROM instruments WHERE id = ?")}) {
            ASSERT_TRUE(Sql(statement, {instrument}));
        }
    }

    testsupport::ZoneGuard m_zone{"UTC"};
    std::unique_ptr<LogImage> m_image;
    std::unique_ptr<LogImage> m_other;
};

// What is done to the history after its head was taken, and what verify says of it alone and
// with that head pinned.
TEST_P(ArchiveHeadTest, TheNewestRowsDeletedShowOnlyAgainstAPinnedHead) {
    enum Edit { Nothing, Appended, NewestRow, NewestThree, PinnedRowOnly, PinnedRowRehashed };
    const struct {
        const char* name;
        Edit edit;
        int alone;        // verify's exit status without --head
        int pinned;       // and with it
        const char* line; // what --head adds; %1: the pinned row, %2: its hash, %3: the end
    } cases[] = {
        {"nothing changed", Nothing, 0, 0, nullptr},
        {"rows written since", Appended, 0, 0, nullptr},
        {"the newest row (a sign-off) deleted", NewestRow, 0, 1,
         "the history ends at row %3, before the pinned head %1:%2: rows were deleted"},
        {"the newest three rows deleted with the instrument, sessions, download and index upload"
         " they recorded",
         NewestThree, 0, 1,
         "the history ends at row %3, before the pinned head %1:%2: rows were deleted"},
        {"the pinned row deleted, the rows after it kept", PinnedRowOnly, 1, 1,
         "history row %1, the pinned head %1:%2, is missing (deleted)"},
        {"the pinned row's hash made again", PinnedRowRehashed, 1, 1,
         "history row %1 is not the pinned head %1:%2: it carries the hash "},
    };
    const testsupport::EnvGuard user("XDG_CONFIG_HOME", m_dir.File("signer"));
    archive::PersonalKey personal;
    ASSERT_TRUE(archivetest::MadePersonalKey(personal));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(m_archive.Open(Location())) << m_archive.Error().toStdString();
        Import(m_archive, "unit 7", *m_image);
        archive::SignOffScope scope;
        scope.meaning = "reviewed";
        QString detail;
        QString error;
        // The key's binding row comes with its first sign-off: made here, before the head.
        ASSERT_TRUE(archive::SignOff(m_archive, scope, personal, detail, error))
            << error.toStdString();
        const PinnedHead before = Head(m_archive);
        const qint64 unit8 = Import(m_archive, "unit 8", *m_other);
        ASSERT_TRUE(archive::SignOff(m_archive, scope, personal, detail, error))
            << error.toStdString();
        const PinnedHead pinned = Head(m_archive);
        // The second instrument's two rows (first archived, its import) and the sign-off.
        ASSERT_EQ(pinned.row, before.row + 3);
        ASSERT_EQ(pinned.hash.size(), 64);
        const testsupport::RunResult taken = Datalog({"head"});
        ASSERT_EQ(taken.status, 0) << taken.err;
        EXPECT_EQ(taken.out, archive::HeadText(pinned, ' ').toStdString() + "\n");
        qint64 end = pinned.row;
        switch (c.edit) {
        case Nothing:
            break;
        case Appended:
            ASSERT_TRUE(archive::RecordChange(m_archive, archive::ChangeKind::Interval,
                                              "bump test every 2 days", {}, error));
            break;
        case NewestRow:
            end = pinned.row - 1;
            CutHistory(m_archive, end);
            break;
        case NewestThree:
            end = before.row;
            DeleteInstrument(unit8);
            CutHistory(m_archive, end);
            break;
        case PinnedRowOnly:
            ASSERT_TRUE(archive::RecordChange(m_archive, archive::ChangeKind::Interval,
                                              "bump test every 2 days", {}, error));
            ASSERT_TRUE(Sql("DELETE FROM archive_history WHERE seq = ?", {pinned.row}));
            break;
        case PinnedRowRehashed:
            ASSERT_TRUE(Sql("UPDATE archive_history SET hash = ? WHERE seq = ?",
                            {QString(64, 'e'), pinned.row}));
            break;
        }
        const QString line = QString(c.line == nullptr ? "" : c.line)
                                 .replace("%1", QString::number(pinned.row))
                                 .replace("%2", pinned.hash)
                                 .replace("%3", QString::number(end));

        const testsupport::RunResult alone = Datalog({"verify"});
        EXPECT_EQ(alone.status, c.alone) << alone.out << alone.err;
        if (c.alone == 0) {
            EXPECT_NE(alone.out.find(", no mismatch"), std::string::npos) << alone.out;
        }
        const testsupport::RunResult checked =
            Datalog({"verify", "--head", archive::HeadText(pinned).toStdString()});
        EXPECT_EQ(checked.status, c.pinned) << checked.out << checked.err;
        if (c.line != nullptr) {
            EXPECT_NE(checked.out.find(line.toStdString()), std::string::npos) << checked.out;
            EXPECT_NE(checked.out.find("Verification failed: "), std::string::npos);
        }
        // The library's check says the same: the one the command asks.
        QStringList mismatches;
        ASSERT_TRUE(archive::CheckPinnedHead(m_archive, pinned, mismatches, error))
            << error.toStdString();
        EXPECT_EQ(mismatches.isEmpty(), c.line == nullptr) << mismatches.join('\n').toStdString();
        if (c.line != nullptr && !mismatches.isEmpty()) {
            EXPECT_TRUE(mismatches[0].startsWith(line)) << mismatches[0].toStdString();
        }
        Renew(c.name);
    }
}

TEST_P(ArchiveHeadTest, TheHeadIsOneLineAndAPinIsCheckedAsGiven) {
    ASSERT_TRUE(m_archive.Open(Location())) << m_archive.Error().toStdString();
    Import(m_archive, "unit 7", *m_image);
    const PinnedHead head = Head(m_archive);
    QString error;
    const QVector<archive::HistoryRow> rows = archive::History(m_archive, error);
    ASSERT_FALSE(rows.isEmpty());
    EXPECT_EQ(head.row, rows.last().seq);
    EXPECT_EQ(head.hash, rows.last().hash);
    const testsupport::RunResult taken = Datalog({"head"});
    EXPECT_EQ(taken.status, 0) << taken.err;
    EXPECT_EQ(taken.out, QString("%1 %2\n").arg(head.row).arg(head.hash).toStdString());
    EXPECT_EQ(taken.err, "");

    // Typed in capitals it is the same pin; two pins are both checked; a malformed one is a
    // usage error, before anything is read.
    const std::string pin = archive::HeadText(head).toStdString();
    const std::string upper =
        QString::number(head.row).toStdString() + ":" + head.hash.toUpper().toStdString();
    const std::string later =
        QString::number(head.row + 5).toStdString() + ":" + head.hash.toStdString();
    const struct {
        std::vector<std::string> args;
        int status;
        const char* said; // in the output, or (status 2) on standard error
    } runs[] = {
        {{"verify", "--head", upper}, 0, ", no mismatch"},
        {{"verify", "--head", pin, "--head", later}, 1, "before the pinned head "},
        {{"verify", "--head", "0:" + head.hash.toStdString()}, 2, "--head takes ROW:HASH"},
        {{"verify", "--head", QString::number(head.row).toStdString()}, 2, "--head takes ROW:HASH"},
        {{"verify", "--head", pin + "0"}, 2, "--head takes ROW:HASH"},
        {{"head", "7"}, 2, "archive head takes no arguments"},
    };
    for (const auto& r : runs) {
        SCOPED_TRACE(r.args.back());
        const testsupport::RunResult run = Datalog(r.args);
        EXPECT_EQ(run.status, r.status) << run.out << run.err;
        EXPECT_NE((r.status == 2 ? run.err : run.out).find(r.said), std::string::npos)
            << run.out << run.err;
    }

    // A history without rows has no head to pin: said, exit status 1, and a head pinned before
    // shows the rows gone.
    ASSERT_TRUE(Sql("DELETE FROM archive_history"));
    const testsupport::RunResult none = Datalog({"head"});
    EXPECT_EQ(none.status, 1) << none.out;
    EXPECT_EQ(none.out, "");
    EXPECT_NE(none.err.find("the archive's history holds no row: there is no head to pin"),
              std::string::npos)
        << none.err;
    const testsupport::RunResult gone = Datalog({"verify", "--head", pin});
    EXPECT_EQ(gone.status, 1);
    EXPECT_NE(gone.out.find("the history holds no row, where the pinned head " + pin +
                            " was: rows were deleted"),
              std::string::npos)
        << gone.out;
}

// verify --against of an archive whose newest rows were deleted after a sync: the other side
// recorded its head then, and that is what shows it, whichever side was cut short.
TEST_P(ArchiveHeadTest, AgainstNamesAHistoryThatEndsBeforeTheHeadRecordedAtASync) {
    for (const bool teamCut : {false, true}) {
        SCOPED_TRACE(teamCut ? "the team's newest rows deleted" : "the van's newest rows deleted");
        FRESH_OR_SKIP(van, "van");
        FRESH_OR_SKIP(team, "team");
        Import(*van, "unit 7", *m_image);
        Import(*team, "unit 9", *m_other);
        // Rows that name no session, so that each side's own verify stays clean without them.
        QString error;
        for (SessionArchive* archive : {van, team}) {
            for (const char* change : {"bump test every 2 days", "bump test every 3 days"}) {
                ASSERT_TRUE(archive::RecordChange(*archive, archive::ChangeKind::Interval, change,
                                                  {}, error))
                    << error.toStdString();
            }
        }
        SessionArchive& cut = teamCut ? *team : *van;
        SessionArchive& checker = teamCut ? *van : *team;
        // The two changes, and the rows the sync writes after them on either side.
        const qint64 kept = Head(cut).row - 2;
        archive::SyncSummary summary;
        ASSERT_TRUE(archive::SyncArchive(*van, *team, {}, summary, error)) << error.toStdString();
        ASSERT_TRUE(archive::VerifyAgainst(*team, *van).Clean());
        ASSERT_TRUE(archive::VerifyAgainst(*van, *team).Clean());
        ASSERT_GT(kept, 0);
        CutHistory(cut, kept);
        if (!teamCut) {
            EXPECT_TRUE(archive::VerifyArchive(cut).Clean())
                << archive::VerifyArchive(cut).mismatches.join('\n').toStdString();
        }
        const archive::AgainstSummary against = archive::VerifyAgainst(checker, cut);
        ASSERT_TRUE(against.readable) << against.error.toStdString();
        const QString ends = QString("archive %1's history ends at row %2, before row ")
                                 .arg(cut.Identity())
                                 .arg(kept);
        ASSERT_EQ(against.mismatches.size(), 1) << against.mismatches.join('\n').toStdString();
        EXPECT_TRUE(against.mismatches[0].startsWith(ends)) << against.mismatches[0].toStdString();
        EXPECT_TRUE(against.mismatches[0].endsWith(": rows were deleted"))
            << against.mismatches[0].toStdString();
        EXPECT_TRUE(against.mismatches[0].contains("that this archive recorded of it at its sync in"
                                                   " row ") ||
                    against.mismatches[0].contains("that this archive holds a copy of from a sync"))
            << against.mismatches[0].toStdString();
        // And from the side cut short: its own chain against what the other learnt of it.
        const archive::AgainstSummary own = archive::VerifyAgainst(cut, checker);
        ASSERT_TRUE(own.readable) << own.error.toStdString();
        ASSERT_EQ(own.mismatches.size(), 1) << own.mismatches.join('\n').toStdString();
        const QString ownEnds =
            QString("this archive's history ends at row %1, before row ").arg(kept);
        EXPECT_NE(own.mismatches[0].indexOf(ownEnds), -1) << own.mismatches[0].toStdString();
        EXPECT_TRUE(own.mismatches[0].endsWith(": its newest rows were deleted") ||
                    own.mismatches[0].endsWith(": rows were deleted"))
            << own.mismatches[0].toStdString();

        const testsupport::RunResult run = testsupport::RunProgram(
            "tavon-datalog",
            {"archive", "verify", "--archive", checker.Where().toStdString(), "--against",
             cut.Where().toStdString()},
            m_dir.Path(), 120, {"TZ=UTC", "LC_ALL=C"});
        EXPECT_EQ(run.status, 1) << run.out << run.err;
        EXPECT_NE(run.out.find(ends.toStdString()), std::string::npos) << run.out;
        // What limits a pass ends verify's last line, the one against the other archive here.
        const std::string note =
            "; signatures checked for consistency only: no trusted keys are set\n";
        EXPECT_EQ(run.out.find(note), run.out.size() - note.size()) << run.out;
        EXPECT_NE(run.out.rfind("\nVerification against archive "), std::string::npos) << run.out;
        DropAll();
    }
}

INSTANTIATE_ON_BOTH_ENGINES(ArchiveHeadTest);

} // namespace
