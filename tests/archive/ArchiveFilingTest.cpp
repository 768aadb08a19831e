// A dump names no instrument: on both engines, archive import files it under the instrument that
// holds its sessions, else under a new one named after its file, never two instruments under one;
// and a sync merges the same unit imported at two vans into one instrument of the team.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "ArchiveFixture.h"
#include "archive/ArchiveHistory.h"
#include "archive/ArchiveSync.h"
#include "core/InstrumentFacts.h"
#include "testsupport/Processes.h"

using archive::SessionArchive;

namespace {

class ArchiveFilingTest : public archivetest::EngineFixture {
protected:
    // tavon-datalog archive `args` on the archive at `location`.
    testsupport::RunResult Run(const std::string& location, std::vector<std::string> args) {
        args.insert(args.begin(), "archive");
        args.insert(args.end(), {"--archive", location});
        return testsupport::RunProgram("tavon-datalog", args, m_dir.Path(), 120,
                                       {"TZ=UTC", "LC_ALL=C"});
    }

    // The simulator's memory of `seed` saved as a dump called `name`; how many sessions it holds,
    // and (`dated`) how many of them tell its instrument by their start.
    size_t Dump(uint64_t seed, const std::string& name, size_t* dated = nullptr) {
        const auto image = archivetest::GeneratedImage(seed);
        EXPECT_EQ(image->DumpImage(m_dir.File(name).c_str()), 1) << name;
        const std::vector<archive::CapturedSession> sessions = archive::CaptureSessions(*image, {});
        for (const archive::CapturedSession& s : sessions) {
            *(dated != nullptr ? dated : &m_unused) += s.dated ? 1 : 0;
        }
        return sessions.size();
    }

    size_t m_unused = 0;

    // Each instrument of the archive and how many sessions it holds.
    static std::map<std::string, qint64> PerInstrument(SessionArchive& archive) {
        QSqlQuery query(QSqlDatabase::database(archive.ConnectionName()));
        EXPECT_TRUE(query.exec("SELECT i.name, COUNT(s.id) FROM instruments i LEFT JOIN sessions s"
                               " ON s.instrument_id = i.id GROUP BY i.name"));
        std::map<std::string, qint64> counts;
        while (query.next()) {
            counts[query.value(0).toString().toStdString()] = query.value(1).toLongLong();
        }
        return counts;
    }

    // The register's rows of one instrument, without its name: the tests each unit made.
    QJsonArray Register(const std::string& location, const std::string& instrument) {
        const testsupport::RunResult r =
            Run(location, {"compliance", "--at", "2031-01-01", "--instrument", instrument,
                           "--format", "json"});
        EXPECT_TRUE(r.status == 0 || r.status == 3) << r.err;
        QJsonArray rows = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).array();
        for (int i = 0; i < rows.size(); ++i) {
            QJsonObject row = rows[i].toObject();
            row.remove("instrument");
            rows[i] = row;
        }
        return rows;
    }
};

// Two vans import dumps of three units, one of them at both, without naming any: the team they
// sync into holds three instruments, each session once, and credits each unit's tests to it.
TEST_P(ArchiveFilingTest, TheSameUnitFromTwoVansIsOneInstrumentAtTheTeam) {
    const std::string van1 = FreshLocation("van1");
    const std::string van2 = FreshLocation("van2");
    const std::string team = FreshLocation("team");
    if (van1.empty() || van2.empty() || team.empty()) {
        SKIP_WITHOUT_SERVER();
    }
    size_t dated = 0;
    const size_t sessions[3] = {Dump(1, "unit-a.txt"), Dump(2, "unit-b.txt", &dated),
                                Dump(3, "unit-c.txt")};
    Dump(2, "FlashData.txt"); // the second van's dump of unit b, under another name
    // The first van imports both of its dumps at once, the second one by one.
    testsupport::RunResult r = Run(van1, {"import", "unit-a.txt", "unit-b.txt"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(" not in the dump: filed under the new instrument \"unit-a\"\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("filed under the new instrument \"unit-b\""), std::string::npos) << r.out;
    for (const char* dump : {"FlashData.txt", "unit-c.txt"}) {
        r = Run(van2, {"import", dump});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("filed under the new instrument"), std::string::npos) << r.out;
    }
    // A dump imported again goes where its sessions are.
    r = Run(van2, {"import", "unit-b.txt"});
    EXPECT_NE(r.out.find(": filed under \"FlashData\", whose " + std::to_string(dated) +
                         " sessions it shares\n"),
              std::string::npos)
        << r.out;
    for (const std::string& van : {van1, van2}) {
        r = testsupport::RunProgram("tavon-datalog",
                                    {"archive", "sync", "--from", van, "--to", team}, m_dir.Path(),
                                    120, {"TZ=UTC", "LC_ALL=C"});
        ASSERT_EQ(r.status, 0) << r.err;
    }
    SessionArchive held;
    ASSERT_TRUE(held.Open(QString::fromStdString(team))) << held.Error().toStdString();
    EXPECT_EQ(PerInstrument(held),
              (std::map<std::string, qint64>{{"unit-a", static_cast<qint64>(sessions[0])},
                                             {"unit-b", static_cast<qint64>(sessions[1])},
                                             {"unit-c", static_cast<qint64>(sessions[2])}}));
    held.Close();
    const struct {
        const std::string& van;
        const char* there;
        const char* atTeam;
    } units[] = {{van1, "unit-a", "unit-a"},
                 {van1, "unit-b", "unit-b"},
                 {van2, "FlashData", "unit-b"},
                 {van2, "unit-c", "unit-c"}};
    for (const auto& unit : units) {
        SCOPED_TRACE(unit.there);
        const QJsonArray rows = Register(unit.van, unit.there);
        EXPECT_FALSE(rows.isEmpty());
        EXPECT_EQ(Register(team, unit.atTeam), rows);
    }
}

