// The register on both engines: a table of test sequences with the statuses they must give, the
// events as stored, intervals set per archive and per instrument, and events made again when
// their decoder changes or a session grows.
#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlQuery>
#include <memory>
#include <string>
#include <vector>

#include "ArchiveFixture.h"
#include "ComplianceFixture.h"
#include "compliance/CivilDay.h"
#include "compliance/InstrumentRegister.h"
#include "testsupport/TempDir.h"

using archivetest::Engine;
using compliance::InstrumentRecord;
using compliance::ServiceStatus;
using compliancetest::MorningOf;
using compliancetest::SessionSpec;

namespace {

int64_t Day(int offset) {
    return compliance::DayOfStamp(MorningOf(offset));
}

struct Case {
    const char* name;
    std::vector<SessionSpec> sessions;
    int at; // day after 2026-12-01
    // Sensor 4's status, sessions used while overdue or failed, failures since the last pass.
    const char* status;
    int used;
    int failures;
    int bumpDays = 0; // the instrument's own intervals when not 0
    int calibrationDays = 0;
};

const Case kCases[] = {
    {"Pass", {{MorningOf(0), "C4+ B4+"}}, 0, "ok", 0, 0},
    {"FailThenPass",
     {{MorningOf(-1), "C4+ B4+"}, {MorningOf(0), "B4-"}, {MorningOf(0) + 3600, "B4+"}},
     0,
     "ok",
     1,
     0},
    {"FailOnly", {{MorningOf(-1), "C4+ B4+"}, {MorningOf(0), "B4-"}}, 0, "failed", 1, 1},
    {"FailedTwiceSincePass",
     {{MorningOf(-1), "C4+ B4+"}, {MorningOf(0), "B4- C4-"}, {MorningOf(0) + 3600, "B4-"}},
     0,
     "failed",
     2,
     3},
    {"NeverBumpTested", {{MorningOf(0), "C4+"}}, 0, "overdue", 1, 0},
    {"OnlyZeroed", {{MorningOf(0), "Z4+"}}, 0, "overdue", 1, 0},
    {"BumpOverdueByOneDay", {{MorningOf(0), "C4+ B4+"}}, 1, "overdue", 0, 0},
    {"BumpTestedTheDayBefore", {{MorningOf(0), "C4+ B4+"}}, 0, "ok", 0, 0},
    {"CalibrationOk", {{MorningOf(0), "C4+ B4+"}}, 165, "ok", 0, 0, 1000},
    {"CalibrationDueInWindow", {{MorningOf(0), "C4+ B4+"}}, 166, "due", 0, 0, 1000},
    {"CalibrationOverdueByOneDay", {{MorningOf(0), "C4+ B4+"}}, 180, "overdue", 0, 0, 1000},
    {"CalibrationWithoutResultCounts", {{MorningOf(0), "c4 B4+"}}, 0, "ok", 0, 0},
    {"UsedWhileOverdue",
     {{MorningOf(0), "C4+ B4+"}, {MorningOf(2), ""}, {MorningOf(3), "B4+"}},
     3,
     "ok",
     1,
     0},
    {"UsedAfterFailure",
     {{MorningOf(0), "C4+ B4+"}, {MorningOf(0) + 600, "B4-"}, {MorningOf(0) + 1200, ""}},
     0,
     "failed",
     2,
     1},
    {"LaterSessionsNotCounted",
     {{MorningOf(0), "C4+ B4+"}, {MorningOf(5), ""}},
     1,
     "overdue",
     0,
     0},
    {"InstrumentBumpInterval", {{MorningOf(0), "C4+ B4+"}, {MorningOf(5), ""}}, 5, "ok", 0, 0, 7},
    {"InstrumentCalibrationInterval",
     {{MorningOf(0), "C4+ B4+"}, {MorningOf(31), "B4+"}},
     31,
     "overdue",
     1,
     0,
     0,
     30},
};

class RegisterTest : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        m_location = archivetest::FreshLocation(GetParam(), m_dir.Path());
        if (m_location.empty()) {
            GTEST_SKIP() << "no PostgreSQL server: run under scripts/with-postgres.sh";
        }
        ASSERT_TRUE(m_store.Open(QString::fromStdString(m_location)))
            << m_store.Error().toStdString();
    }
    void TearDown() override {
        m_store.Close();
        archivetest::DropLocation(GetParam(), m_location);
    }

    QSqlQuery Sql(const QString& statement) {
        QSqlQuery query(QSqlDatabase::database(m_store.ConnectionName()));
        EXPECT_TRUE(query.exec(statement)) << statement.toStdString();
        return query;
    }

    testsupport::TempDir m_dir;
    std::string m_location;
    archive::SessionArchive m_store;
};

