// Each physical instrument its own in the archive, on both engines: who an instrument is (its
// serial number, else the name given), renaming, an older archive migrated, and the sessions the
// archive refuses.
#include <gtest/gtest.h>

#include <QDir>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>
#include <map>
#include <memory>
#include <set>
#include <thread>
#include <utility>

#include "ArchiveFixture.h"
#include "archive/DownloadArchive.h"
#include "core/InstrumentFacts.h"
#include "testsupport/EnvGuard.h"
#include "testsupport/TempDir.h"

using archive::RenameResult;
using archive::SessionArchive;
using archivetest::Engine;

namespace {

using Held = std::set<std::pair<int, uint32_t>>; // slot, start stamp

const std::string kModes[4] = {"Survey", "", "", ""};

// What an instrument of one model and firmware tells at connection; `model` tells two models
// apart.
InstrumentFacts Facts(const char* serial, char model = 'A') {
    std::string config(600, '\0');
    config[0] = 8;
    config[5] = model;
    return InstrumentFacts{"V11!AUpload flag!11!129!N!", config, serial};
}

Held SessionsOf(LogImage& image) {
    Held held;
    for (const archive::CapturedSession& s : archive::CaptureSessions(image, {})) {
        held.insert({s.slot, s.stamp});
    }
    return held;
}

class ArchiveInstrumentTest : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.Ok());
        if (!Fresh("main")) {
            GTEST_SKIP() << "no PostgreSQL server: run under scripts/with-postgres.sh";
        }
        m_first = archivetest::GeneratedImage(1);
        m_second = archivetest::GeneratedImage(2);
    }
    void TearDown() override {
        m_archive.Close();
        for (const std::string& location : m_locations) {
            archivetest::DropLocation(GetParam(), location);
        }
    }

    // A new, empty archive in m_archive, of the schema `version` (0: the current one); false
    // when there is no server.
    bool Fresh(const std::string& name, int version = 0) {
        m_archive.Close();
        QDir().mkpath(QString::fromStdString(m_dir.Path() + "/" + name));
        m_location = archivetest::FreshLocation(GetParam(), m_dir.Path() + "/" + name);
        if (m_location.empty()) {
            return false;
        }
        m_locations.push_back(m_location);
        const bool open = version == 0 ? m_archive.Open(Location())
                                       : m_archive.OpenAtVersion(Location(), version);
        EXPECT_TRUE(open) << m_archive.Error().toStdString();
        return open;
    }

    QString Location() const { return QString::fromStdString(m_location); }

    // A download as both front ends keep it: the index, then each session as it arrives, each in
    // a transaction of its own. Returns what the keeper told.
    QStringList Download(LogImage& image, const InstrumentFacts& facts, const QString& name) {
        QStringList told;
        DownloadArchive keeper(Location(), name, false,
                               [&told](const QString& message) { told << message; });
        keeper.IndexArrived(facts, kModes, image);
        for (const archive::IndexedSession& s : archive::IndexedSessions(image)) {
            keeper.SessionArrived(image, s.slot);
        }
        keeper.Finish();
        return told;
    }

    // The sessions the archive files under the instrument it calls `label`.
    Held HeldBy(const QString& label) {
        Held held;
        for (const archive::ListedSession& s : m_archive.List({})) {
            if (s.instrument == label) {
                held.insert({s.slot, s.stamp});
            }
        }
        return held;
    }

    int Count(const QString& sql) {
        QSqlQuery query(QSqlDatabase::database(m_archive.ConnectionName()));
        EXPECT_TRUE(query.exec(sql) && query.next()) << sql.toStdString();
        return query.value(0).toInt();
    }

    testsupport::ZoneGuard m_zone{"UTC"};
    testsupport::TempDir m_dir{"tavon-archive-instrument-"};
    std::string m_location;
    std::vector<std::string> m_locations;
    SessionArchive m_archive;
    std::unique_ptr<LogImage> m_first;
    std::unique_ptr<LogImage> m_second;
};

