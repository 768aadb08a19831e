// Each physical instrument its own in the archive, on both engines: who an instrument is (its
// serial number, else the name given), renaming, an older archive migrated, and the sessions the
// archive refuses.
#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <thread>
#include <utility>

#include "ArchiveFixture.h"
#include "archive/DownloadArchive.h"
#include "testsupport/EnvGuard.h"

using archive::RenameResult;

namespace {

using Held = std::set<std::pair<int, uint32_t>>; // slot, start stamp

const std::string kModes[4] = {"Survey", "", "", ""};

// What an instrument of one model and firmware tells at connection; `model` 0: nothing at all.
InstrumentFacts Facts(const char* serial, char model = 'A') {
    std::string config(600, '\0');
    config[5] = model;
    return model == 0 ? InstrumentFacts{"", "", serial, ""}
                      : InstrumentFacts{"V11!AUpload flag!11!129!N!", config, serial, ""};
}

archive::InstrumentIdentity Identity(const char* serial, char model = 'A') {
    return archive::IdentifyInstrument(Facts(serial, model), kModes);
}

Held SessionsOf(LogImage& image) {
    Held held;
    for (const archive::CapturedSession& s : archive::CaptureSessions(image, {})) {
        held.insert({s.slot, s.stamp});
    }
    return held;
}

class ArchiveInstrumentTest : public archivetest::OpenArchiveFixture {
protected:
    void SetUp() override {
        OpenArchiveFixture::SetUp();
        m_images[0] = archivetest::GeneratedImage(1);
        m_images[1] = archivetest::GeneratedImage(2);
    }

    // m_archive a new, empty archive at the schema `version` (0: the current one).
    bool OpenFresh(const std::string& name, int version = 0) {
        const bool open =
            Renew(name) && (version == 0 ? m_archive.Open(Location())
                                         : m_archive.OpenAtVersion(Location(), version));
        EXPECT_TRUE(open) << m_archive.Error().toStdString();
        return open;
    }

    // A download as both front ends keep it: the index, then each session in a transaction of its
    // own. Returns what the keeper told.
    QStringList Download(LogImage& image, const char* serial, const char* name) {
        QStringList told;
        DownloadArchive keeper(QString::fromStdString(m_location), name, false,
                               [&told](const QString& message) { told << message; });
        keeper.IndexArrived(Facts(serial), kModes, image);
        for (const archive::IndexedSession& s : archive::IndexedSessions(image)) {
            keeper.SessionArrived(image, s.slot);
        }
        keeper.Finish();
        return told;
    }

    // The sessions listed under each instrument's name, and each listing line naming it.
    std::map<QString, Held> Listed() {
        std::map<QString, Held> listed;
        m_archive.ForEach({}, [&](const archive::ListedSession& s) {
            listed[s.instrument].insert({s.slot, s.stamp});
        });
        m_archive.ForEach(
            {},
            [&](const archive::ListedSession& s) {
                EXPECT_TRUE(s.line.contains("  " + s.instrument + "  ")) << s.line.toStdString();
            },
            archive::ListDetail::Line);
        return listed;
    }

    int Count(const QString& sql) {
        QSqlQuery query(QSqlDatabase::database(m_archive.ConnectionName()));
        EXPECT_TRUE(query.exec(sql) && query.next()) << sql.toStdString();
        return query.value(0).toInt();
    }