TEST_P(RegisterTest, SequencesGiveTheirStatus) {
    std::vector<qint64> ids;
    for (const Case& c : kCases) {
        ids.push_back(compliancetest::ImportSessions(m_store, c.name, c.sessions));
        ASSERT_GT(ids.back(), 0) << c.name << ": " << m_store.Error().toStdString();
    }
    compliance::InstrumentRegister reg(m_store);
    ASSERT_GT(reg.Refresh(), 0) << reg.Error().toStdString();
    for (size_t k = 0; k < std::size(kCases); ++k) {
        const Case& c = kCases[k];
        if (c.bumpDays != 0 || c.calibrationDays != 0) {
            compliance::IntervalOverride own;
            if (c.bumpDays != 0) {
                own.bumpDays = c.bumpDays;
            }
            if (c.calibrationDays != 0) {
                own.calibrationDays = c.calibrationDays;
            }
            ASSERT_TRUE(reg.SetIntervals(ids[k], own)) << reg.Error().toStdString();
        }
        std::vector<InstrumentRecord> records;
        ASSERT_TRUE(reg.Instruments(Day(c.at), {ids[k]}, records)) << reg.Error().toStdString();
        ASSERT_EQ(records.size(), 1u) << c.name;
        ASSERT_EQ(records[0].status.sensors.size(), 1u) << c.name;
        const compliance::SensorStatus& sensor = records[0].status.sensors[0];
        EXPECT_EQ(sensor.sensor, 4) << c.name;
        EXPECT_STREQ(compliance::ServiceStatusWord(sensor.status), c.status) << c.name;
        EXPECT_EQ(static_cast<int>(sensor.usedWhileOverdue.size()), c.used) << c.name;
        EXPECT_EQ(sensor.failuresSincePass, c.failures) << c.name;
    }
}

TEST_P(RegisterTest, DueDaysAndArchiveIntervals) {
    const qint64 id =
        compliancetest::ImportSessions(m_store, "unit", {{MorningOf(0), "C4+ B4+ B0+"}});
    ASSERT_GT(id, 0);
    compliance::InstrumentRegister reg(m_store);
    ASSERT_EQ(reg.Refresh(), 1);
    std::vector<InstrumentRecord> records;
    ASSERT_TRUE(reg.Instruments(Day(0), {}, records));
    ASSERT_EQ(records.size(), 1u);
    // Sensor 0 was bump-tested but never calibrated.
    ASSERT_EQ(records[0].status.sensors.size(), 2u);
    EXPECT_EQ(records[0].status.sensors[0].status, ServiceStatus::Overdue);
    const compliance::SensorStatus& co = records[0].status.sensors[1];
    EXPECT_EQ(compliance::DayText(co.bump.dueDay), "2026-12-02");
    EXPECT_EQ(compliance::DayText(co.calibration.dueDay), "2027-05-30");
    EXPECT_EQ(records[0].status.status, ServiceStatus::Overdue);
    EXPECT_EQ(compliance::AttentionLines(records[0].status),
              (std::vector<std::string>{"Calibration of LEL never done"}));
    ASSERT_TRUE(reg.Instruments(Day(1), {}, records));
    EXPECT_EQ(compliance::AttentionLines(records[0].status),
              (std::vector<std::string>{"Bump test of LEL overdue since 2026-12-02",
                                        "Calibration of LEL never done",
                                        "Bump test of CO overdue since 2026-12-02"}));

    compliance::IntervalOverride archiveWide;
    archiveWide.calibrationDays = 90;
    archiveWide.bumpDays = 2;
    ASSERT_TRUE(reg.SetIntervals(0, archiveWide));
    compliance::IntervalOverride onlyBump;
    onlyBump.bumpDays = 3;
    ASSERT_TRUE(reg.SetIntervals(0, onlyBump)); // keeps the calibration's 90 days
    ASSERT_TRUE(reg.Instruments(Day(0), {}, records));
    EXPECT_EQ(records[0].intervals.bumpDays, 3);
    EXPECT_EQ(records[0].intervals.calibrationDays, 90);
    EXPECT_EQ(compliance::DayText(records[0].status.sensors[1].bump.dueDay), "2026-12-04");
    EXPECT_EQ(compliance::DayText(records[0].status.sensors[1].calibration.dueDay), "2027-03-01");
}