// Two instruments of one model and firmware that differ only in their serial numbers, downloaded
// one after the other and at the same time: two instruments, each with exactly its own sessions.
TEST_P(ArchiveInstrumentTest, SerialNumbersTellInstrumentsOfOneModelApart) {
    for (const bool together : {false, true}) {
        SCOPED_TRACE(together ? "at the same time" : "one after the other");
        ASSERT_TRUE(Fresh(together ? "together" : "apart"));
        QStringList toldFirst, toldSecond;
        if (together) {
            std::thread first([&] { toldFirst = Download(*m_first, Facts("SN-0001"), ""); });
            std::thread second([&] { toldSecond = Download(*m_second, Facts("SN-0002"), ""); });
            first.join();
            second.join();
        } else {
            toldFirst = Download(*m_first, Facts("SN-0001"), "");
            toldSecond = Download(*m_second, Facts("SN-0002"), "");
        }
        EXPECT_TRUE(toldFirst.isEmpty()) << toldFirst.join('\n').toStdString();
        EXPECT_TRUE(toldSecond.isEmpty()) << toldSecond.join('\n').toStdString();
        EXPECT_EQ(Count("SELECT COUNT(*) FROM instruments"), 2);
        EXPECT_EQ(HeldBy("SN-0001"), SessionsOf(*m_first));
        EXPECT_EQ(HeldBy("SN-0002"), SessionsOf(*m_second));
        EXPECT_EQ(m_archive.List({}).size(),
                  static_cast<int>(SessionsOf(*m_first).size() + SessionsOf(*m_second).size()));
    }
}

// Without a serial number the name given is who the instrument is: a new name makes a new
// instrument, the same name the same one.
TEST_P(ArchiveInstrumentTest, WithoutASerialNumberTheNameGivenIsTheInstrument) {
    struct Case {
        const char* first;
        const char* second;
        int instruments;
    };
    const Case cases[] = {{"one", "two", 2}, {"one", "one", 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.first) + " then " + c.second);
        ASSERT_TRUE(Fresh(std::string(c.first) + c.second));
        EXPECT_TRUE(Download(*m_first, Facts(""), c.first).isEmpty());
        EXPECT_TRUE(Download(*m_second, Facts(""), c.second).isEmpty());
        EXPECT_EQ(Count("SELECT COUNT(*) FROM instruments"), c.instruments);
        Held both = SessionsOf(*m_first);
        const Held second = SessionsOf(*m_second);
        both.insert(second.begin(), second.end());
        EXPECT_EQ(HeldBy(c.first), c.instruments == 2 ? SessionsOf(*m_first) : both);
        if (c.instruments == 2) {
            EXPECT_EQ(HeldBy(c.second), second);
        }
    }
}