    testsupport::ZoneGuard m_zone{"UTC"};
    std::unique_ptr<LogImage> m_images[2];
};

// Two instruments of one model and firmware, told apart by their serial numbers (downloaded one
// after the other, or at the same time), or without them by the names given.
TEST_P(ArchiveInstrumentTest, EachInstrumentGetsExactlyItsOwnSessions) {
    struct Case {
        const char* serials[2];
        const char* names[2];
        bool together;
        const char* listed[2]; // what each is listed as; the same twice: one instrument
    };
    const Case cases[] = {
        {{"SN-1", "SN-2"}, {"", ""}, false, {"SN-1", "SN-2"}},
        {{"SN-1", "SN-2"}, {"", ""}, true, {"SN-1", "SN-2"}},
        {{"SN-1", "SN-2"}, {"van", "van"}, false, {"van", "SN-2"}},
        {{"", ""}, {"one", "two"}, false, {"one", "two"}},
        {{"", ""}, {"one", "one"}, false, {"one", "one"}},
    };
    int row = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE("row " + std::to_string(row));
        ASSERT_TRUE(OpenFresh("own" + std::to_string(row++)));
        QStringList told[2];
        auto download = [&](int k) { told[k] = Download(*m_images[k], c.serials[k], c.names[k]); };
        if (c.together) {
            std::thread first(download, 0);
            download(1);
            first.join();
        } else {
            download(0);
            download(1);
        }
        EXPECT_TRUE(told[0].isEmpty() && told[1].isEmpty()) << told[0].join(' ').toStdString();
        std::map<QString, Held> expected;
        for (int k = 0; k < 2; ++k) {
            const Held own = SessionsOf(*m_images[k]);
            expected[c.listed[k]].insert(own.begin(), own.end());
        }
        EXPECT_EQ(Listed(), expected);
        EXPECT_EQ(Count("SELECT COUNT(*) FROM instruments"), static_cast<int>(expected.size()));
    }
}

// Who the archive takes an instrument for, from a known start (all of model A): "van" without a
// serial number, SN-7 unnamed, "bus" with SN-8. The statistics name each by its name or serial
// number, never by its fingerprint.
TEST_P(ArchiveInstrumentTest, WhoAnInstrumentIsAndWhatChecksIt) {
    struct Case {
        const char* serial;
        const char* name;
        char model;
        int expect;         // 0 van, 1 SN-7, 2 bus, 3 a new one, -1 refused
        const char* listed; // its line of the statistics
    };
    const Case cases[] = {
        // A serial number first read takes over the row of the name given that has none...
        {"SN-1", "van", 'A', 0, "van (serial number SN-1): "},
        // ...unless that one reported another model: another instrument, the name left to van.
        {"SN-1", "van", 'B', 3, "SN-1: "},
        // A serial number decides, whatever the settings; a name given names an unnamed one.
        {"SN-7", "truck", 'B', 1, "truck (serial number SN-7): "},
        // Without a serial number, the name (or serial number) given is who it is...
        {"", "van", 'B', 0, "van: "},
        {"", "SN-8", 'A', 2, "bus (serial number SN-8): "},
        // ...but never one with a serial number that reported another model.
        {"", "SN-7", 'B', -1, ""},
        // Neither: all that is known is its model.
        {"", "", 'A', 3, "unnamed 4: "},
        {"", "", 0, -1, ""},
    };
    int row = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE("row " + std::to_string(row));
        ASSERT_TRUE(OpenFresh("who" + std::to_string(row++)));
        const qint64 known[] = {m_archive.Instrument(Identity(""), "van"),
                                m_archive.Instrument(Identity("SN-7"), ""),
                                m_archive.Instrument(Identity("SN-8"), "bus")};
        ASSERT_GT(known[0], 0);
        const qint64 id = m_archive.Instrument(Identity(c.serial, c.model), c.name);
        EXPECT_EQ(id, c.expect < 0   ? -1
                      : c.expect < 3 ? known[c.expect]
                                     : std::max(id, known[2] + 1))
            << m_archive.Error().toStdString();
        EXPECT_EQ(Count("SELECT COUNT(*) FROM instruments"), c.expect == 3 ? 4 : 3);
        archive::ArchiveStats stats;
        ASSERT_TRUE(m_archive.Stats(stats));
        const int line = c.expect == 3 ? 3 : c.expect;
        if (line >= 0) {
            EXPECT_TRUE(stats.perInstrument.value(line).startsWith(c.listed))
                << stats.perInstrument.join('\n').toStdString();
        }
    }
}