// A dump that holds sessions of two archived instruments, or of two dumps given with it, is
// refused and nothing of any dump given is stored; one of a name taken gets a number.
TEST_P(ArchiveFilingTest, ADumpIsFiledUnderOneInstrumentOrRefused) {
    Dump(1, "one.txt");
    Dump(2, "two.txt");
    Dump(3, "FlashData.txt");
    Dump(3, "one-again.txt"); // the same unit as FlashData.txt
    // Dumps no unit could have made: one's memory with slot 0 of another's.
    const auto mix = [this](uint64_t seed, uint64_t slot0Of, const std::string& name) {
        const auto image = archivetest::GeneratedImage(seed);
        const auto other = archivetest::GeneratedImage(slot0Of);
        const uint32_t entry = LogImage::IndexEntryOffset(0);
        const uint32_t start = archivetest::SessionOffset(0);
        image->Store(entry, other->Bytes() + entry, 19);
        image->Store(start, other->Bytes() + start, LogImage::kSectorSize);
        EXPECT_EQ(image->DumpImage(m_dir.File(name).c_str()), 1);
        size_t dated = 0; // those of `seed` that tell its instrument
        for (const archive::CapturedSession& s : archive::CaptureSessions(*image, {})) {
            dated += s.dated && s.slot != 0 ? 1 : 0;
        }
        return std::to_string(dated) + " sessions";
    };
    const std::string ofOne = mix(1, 2, "mixed.txt");
    const std::string ofThree = mix(3, 1, "mixed-new.txt");
    ASSERT_EQ(Run(m_location, {"import", "--instrument", "unit 7", "one.txt"}).status, 0);
    ASSERT_EQ(Run(m_location, {"import", "--instrument", "FlashData", "two.txt"}).status, 0);
    const std::string before = Run(m_location, {"stats"}).out;

    const struct {
        std::vector<std::string> dumps;
        std::string said; // in standard error
    } refused[] = {
        {{"FlashData.txt", "mixed.txt"},
         "mixed.txt holds sessions of 2 instruments, \"unit 7\" (" + ofOne +
             "), \"FlashData\" (1 session): a dump is one instrument's, so it is filed under "
             "none of them; nothing was stored"},
        // Unit 3's sessions go to the new instrument of the first dump, before it is stored.
        {{"FlashData.txt", "mixed-new.txt"},
         "mixed-new.txt holds sessions of 2 instruments, the new instrument of FlashData.txt (" +
             ofThree + "), \"unit 7\" (1 session)"},
    };
    for (const auto& c : refused) {
        std::vector<std::string> args = {"import"};
        args.insert(args.end(), c.dumps.begin(), c.dumps.end());
        const testsupport::RunResult r = Run(m_location, args);
        EXPECT_EQ(r.status, 2) << r.out;
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        EXPECT_EQ(Run(m_location, {"stats"}).out, before);
    }
    // Two dumps of one unit given together go to one new instrument, named after the first.
    const testsupport::RunResult r = Run(m_location, {"import", "FlashData.txt", "one-again.txt"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("FlashData.txt: "), std::string::npos);
    EXPECT_NE(r.out.find(": filed under the new instrument \"FlashData #2\"\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(" not in the dump: filed under \"FlashData #2\", whose "),
              std::string::npos)
        << r.out;
}

// --instrument NAME: each dump's line names the instrument it was filed under as a dump without
// it does, the one it made as new.
TEST_P(ArchiveFilingTest, ANamedInstrumentIsSaidAsAnImportWithoutOneSaysIt) {
    Dump(1, "one.txt");
    Dump(2, "two.txt");
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> ends; // of each dump's line, in turn
    } imports[] = {
        {{"import", "--instrument", "unit 7", "one.txt", "two.txt"},
         {": filed under the new instrument \"unit 7\"", ": filed under \"unit 7\""}},
        {{"import", "--instrument", "unit 7", "two.txt"}, {": filed under \"unit 7\""}},
        {{"import", "--instrument", "unit 9", "two.txt"},
         {": filed under the new instrument \"unit 9\""}},
    };
    for (const auto& c : imports) {
        const testsupport::RunResult r = Run(m_location, c.args);
        ASSERT_EQ(r.status, 0) << r.err;
        const QStringList lines = QString::fromStdString(r.out).split('\n', Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), static_cast<int>(c.ends.size())) << r.out;
        for (size_t d = 0; d < c.ends.size(); ++d) {
            EXPECT_TRUE(lines[static_cast<int>(d)].endsWith(QString::fromStdString(c.ends[d])))
                << lines[static_cast<int>(d)].toStdString();
        }
    }
}