// Who the archive takes an instrument for, from a known starting point, all of model A: "van",
// named, without a serial number; one with the serial number SN-7, unnamed; "bus", SN-8.
TEST_P(ArchiveInstrumentTest, WhoAnInstrumentIsAndWhatChecksIt) {
    enum Expect { Van, Sn7, Bus, New, Refused };
    struct Case {
        const char* reported; // its serial number
        const char* name;
        char model; // 0: reported nothing
        Expect expect;
        const char* label;  // what the archive calls it afterwards
        const char* serial; // and its serial number
    };
    const Case cases[] = {
        // A serial number first read for an instrument known by its name takes over its row...
        {"SN-1", "van", 'A', Van, "van", "SN-1"},
        // ...unless that one reported another model: then it is another instrument, and the
        // name stays with the first.
        {"SN-1", "van", 'B', New, "SN-1", "SN-1"},
        // A serial number decides, whatever the settings; a name given to an unnamed one names it.
        {"SN-7", "truck", 'B', Sn7, "truck", "SN-7"},
        // Without a serial number, the name is who it is, settings changed or not...
        {"", "van", 'B', Van, "van", ""},
        {"", "SN-7", 'A', Sn7, "SN-7", "SN-7"},
        {"", "SN-8", 'A', Bus, "bus", "SN-8"},
        // ...but never one with a serial number that reported another model.
        {"", "SN-7", 'B', Refused, "", ""},
        // Neither: all that is known is the model.
        {"", "", 'A', New, "unnamed 4", ""},
        {"", "", 0, Refused, "", ""},
    };
    int row = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("serial ") + c.reported + ", name " + c.name + ", model " +
                     (c.model != 0 ? std::string(1, c.model) : std::string("none")));
        ASSERT_TRUE(Fresh("who" + std::to_string(row++)));
        const qint64 van =
            m_archive.Instrument(archive::IdentifyInstrument(Facts(""), kModes), "van");
        const qint64 sn7 =
            m_archive.Instrument(archive::IdentifyInstrument(Facts("SN-7"), kModes), "");
        const qint64 bus =
            m_archive.Instrument(archive::IdentifyInstrument(Facts("SN-8"), kModes), "bus");
        ASSERT_GT(van, 0);
        ASSERT_GT(sn7, 0);
        ASSERT_GT(bus, sn7);
        const InstrumentFacts facts =
            c.model != 0 ? Facts(c.reported, c.model) : InstrumentFacts{"", "", c.reported};
        const qint64 id = m_archive.Instrument(archive::IdentifyInstrument(facts, kModes), c.name);
        switch (c.expect) {
        case Van:
            EXPECT_EQ(id, van);
            break;
        case Sn7:
            EXPECT_EQ(id, sn7);
            break;
        case Bus:
            EXPECT_EQ(id, bus);
            break;
        case New:
            EXPECT_GT(id, bus);
            break;
        case Refused:
            EXPECT_EQ(id, -1);
            EXPECT_FALSE(m_archive.Error().isEmpty());
            break;
        }
        if (id > 0) {
            EXPECT_TRUE(m_archive.FindInstruments(c.label).contains(id));
            const QString serial(c.serial);
            const QString line =
                c.label +
                (!serial.isEmpty() && serial != c.label ? " (serial number " + serial + ")"
                                                        : QString()) +
                ": ";
            archive::ArchiveStats stats;
            ASSERT_TRUE(m_archive.Stats(stats));
            EXPECT_EQ(stats.perInstrument
                          .filter(QRegularExpression("^" + QRegularExpression::escape(line)))
                          .size(),
                      1)
                << stats.perInstrument.join('\n').toStdString();
        }
        EXPECT_EQ(Count("SELECT COUNT(*) FROM instruments"), c.expect == New ? 4 : 3);
    }
}