TEST_P(RegisterTest, EventsKeepWhatTheRecordsSay) {
    ASSERT_GT(compliancetest::ImportSessions(
                  m_store, "unit",
                  {{MorningOf(0), "B4+ C0- Z4+ S", "NW-17", "OKAFOR"}, {MorningOf(1), "c4 B4-"}}),
              0);
    compliance::InstrumentRegister reg(m_store);
    ASSERT_EQ(reg.Refresh(), 2);
    std::vector<compliance::EventRow> events;
    ASSERT_TRUE(reg.Events({}, events));
    std::vector<std::string> seen;
    for (const compliance::EventRow& e : events) {
        seen.push_back(compliance::StampText(e.stamp) + " " + compliance::EventKindWord(e.kind) +
                       " " + std::to_string(e.sensor) + " " +
                       compliance::EventResultWord(e.result) + " " + e.value.toStdString() + " " +
                       e.user.toStdString() + " " + e.job.toStdString());
    }
    const std::vector<std::string> expected = {
        "2026-12-01 08:01:00 bump 4 pass 500 OKAFOR NW-17",
        "2026-12-01 08:02:00 calibration 0 fail 50.0 / 49.8 OKAFOR NW-17",
        "2026-12-01 08:03:00 zero 4 pass 0 / 1 OKAFOR NW-17",
        "2026-12-01 08:04:00 soundness -1 pass  OKAFOR NW-17",
        "2026-12-01 08:04:00 filter -1 fail  OKAFOR NW-17",
        "2026-12-02 08:01:00 calibration 4 none 500 / 498  ",
        "2026-12-02 08:02:00 bump 4 fail 500  ",
    };
    EXPECT_EQ(seen, expected);

    compliance::EventFilter failures;
    failures.result = compliance::EventResult::Fail;
    failures.kinds = {compliance::EventKind::Bump, compliance::EventKind::Calibration};
    ASSERT_TRUE(reg.Events(failures, events));
    ASSERT_EQ(events.size(), 2u);
    compliance::EventFilter byUser;
    byUser.user = "kaf";
    byUser.toDay = Day(0);
    ASSERT_TRUE(reg.Events(byUser, events));
    EXPECT_EQ(events.size(), 5u);
    compliance::EventFilter wildcard;
    wildcard.job = "%";
    ASSERT_TRUE(reg.Events(wildcard, events));
    EXPECT_TRUE(events.empty());
}

TEST_P(RegisterTest, EventsMadeAgainWhenTheirDecoderChanges) {
    ASSERT_GT(compliancetest::ImportSessions(m_store, "unit", {{MorningOf(0), "C4+ B4+"}}), 0);
    compliance::InstrumentRegister reg(m_store);
    ASSERT_EQ(reg.Refresh(), 1);
    EXPECT_EQ(reg.Refresh(), 0);
    // As an older program's decoder left them: wrong, and marked with its version.
    Sql("UPDATE session_events SET result = 'fail'");
    Sql("UPDATE sessions SET events_version = 0, tests = ''");
    ASSERT_EQ(reg.Refresh(), 1);
    std::vector<compliance::EventRow> events;
    ASSERT_TRUE(reg.Events({}, events));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].result, compliance::EventResult::Pass);
    EXPECT_EQ(events[1].result, compliance::EventResult::Pass);
    std::vector<InstrumentRecord> records;
    ASSERT_TRUE(reg.Instruments(Day(0), {}, records));
    EXPECT_EQ(records[0].status.status, ServiceStatus::Ok);
}

TEST_P(RegisterTest, GrownSessionGetsItsEventsAgain) {
    SessionSpec spec(MorningOf(0), "C4+ B4-");
    spec.open = true;
    const qint64 instrument = compliancetest::ImportSessions(m_store, "unit", {spec});
    ASSERT_GT(instrument, 0);
    compliance::InstrumentRegister reg(m_store);
    ASSERT_EQ(reg.Refresh(), 1);
    std::vector<InstrumentRecord> records;
    ASSERT_TRUE(reg.Instruments(Day(0), {}, records));
    EXPECT_EQ(records[0].status.status, ServiceStatus::Failed);

    spec.tests = "C4+ B4- B4+";
    spec.open = false;
    const qint64 download = m_store.BeginDownload(instrument, "test");
    ASSERT_EQ(m_store.Store(download, compliancetest::MakeSessions({spec}).at(0)),
              archive::StoreResult::Replaced);
    ASSERT_EQ(reg.Refresh(), 1);
    std::vector<compliance::EventRow> events;
    ASSERT_TRUE(reg.Events({}, events));
    EXPECT_EQ(events.size(), 3u);
    ASSERT_TRUE(reg.Instruments(Day(0), {}, records));
    EXPECT_EQ(records[0].status.status, ServiceStatus::Ok);
}

TEST_P(RegisterTest, InstrumentWithoutTestsIsOverdue) {
    ASSERT_GT(compliancetest::ImportSessions(m_store, "quiet", {{MorningOf(0), ""}}), 0);
    compliance::InstrumentRegister reg(m_store);
    ASSERT_EQ(reg.Refresh(), 1);
    std::vector<InstrumentRecord> records;
    ASSERT_TRUE(reg.Instruments(Day(0), {}, records));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(records[0].status.sensors.empty());
    EXPECT_EQ(records[0].status.status, ServiceStatus::Overdue);
    EXPECT_EQ(records[0].firstDay, "2026-12-01");
}

INSTANTIATE_TEST_SUITE_P(Engines, RegisterTest,
                         ::testing::Values(Engine::SQLite, Engine::PostgreSQL),
                         [](const ::testing::TestParamInfo<Engine>& info) {
                             return info.param == Engine::SQLite ? "SQLite" : "PostgreSQL";
                         });

} // namespace