// An instrument without a serial number is merged by the sessions it shares with one here whose
// serial number and fingerprint do not say otherwise; shared with two, it is kept apart, said.
TEST_P(ArchiveFilingTest, ASyncMergesByTheSessionsShared) {
    const auto config = [](char model) {
        std::string block(600, '\0');
        block[5] = model;
        return block;
    };
    const auto downloaded = [&config](const char* serial, char model) {
        const std::string modes[4] = {"Survey", "", "", ""};
        return archive::IdentifyInstrument(
            InstrumentFacts{"V11!AUpload flag!11!129!N!", config(model), serial, ""}, modes);
    };
    const struct {
        const char* what;
        archive::InstrumentIdentity van;
        archive::InstrumentIdentity team;
        bool merged;
    } cases[] = {
        {"imported at both", archive::NamedInstrument("van unit"),
         archive::NamedInstrument("team unit"), true},
        {"downloaded at the team", archive::NamedInstrument("van unit"), downloaded("S-1", 'A'),
         true},
        {"two serial numbers", downloaded("S-2", 'A'), downloaded("S-1", 'A'), false},
        {"two fingerprints", downloaded("", 'B'), downloaded("", 'A'), false},
    };
    const auto image = archivetest::GeneratedImage(1);
    size_t dated = 0;
    for (const archive::CapturedSession& s : archive::CaptureSessions(*image, {})) {
        dated += s.dated ? 1 : 0;
    }
    const auto store = [](SessionArchive& archive, const archive::InstrumentIdentity& who,
                          const QString& name, LogImage& from) {
        archive::StoreCounts counts;
        ASSERT_GT(archive.ImportDump(archive.Instrument(who, name), "test",
                                     archive::IndexBytes(from), archive::CaptureSessions(from, {}),
                                     counts),
                  0)
            << archive.Error().toStdString();
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DropAll();
        FRESH_OR_SKIP(van, "van");
        FRESH_OR_SKIP(team, "team");
        store(*van, c.van, "van unit", *image);
        store(*team, c.team, "team unit", *image);
        archive::SyncSummary summary;
        QString error;
        ASSERT_TRUE(archive::SyncArchive(*van, *team, {}, summary, error)) << error.toStdString();
        EXPECT_EQ(summary.instrumentsNew, c.merged ? 0 : 1);
        EXPECT_EQ(summary.sessionsNew,
                  c.merged ? 0 : static_cast<qint64>(archive::CaptureSessions(*image, {}).size()));
        // A merge is an inference: said, and recorded in the history.
        ASSERT_EQ(summary.shared.size(), c.merged ? 1 : 0);
        if (c.merged) {
            EXPECT_TRUE(summary.shared[0].endsWith(
                QString(" is \"team unit\"%1 here, which holds"
                        " %2 of its sessions")
                    .arg(c.team.serialNumber.isEmpty() ? QString() : ", serial number S-1")
                    .arg(dated)))
                << summary.shared[0].toStdString();
            QString error;
            const QVector<archive::HistoryRow> rows = archive::History(*team, error);
            EXPECT_TRUE(std::any_of(rows.begin(), rows.end(), [&](const archive::HistoryRow& row) {
                return row.detail == summary.shared[0];
            }));
        }
        EXPECT_TRUE(archive::VerifyArchive(*team).Clean());
    }
    // Shared with two instruments here: kept apart, and the summary says so.
    DropAll();
    FRESH_OR_SKIP(van, "van");
    FRESH_OR_SKIP(team, "team");
    const auto second = archivetest::GeneratedImage(2);
    store(*team, archive::NamedInstrument("unit 7"), "unit 7", *image);
    store(*team, archive::NamedInstrument("unit 9"), "unit 9", *second);
    const uint32_t entry = LogImage::IndexEntryOffset(0);
    const uint32_t start = archivetest::SessionOffset(0);
    image->Store(entry, second->Bytes() + entry, 19);
    image->Store(start, second->Bytes() + start, LogImage::kSectorSize);
    store(*van, archive::NamedInstrument("mixed"), "mixed", *image);
    archive::SyncSummary summary;
    QString error;
    ASSERT_TRUE(archive::SyncArchive(*van, *team, {}, summary, error)) << error.toStdString();
    EXPECT_EQ(summary.instrumentsNew, 1);
    ASSERT_EQ(summary.shared.size(), 1);
    EXPECT_TRUE(summary.shared[0].startsWith("instrument \"mixed\" of archive "))
        << summary.shared[0].toStdString();
    EXPECT_TRUE(summary.shared[0].endsWith(" shares sessions with 2 instruments here, \"unit "
                                           "7\", \"unit 9\": filed as an instrument of its "
                                           "own, under none of them"))
        << summary.shared[0].toStdString();
    EXPECT_TRUE(summary.Notes().contains(summary.shared[0]));
}

INSTANTIATE_ON_BOTH_ENGINES(ArchiveFilingTest);

} // namespace