// The firmware version is what the instrument reported last; a connection that reports none (its
// driver text has no such test, or the read went unanswered) leaves it, and it never decides who
// the instrument is.
TEST_P(ArchiveInstrumentTest, TheFirmwareVersionIsTheLastReported) {
    const struct {
        const char* reported;
        const char* listed;
    } visits[] = {
        {"", "SN-1: "},
        {"4.12.0003  ", "SN-1 (firmware 4.12.0003): "},
        {"", "SN-1 (firmware 4.12.0003): "},
        {"4.13\x01", "SN-1 (firmware 4.13): "},
    };
    qint64 first = 0;
    for (const auto& visit : visits) {
        SCOPED_TRACE(visit.listed);
        InstrumentFacts facts = Facts("SN-1", 'A');
        facts.firmwareVersion = visit.reported;
        const qint64 id = m_archive.Instrument(archive::IdentifyInstrument(facts, kModes), "");
        ASSERT_GT(id, 0) << m_archive.Error().toStdString();
        first = first == 0 ? id : first;
        EXPECT_EQ(id, first);
        archive::ArchiveStats stats;
        ASSERT_TRUE(m_archive.Stats(stats));
        EXPECT_EQ(stats.perInstrument.size(), 1);
        EXPECT_TRUE(stats.perInstrument.value(0).startsWith(visit.listed))
            << stats.perInstrument.join('\n').toStdString();
    }
}