TEST_P(ArchiveInstrumentTest, RenamingKeepsTheSessionsAndRefusesANameInUse) {
    const qint64 serial =
        m_archive.Instrument(archive::IdentifyInstrument(Facts("SN-0001"), kModes), "");
    const qint64 van = m_archive.Instrument(archive::NamedInstrument("van 9"), "van 9");
    archive::StoreCounts counts;
    ASSERT_GT(m_archive.ImportDump(serial, "test", archive::IndexBytes(*m_first),
                                   archive::CaptureSessions(*m_first, {}), counts),
              0);
    ASSERT_GT(m_archive.ImportDump(van, "test", archive::IndexBytes(*m_second),
                                   archive::CaptureSessions(*m_second, {}), counts),
              0);
    struct Case {
        const char* from;
        const char* to;
        RenameResult result;
        const char* label; // the sessions' instrument afterwards
        const char* error;
    };
    const Case cases[] = {
        {"van 9", "truck 3", RenameResult::Renamed, "truck 3", ""},
        {"SN-0001", "Van 1", RenameResult::Renamed, "Van 1", ""},
        {"van 9", "SN-0001", RenameResult::NameInUse, "van 9", "another instrument"},
        {"SN-0001", "van 9", RenameResult::NameInUse, "SN-0001", "another instrument"},
        {"van 9", " ", RenameResult::NameInUse, "van 9", "cannot be empty"},
        {"nobody", "van 10", RenameResult::NoInstrument, "", "no instrument \"nobody\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.from) + " to " + c.to);
        const Held before = HeldBy(c.from);
        EXPECT_EQ(m_archive.RenameInstrument(c.from, c.to), c.result);
        EXPECT_TRUE(m_archive.Error().contains(c.error)) << m_archive.Error().toStdString();
        if (*c.label != '\0') {
            EXPECT_EQ(HeldBy(c.label), before);
            EXPECT_FALSE(before.empty());
        }
        if (c.result == RenameResult::Renamed) {
            EXPECT_TRUE(HeldBy(c.from).empty());
            ASSERT_EQ(m_archive.RenameInstrument(c.to, c.from), RenameResult::Renamed);
        }
    }
    // Renamed, an instrument is still who it was: the next downloads go to it.
    ASSERT_EQ(m_archive.RenameInstrument("van 9", "truck 3"), RenameResult::Renamed);
    ASSERT_EQ(m_archive.RenameInstrument("SN-0001", "Van 1"), RenameResult::Renamed);
    EXPECT_EQ(m_archive.Instrument(archive::NamedInstrument("truck 3"), ""), van);
    EXPECT_EQ(m_archive.Instrument(archive::IdentifyInstrument(Facts("SN-0001"), kModes), "other"),
              serial);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM instruments"), 2);
}

// An archive made before instruments were told apart: every session stays with its instrument,
// each has a name (duplicates made distinct), and the next downloads find them.
TEST_P(ArchiveInstrumentTest, AnArchiveOfTheVersionBeforeIsMigratedWithEverySession) {
    ASSERT_TRUE(Fresh("v3", 3));
    ASSERT_EQ(m_archive.SchemaVersion(), 3);
    const QString modelA = archive::IdentifyInstrument(Facts("", 'A'), kModes).fingerprint;
    const QString modelB = archive::IdentifyInstrument(Facts("", 'B'), kModes).fingerprint;
    struct Legacy {
        QString fingerprint;
        QString name;
        QString label; // after the migration
    };
    const Legacy legacy[] = {
        {modelA, "two", "two"},             // downloaded with --instrument two
        {modelB, "", "unnamed 2"},          // downloaded without a name
        {"named:1a2b", "unit 7", "unit 7"}, // imported
        {"named:3c4d", "two", "two #4"},    // another given the same name
    };
    std::map<QString, Held> before;
    for (const Legacy& l : legacy) {
        QSqlQuery insert(QSqlDatabase::database(m_archive.ConnectionName()));
        insert.prepare("INSERT INTO instruments (fingerprint, name, first_seen) VALUES (?, ?, 1)"
                       " RETURNING id");
        insert.addBindValue(l.fingerprint);
        insert.addBindValue(l.name);
        ASSERT_TRUE(insert.exec() && insert.next());
        const qint64 id = insert.value(0).toLongLong();
        insert.finish();
        // Each its own sessions: a few slots of a memory of its own.
        const std::unique_ptr<LogImage> image = archivetest::GeneratedImage(10 + id);
        const std::vector<archive::CapturedSession> sessions =
            archive::CaptureSessions(*image, {0, 1, 2, 3, 4});
        archive::StoreCounts counts;
        ASSERT_GT(m_archive.ImportDump(id, "v3", archive::IndexBytes(*image), sessions, counts), 0)
            << m_archive.Error().toStdString();
        for (const archive::CapturedSession& s : sessions) {
            before[l.label].insert({s.slot, s.stamp});
        }
    }
    const int sessions = Count("SELECT COUNT(*) FROM sessions");
    m_archive.Close();
    ASSERT_TRUE(m_archive.Open(Location())) << m_archive.Error().toStdString();
    EXPECT_EQ(m_archive.SchemaVersion(), SessionArchive::CurrentSchemaVersion());
    EXPECT_EQ(Count("SELECT COUNT(*) FROM sessions"), sessions);
    for (const auto& held : before) {
        EXPECT_EQ(HeldBy(held.first), held.second) << held.first.toStdString();
    }
    // The next downloads: the named one by its name, the unnamed one by its model, one with a
    // serial number of the first's model by the name it was given.
    EXPECT_EQ(m_archive.Instrument(archive::IdentifyInstrument(Facts("", 'B'), kModes), ""), 2);
    EXPECT_EQ(m_archive.Instrument(archive::NamedInstrument("unit 7"), ""), 3);
    EXPECT_EQ(m_archive.Instrument(archive::IdentifyInstrument(Facts("SN-2", 'A'), kModes), "two"),
              1);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM instruments"), 4);
}

// The archive names an instrument by the name given or its serial number, never by a hash: in
// listings, their lines and the statistics.
TEST_P(ArchiveInstrumentTest, ListingsNameInstrumentsNeverByAHash) {
    ASSERT_TRUE(Download(*m_first, Facts("SN-0001"), "").isEmpty());
    ASSERT_TRUE(Download(*m_second, Facts(""), "van 9").isEmpty());
    ASSERT_TRUE(Download(*archivetest::GeneratedImage(3), Facts("SN-0003"), "Van 3").isEmpty());
    const std::set<QString> labels = {"SN-0001", "van 9", "Van 3"};
    std::set<QString> listed;
    for (const archive::ListedSession& s : m_archive.List({})) {
        listed.insert(s.instrument);
    }
    EXPECT_EQ(listed, labels);
    ASSERT_TRUE(m_archive.ForEach(
        {},
        [&](const archive::ListedSession& s) {
            EXPECT_TRUE(labels.count(s.instrument) == 1 &&
                        s.line.contains("  " + s.instrument + "  "))
                << s.line.toStdString();
        },
        archive::ListDetail::Line));
    archive::ArchiveStats stats;
    ASSERT_TRUE(m_archive.Stats(stats));
    ASSERT_EQ(stats.perInstrument.size(), 3);
    EXPECT_TRUE(stats.perInstrument[0].startsWith("SN-0001: "))
        << stats.perInstrument[0].toStdString();
    EXPECT_TRUE(stats.perInstrument[1].startsWith("van 9: "));
    EXPECT_TRUE(stats.perInstrument[2].startsWith("Van 3 (serial number SN-0003): "));
    for (const QString& line : stats.perInstrument) {
        EXPECT_FALSE(line.contains("tavon:")) << line.toStdString();
    }
    // The serial number and the fingerprint find it as well as its name.
    archive::ListFilter filter;
    filter.instrument = "SN-0003";
    EXPECT_EQ(m_archive.List(filter).size(), static_cast<int>(HeldBy("Van 3").size()));
}

// A session whose records end before its index entry's start is refused with its reason, and the
// download's or dump's other sessions are stored.
TEST_P(ArchiveInstrumentTest, ASessionThatEndsBeforeItStartsIsRefused) {
    uint32_t newest = 0;
    archivetest::NewestSlot(*m_first, newest);
    // Slot 7's name says a day after the newest session; its records are its own, days before.
    archivetest::ReuseSlot(*m_first, 7, newest + 86400, 7);
    const size_t total = archive::CaptureSessions(*m_first, {}).size();
    for (const bool download : {true, false}) {
        SCOPED_TRACE(download ? "a download" : "an import");
        ASSERT_TRUE(Fresh(download ? "download" : "import"));
        QStringList refusals;
        if (download) {
            refusals = Download(*m_first, Facts("SN-0001"), "");
        } else {
            archive::StoreCounts counts;
            const qint64 id = m_archive.Instrument(archive::NamedInstrument("van"), "");
            ASSERT_GT(m_archive.ImportDump(id, "test", archive::IndexBytes(*m_first),
                                           archive::CaptureSessions(*m_first, {}), counts),
                      0);
            EXPECT_EQ(counts.added, static_cast<int>(total) - 1);
            EXPECT_EQ(counts.refused, 1);
            refusals = counts.refusals;
        }
        ASSERT_EQ(refusals.size(), 1);
        EXPECT_TRUE(refusals[0].startsWith("the session of slot 7 ends before it starts"))
            << refusals[0].toStdString();
        EXPECT_EQ(Count("SELECT COUNT(*) FROM sessions"), static_cast<int>(total) - 1);
        EXPECT_EQ(Count("SELECT COUNT(*) FROM sessions WHERE slot = 7"), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, ArchiveInstrumentTest,
                         ::testing::Values(Engine::SQLite, Engine::PostgreSQL),
                         [](const ::testing::TestParamInfo<Engine>& info) {
                             return info.param == Engine::SQLite ? "SQLite" : "PostgreSQL";
                         });

} // namespace