TEST_P(ArchiveInstrumentTest, RenamingKeepsTheSessionsAndRefusesANameInUse) {
    const qint64 ids[] = {m_archive.Instrument(Identity("SN-1"), ""),
                          m_archive.Instrument(archive::NamedInstrument("van 9"), "")};
    for (int k = 0; k < 2; ++k) {
        archive::StoreCounts counts;
        ASSERT_GT(m_archive.ImportDump(ids[k], "test", archive::IndexBytes(*m_images[k]),
                                       archive::CaptureSessions(*m_images[k], {}), counts),
                  0);
    }
    const std::map<QString, Held> before = Listed();
    struct Case {
        const char* from;
        const char* to;
        RenameResult result;
        const char* error;
    };
    const Case cases[] = {
        {"van 9", "truck 3", RenameResult::Renamed, ""},
        {"SN-1", "Van 1", RenameResult::Renamed, ""},
        {"van 9", "SN-1", RenameResult::NameInUse, "another instrument already goes by \"SN-1\""},
        {"SN-1", "van 9", RenameResult::NameInUse, "another instrument already goes by \"van 9\""},
        {"van 9", " ", RenameResult::NameInUse, "cannot be empty"},
        {"nobody", "van 10", RenameResult::NoInstrument, "no instrument \"nobody\""},
        {"van 9", " van 9", RenameResult::Unchanged, "already called \"van 9\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.from) + " to " + c.to);
        const int rows = Count("SELECT COUNT(*) FROM archive_history");
        EXPECT_EQ(m_archive.RenameInstrument(c.from, c.to), c.result);
        EXPECT_EQ(Count("SELECT COUNT(*) FROM archive_history"),
                  rows + (c.result == RenameResult::Renamed ? 1 : 0));
        EXPECT_TRUE(m_archive.Error().contains(c.error)) << m_archive.Error().toStdString();
        std::map<QString, Held> after = before;
        if (c.result == RenameResult::Renamed) {
            after[c.to] = after[c.from];
            after.erase(c.from);
        }
        EXPECT_EQ(Listed(), after);
        if (c.result == RenameResult::Renamed) {
            ASSERT_EQ(m_archive.RenameInstrument(c.to, c.from), RenameResult::Renamed);
        }
    }
    // Renamed, an instrument is still who it was: the next downloads go to it.
    ASSERT_EQ(m_archive.RenameInstrument("van 9", "truck 3"), RenameResult::Renamed);
    ASSERT_EQ(m_archive.RenameInstrument("SN-1", "Van 1"), RenameResult::Renamed);
    EXPECT_EQ(m_archive.Instrument(archive::NamedInstrument("truck 3"), ""), ids[1]);
    EXPECT_EQ(m_archive.Instrument(Identity("SN-1"), "other"), ids[0]);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM instruments"), 2);
}

// An archive of the version before: every session stays with its instrument, each is named
// (duplicates made distinct), and the next downloads find them.
TEST_P(ArchiveInstrumentTest, AnArchiveOfTheVersionBeforeIsMigratedWithEverySession) {
    ASSERT_TRUE(OpenFresh("v3", 3));
    const struct {
        QString fingerprint;
        QString name;
        QString listed; // after the migration
    } legacy[] = {
        {Identity("", 'A').fingerprint, "two", "two"},    // downloaded with --instrument two
        {Identity("", 'B').fingerprint, "", "unnamed 2"}, // downloaded without a name
        {"named:1a2b", "unit 7", "unit 7"},               // imported
        {"named:3c4d", "two", "two #4"},                  // another given the same name
    };
    std::map<QString, Held> expected;
    for (const auto& l : legacy) {
        QSqlQuery insert(QSqlDatabase::database(m_archive.ConnectionName()));
        ASSERT_TRUE(insert.prepare("INSERT INTO instruments (fingerprint, name, first_seen)"
                                   " VALUES (?, ?, 1) RETURNING id"));
        insert.addBindValue(l.fingerprint);
        insert.addBindValue(l.name);
        ASSERT_TRUE(insert.exec() && insert.next());
        const qint64 id = insert.value(0).toLongLong();
        insert.finish();
        const std::unique_ptr<LogImage> image = archivetest::GeneratedImage(10 + id);
        const std::vector<archive::CapturedSession> sessions =
            archive::CaptureSessions(*image, {0, 1, 2, 3, 4});
        archive::StoreCounts counts;
        ASSERT_GT(m_archive.ImportDump(id, "v3", archive::IndexBytes(*image), sessions, counts), 0);
        for (const archive::CapturedSession& s : sessions) {
            expected[l.listed].insert({s.slot, s.stamp});
        }
    }
    m_archive.Close();
    ASSERT_TRUE(m_archive.Open(QString::fromStdString(m_location)))
        << m_archive.Error().toStdString();
    EXPECT_EQ(m_archive.SchemaVersion(), archive::SessionArchive::CurrentSchemaVersion());
    EXPECT_EQ(Listed(), expected);
    // The unnamed one by its model, the named ones by name, one with a serial number of the first
    // one's model by the name it was given.
    EXPECT_EQ(m_archive.Instrument(Identity("", 'B'), ""), 2);
    EXPECT_EQ(m_archive.Instrument(archive::NamedInstrument("unit 7"), ""), 3);
    EXPECT_EQ(m_archive.Instrument(Identity("SN-2", 'A'), "two"), 1);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM instruments"), 4);
}

// A session whose records end before its index entry's start is refused with its reason; the
// download's or dump's other sessions are stored.
TEST_P(ArchiveInstrumentTest, ASessionThatEndsBeforeItStartsIsRefused) {
    LogImage& image = *m_images[0];
    uint32_t newest = 0;
    archivetest::NewestSlot(image, newest);
    archivetest::ReuseSlot(image, 7, newest + 86400, 7);
    const int total = static_cast<int>(SessionsOf(image).size());
    for (const bool download : {true, false}) {
        SCOPED_TRACE(download ? "a download" : "an import");
        ASSERT_TRUE(OpenFresh(download ? "download" : "import"));
        QStringList refusals;
        if (download) {
            refusals = Download(image, "SN-1", "");
        } else {
            archive::StoreCounts counts;
            ASSERT_GT(m_archive.ImportDump(m_archive.Instrument(Identity("SN-1"), ""), "test",
                                           archive::IndexBytes(image),
                                           archive::CaptureSessions(image, {}), counts),
                      0);
            EXPECT_EQ(counts.added, total - 1);
            refusals = counts.refusals;
        }
        ASSERT_EQ(refusals.size(), 1);
        EXPECT_TRUE(refusals[0].startsWith("the session of slot 7 ends before it starts"))
            << refusals[0].toStdString();
        EXPECT_EQ(Count("SELECT COUNT(*) FROM sessions"), total - 1);
        EXPECT_EQ(Count("SELECT COUNT(*) FROM sessions WHERE slot = 7"), 0);
    }
}

INSTANTIATE_ON_BOTH_ENGINES(ArchiveInstrumentTest);

} // namespace
