// The register on both engines: a table of test sequences with the rows they must give, what
// needs doing worst first, the events as stored, intervals set per archive and per instrument, and
// events made again when their decoder changes or a session grows.
#include <gtest/gtest.h>

#include <QDate>
#include <QDateTime>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTimeZone>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ArchiveFixture.h"
#include "ComplianceFixture.h"
#include "PersonalKeys.h"
#include "archive/ArchiveHistory.h"
#include "archive/ArchiveSync.h"
#include "archive/HistorySigning.h"
#include "archive/PersonalKey.h"
#include "compliance/CivilDay.h"
#include "compliance/CompliancePack.h"
#include "compliance/InstrumentNeeds.h"
#include "compliance/InstrumentRegister.h"
#include "compliance/SwitchOnStatus.h"
#include "testsupport/EnvGuard.h"

using compliance::InstrumentRecord;
using compliance::ServiceStatus;
using compliancetest::MorningOf;
using compliancetest::SessionSpec;

namespace {

int64_t Day(int offset) {
    return compliance::DayOfStamp(MorningOf(offset));
}

// What the register says of an instrument, as one line: its status; each sensor's status, each
// kind's last result and due day, the sessions used while it was overdue or failed and its
// failures since the last pass; its checks when tested; the sessions it was used while unfit.
std::string Row(const InstrumentRecord& r) {
    auto kind = [](const compliance::KindVerdict& v) {
        const std::string due = v.dueDay ? compliance::DueDayText(v) : "none";
        return (v.tested ? std::string(compliance::EventResultWord(v.lastResult)) : "never") +
               " due " + due;
    };
    std::string row = compliance::ServiceStatusWord(r.status.status);
    for (const compliance::SensorStatus& s : r.status.sensors) {
        row += " | " + compliance::SensorGasName(s.sensor) + " " +
               compliance::ServiceStatusWord(s.status) + ", bump " + kind(s.bump) +
               ", calibration " + kind(s.calibration) + ", used " +
               std::to_string(s.usedWhileOverdue.size()) + ", failures " +
               std::to_string(s.failuresSincePass);
    }
    for (const auto& check : {std::make_pair("soundness ", &r.status.soundness),
                              std::make_pair("filter ", &r.status.filter)}) {
        if (check.second->tested) {
            row += std::string(" | ") + check.first +
                   compliance::ServiceStatusWord(check.second->status) + ", " +
                   kind(*check.second) + ", failures " +
                   std::to_string(check.second->failuresSincePass);
        }
    }
    return row + " | used " + std::to_string(r.status.usedWhileOverdue.size());
}

struct Case {
    const char* name;
    std::vector<SessionSpec> sessions;
    int at; // day after 2026-12-01
    const char* row;
    int bumpDays = 0; // the instrument's own intervals when not 0
    int calibrationDays = 0;
};

// The register's rules, one sequence each.
const Case kCases[] = {
    {"Pass",
     {{MorningOf(0), "C4+ B4+"}},
     0,
     "ok | CO ok, bump pass due 2026-12-02, calibration pass due 2027-05-30, used 0, failures 0 "
     "| used 0"},
    {"FailThenPass",
     {{MorningOf(-1), "C4+ B4+"}, {MorningOf(0), "B4-"}, {MorningOf(0) + 3600, "B4+"}},
     0,
     "ok | CO ok, bump pass due 2026-12-02, calibration pass due 2027-05-29, used 1, failures 0 "
     "| used 1"},
    // A failed kind is due on the day it failed, whatever its interval.
    {"FailOnly",
     {{MorningOf(-1), "C4+ B4+"}, {MorningOf(0), "B4-"}},
     0,
     "failed | CO failed, bump fail due 2026-12-01, calibration pass due 2027-05-29, used 1, "
     "failures 1 | used 1",
     7},
    {"FailedTwiceSincePass",
     {{MorningOf(-1), "C4+ B4+"}, {MorningOf(0), "B4- C4-"}, {MorningOf(0) + 3600, "B4-"}},
     0,
     "failed | CO failed, bump fail due 2026-12-01, calibration fail due 2026-12-01, used 2, "
     "failures 3 | used 2"},
    {"NeverBumpTested",
     {{MorningOf(0), "C4+"}},
     0,
     "overdue | CO overdue, bump never due none, calibration pass due 2027-05-30, used 1, "
     "failures 0 | used 1"},
    // Zeros are no test the register judges: nothing archived says how the sensor stands.
    {"OnlyZeroed",
     {{MorningOf(0), "Z4+"}},
     0,
     "no tests archived yet | CO no tests archived yet, bump never due none, calibration never "
     "due none, used 0, failures 0 | used 0"},
    {"NoTestsAtAll", {{MorningOf(0), ""}}, 0, "no tests archived yet | used 0"},
    {"BumpOverdueByOneDay",
     {{MorningOf(0), "C4+ B4+"}},
     1,
     "overdue | CO overdue, bump pass due 2026-12-02, calibration pass due 2027-05-30, used 0, "
     "failures 0 | used 0"},
    {"CalibrationOk",
     {{MorningOf(0), "C4+ B4+"}},
     165,
     "ok | CO ok, bump pass due 2029-08-27, calibration pass due 2027-05-30, used 0, failures 0 "
     "| used 0",
     1000},
    {"CalibrationDueInWindow",
     {{MorningOf(0), "C4+ B4+"}},
     166,
     "due | CO due, bump pass due 2029-08-27, calibration pass due 2027-05-30, used 0, "
     "failures 0 | used 0",
     1000},
    {"CalibrationOverdueByOneDay",
     {{MorningOf(0), "C4+ B4+"}},
     180,
     "overdue | CO overdue, bump pass due 2029-08-27, calibration pass due 2027-05-30, used 0, "
     "failures 0 | used 0",
     1000},
    // No verdict counts as made: a calibration of the record version without results, and every
    // field calibration.
    {"CalibrationWithoutResultCounts",
     {{MorningOf(0), "c4 B4+"}},
     0,
     "ok | CO ok, bump pass due 2026-12-02, calibration none due 2027-05-30, used 0, failures 0 "
     "| used 0"},
    {"FieldCalibrationCountsAsMade",
     {{MorningOf(-1), "C4- F4"}, {MorningOf(0), "B4+"}},
     0,
     "ok | CO ok, bump pass due 2026-12-02, calibration none due 2027-05-29, used 1, failures 0 "
     "| used 1"},
    {"FailedAfterFieldCalibration",
     {{MorningOf(-3), "C4+ B4+"}, {MorningOf(-1), "B4+ C4- F4"}, {MorningOf(0), "B4+ C4-"}},
     0,
     "failed | CO failed, bump pass due 2026-12-02, calibration fail due 2026-12-01, used 1, "
     "failures 1 | used 1"},
    // "Not tested" is no test of that sensor.
    {"NotTestedIsNoTest",
     {{MorningOf(0), "C4+ B4+"}, {MorningOf(1), "B4x"}},
     1,
     "overdue | CO overdue, bump pass due 2026-12-02, calibration pass due 2027-05-30, used 1, "
     "failures 0 | used 1"},
    {"UsedWhileOverdue",
     {{MorningOf(0), "C4+ B4+"}, {MorningOf(2), ""}, {MorningOf(3), "B4+"}},
     3,
     "ok | CO ok, bump pass due 2026-12-05, calibration pass due 2027-05-30, used 1, failures 0 "
     "| used 1"},
    {"UsedAfterFailure",
     {{MorningOf(0), "C4+ B4+"}, {MorningOf(0) + 600, "B4-"}, {MorningOf(0) + 1200, ""}},
     0,
     "failed | CO failed, bump fail due 2026-12-01, calibration pass due 2027-05-30, used 2, "
     "failures 1 | used 2"},
    {"LaterSessionsNotCounted",
     {{MorningOf(0), "C4+ B4+"}, {MorningOf(5), ""}},
     1,
     "overdue | CO overdue, bump pass due 2026-12-02, calibration pass due 2027-05-30, used 0, "
     "failures 0 | used 0"},
    {"InstrumentBumpInterval",
     {{MorningOf(0), "C4+ B4+"}, {MorningOf(5), ""}},
     5,
     "ok | CO ok, bump pass due 2026-12-08, calibration pass due 2027-05-30, used 0, failures 0 "
     "| used 0",
     7},
    {"InstrumentCalibrationInterval",
     {{MorningOf(0), "C4+ B4+"}, {MorningOf(31), "B4+"}},
     31,
     "overdue | CO overdue, bump pass due 2027-01-02, calibration pass due 2026-12-31, used 1, "
     "failures 0 | used 1",
     0,
     30},
    // The instrument's own checks: a failed one with none made since fails the instrument.
    {"FilterFailed",
     {{MorningOf(-1), "C4+ B4+ K-"}, {MorningOf(0), "B4+ K-"}},
     0,
     "failed | CO ok, bump pass due 2026-12-02, calibration pass due 2027-05-29, used 0, "
     "failures 0 | filter failed, fail due 2026-12-01, failures 2 | used 2"},
    {"FilterPassedSince",
     {{MorningOf(-1), "C4+ B4+ K-"}, {MorningOf(0), "B4+ S+"}},
     0,
     "ok | CO ok, bump pass due 2026-12-02, calibration pass due 2027-05-29, used 0, failures 0 "
     "| soundness ok, pass due none, failures 0 | filter ok, pass due none, failures 0 | used 1"},
};

class RegisterTest : public archivetest::OpenArchiveFixture {
protected:
    QSqlQuery Sql(const QString& statement) {
        QSqlQuery query(QSqlDatabase::database(m_archive.ConnectionName()));
        EXPECT_TRUE(query.exec(statement)) << statement.toStdString();
        return query;
    }
};

TEST_P(RegisterTest, SequencesGiveTheirStatus) {
    std::vector<qint64> ids;
    for (const Case& c : kCases) {
        ids.push_back(compliancetest::ImportSessions(m_archive, c.name, c.sessions));
        ASSERT_GT(ids.back(), 0) << c.name << ": " << m_archive.Error().toStdString();
    }
    compliance::InstrumentRegister reg(m_archive);
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
        EXPECT_EQ(Row(records[0]), c.row) << c.name;
    }
}

// What needs doing, worst first: the failed check and bump test, then the calibration never
// made, then the one due soon.
TEST_P(RegisterTest, AttentionWorstFirst) {
    const qint64 id = compliancetest::ImportSessions(
        m_archive, "unit", {{MorningOf(-170), "C4+"}, {MorningOf(0), "B4+ B0- K-"}});
    ASSERT_GT(id, 0);
    compliance::InstrumentRegister reg(m_archive);
    std::vector<std::string> lines;
    ASSERT_TRUE(reg.Attention(id, Day(0), lines)) << reg.Error().toStdString();
    EXPECT_EQ(lines, (std::vector<std::string>{"Filter check failed on 2026-12-01",
                                               "Bump test of LEL failed on 2026-12-01",
                                               "Calibration of LEL never done",
                                               "Calibration of CO due on 2026-12-11"}));
    const qint64 quiet =
        compliancetest::ImportSessions(m_archive, "quiet", {{MorningOf(0), "Z4+"}});
    ASSERT_TRUE(reg.Attention(quiet, Day(0), lines)) << reg.Error().toStdString();
    EXPECT_EQ(lines, (std::vector<std::string>{"No tests archived yet"}));
}

TEST_P(RegisterTest, DueDaysAndArchiveIntervals) {
    const qint64 id =
        compliancetest::ImportSessions(m_archive, "unit", {{MorningOf(0), "C4+ B4+ B0+"}});
    ASSERT_GT(id, 0);
    compliance::InstrumentRegister reg(m_archive);
    ASSERT_EQ(reg.Refresh(), 1);
    std::vector<InstrumentRecord> records;
    ASSERT_TRUE(reg.Instruments(Day(0), {}, records));
    ASSERT_EQ(records.size(), 1u);
    // LEL was bump-tested but never calibrated. The sensors are numbered in the order the records
    // name them: CO first.
    ASSERT_EQ(records[0].status.sensors.size(), 2u);
    const compliance::SensorStatus& co = records[0].status.sensors[0];
    const compliance::SensorStatus& lel = records[0].status.sensors[1];
    EXPECT_EQ(std::make_pair(co.sensor, co.number), std::make_pair(4, 1));
    EXPECT_EQ(std::make_pair(lel.sensor, lel.number), std::make_pair(0, 2));
    EXPECT_EQ(lel.status, ServiceStatus::Overdue);
    EXPECT_EQ(compliance::DueDayText(co.bump), "2026-12-02");
    EXPECT_EQ(compliance::DueDayText(co.calibration), "2027-05-30");
    EXPECT_EQ(records[0].status.status, ServiceStatus::Overdue);
    EXPECT_EQ(compliance::AttentionLines(records[0].status),
              (std::vector<std::string>{"Calibration of LEL never done"}));
    ASSERT_TRUE(reg.Instruments(Day(1), {}, records));
    EXPECT_EQ(compliance::AttentionLines(records[0].status),
              (std::vector<std::string>{"Bump test of CO overdue since 2026-12-02",
                                        "Bump test of LEL overdue since 2026-12-02",
                                        "Calibration of LEL never done"}));

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
    EXPECT_EQ(compliance::DueDayText(records[0].status.sensors[0].bump), "2026-12-04");
    EXPECT_EQ(compliance::DueDayText(records[0].status.sensors[0].calibration), "2027-03-01");
}

TEST_P(RegisterTest, EventsKeepWhatTheRecordsSay) {
    ASSERT_GT(compliancetest::ImportSessions(
                  m_archive, "unit",
                  {{MorningOf(0), "B4+ C0- Z4+ S", "NW-17", "OKAFOR"}, {MorningOf(1), "c4 B4-"}}),
              0);
    compliance::InstrumentRegister reg(m_archive);
    ASSERT_EQ(reg.Refresh(), 2);
    std::vector<compliance::EventRow> events;
    ASSERT_TRUE(reg.Events({}, events));
    std::vector<std::string> seen;
    for (const compliance::EventRow& e : events) {
        seen.push_back(compliance::StampText(e.stamp) + " " + compliance::EventKindWord(e.kind) +
                       " " + std::to_string(e.sensor) + " #" + std::to_string(e.number) + " " +
                       compliance::EventResultWord(e.result) + " " + e.value.toStdString() + " " +
                       e.user.toStdString() + " " + e.job.toStdString());
    }
    const std::vector<std::string> expected = {
        "2026-12-01 08:01:00 bump 4 #1 pass 500 OKAFOR NW-17",
        "2026-12-01 08:02:00 calibration 0 #2 fail 50.0 / 49.8 OKAFOR NW-17",
        "2026-12-01 08:03:00 zero 4 #1 pass 0 / 1 OKAFOR NW-17",
        "2026-12-01 08:04:00 soundness -1 #0 pass  OKAFOR NW-17",
        "2026-12-01 08:04:00 filter -1 #0 fail  OKAFOR NW-17",
        "2026-12-02 08:01:00 calibration 4 #1 none 500 / 498  ",
        "2026-12-02 08:02:00 bump 4 #1 fail 500  ",
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
    ASSERT_GT(compliancetest::ImportSessions(m_archive, "unit", {{MorningOf(0), "C4+ B4+"}}), 0);
    compliance::InstrumentRegister reg(m_archive);
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
    const qint64 instrument = compliancetest::ImportSessions(m_archive, "unit", {spec});
    ASSERT_GT(instrument, 0);
    compliance::InstrumentRegister reg(m_archive);
    ASSERT_EQ(reg.Refresh(), 1);
    std::vector<InstrumentRecord> records;
    ASSERT_TRUE(reg.Instruments(Day(0), {}, records));
    EXPECT_EQ(records[0].status.status, ServiceStatus::Failed);

    spec.tests = "C4+ B4- B4+";
    spec.open = false;
    const qint64 download = m_archive.BeginDownload(instrument, "test");
    ASSERT_EQ(m_archive.Store(download, compliancetest::MakeSessions({spec}).at(0)),
              archive::StoreResult::Replaced);
    ASSERT_EQ(reg.Refresh(), 1);
    std::vector<compliance::EventRow> events;
    ASSERT_TRUE(reg.Events({}, events));
    EXPECT_EQ(events.size(), 3u);
    ASSERT_TRUE(reg.Instruments(Day(0), {}, records));
    EXPECT_EQ(records[0].status.status, ServiceStatus::Ok);
}

TEST_P(RegisterTest, InstrumentWithoutTestsHasNoneArchived) {
    ASSERT_GT(compliancetest::ImportSessions(m_archive, "quiet", {{MorningOf(0), ""}}), 0);
    compliance::InstrumentRegister reg(m_archive);
    ASSERT_EQ(reg.Refresh(), 1);
    std::vector<InstrumentRecord> records;
    ASSERT_TRUE(reg.Instruments(Day(0), {}, records));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(records[0].status.sensors.empty());
    EXPECT_EQ(records[0].status.status, ServiceStatus::NoTests);
    EXPECT_EQ(records[0].firstDay, "2026-12-01");
}

// What an instrument needs, as the program asks by the archive's id after GO and the watcher by
// the word it knows the instrument by: the same lines, and the same sessions used while unfit.
TEST_P(RegisterTest, InstrumentNeedsAreTheSameByIdAndByWord) {
    const std::vector<std::string> failing = {"Filter check failed on 2026-11-01",
                                              "Bump test of LEL failed on 2026-11-01",
                                              "Calibration of LEL never done"};
    const qint64 van = compliancetest::ImportSessions(
        m_archive, "Van 7", {{MorningOf(-30), "B0- K-"}, {MorningOf(-29), ""}}, "TAV-7");
    const qint64 quiet =
        compliancetest::ImportSessions(m_archive, "", {{MorningOf(-30), "Z4+"}}, "TAV-9");
    ASSERT_GT(van, 0) << m_archive.Error().toStdString();
    ASSERT_GT(quiet, 0) << m_archive.Error().toStdString();
    const QString at = QString::fromStdString(m_location);
    const struct {
        qint64 id;
        const char* word;
        bool read;
        std::vector<std::string> lines;
        std::vector<uint32_t> used;
    } cases[] = {
        {van, "Van 7", true, failing, {MorningOf(-30), MorningOf(-29)}},
        {van, "TAV-7", true, failing, {MorningOf(-30), MorningOf(-29)}},
        {quiet, "TAV-9", true, {"No tests archived yet"}, {}},
        {van + quiet, "Van 8", false, {}, {}},
    };
    for (const auto& c : cases) {
        const compliance::InstrumentNeeds byId = compliance::NeedsOf(at, c.id);
        const compliance::InstrumentNeeds byWord = compliance::NeedsOf(at, QString(c.word));
        EXPECT_EQ(byId.read, c.read) << c.word;
        EXPECT_EQ(byId.lines, c.lines) << c.word;
        EXPECT_EQ(byId.usedWhileOverdue, c.used) << c.word;
        EXPECT_EQ(byWord.read, byId.read) << c.word;
        EXPECT_EQ(byWord.lines, byId.lines) << c.word;
        EXPECT_EQ(byWord.usedWhileOverdue, byId.usedWhileOverdue) << c.word;
    }
    EXPECT_FALSE(compliance::NeedsOf(m_dir.Path().c_str(), van).read); // a folder is no archive
}

// A session's register status at switch-on counts the tests made before it and its own, never one
// made later that day.
TEST_P(RegisterTest, StatusAtSwitchOnNeverCountsALaterTest) {
    const uint32_t morning = MorningOf(0);
    const qint64 unit = compliancetest::ImportSessions(
        m_archive, "unit", {{morning, ""}, {morning + 3 * 3600, "B4-"}, {morning + 6 * 3600, ""}});
    ASSERT_GT(unit, 0) << m_archive.Error().toStdString();
    compliance::InstrumentRegister(m_archive).Refresh();
    compliance::SwitchOnStatus atSwitchOn(m_archive);
    const std::string noTests = compliance::ServiceStatusWord(ServiceStatus::NoTests);
    const std::string failed = compliance::ServiceStatusWord(ServiceStatus::Failed);
    EXPECT_EQ(atSwitchOn.At(unit, true, morning), noTests);
    EXPECT_EQ(atSwitchOn.At(unit, true, morning + 3 * 3600), failed);
    EXPECT_EQ(atSwitchOn.At(unit, true, morning + 6 * 3600), failed);
    EXPECT_EQ(atSwitchOn.At(unit, true, morning + 1), ""); // no session switched on then
    EXPECT_EQ(atSwitchOn.At(unit, false, morning), "");
}

// The packed outcomes of a session, checks among them, read back; what does not parse is left out.
TEST(PackedTests, RoundTripAndMalformedEntries) {
    compliance::SessionTests tests;
    tests.events = {
        {compliance::EventKind::Bump, 4, 100, compliance::EventResult::Pass, "", "", ""},
        {compliance::EventKind::FieldCalibration, 3, 200, compliance::EventResult::None, "", "",
         ""},
        {compliance::EventKind::Zero, 4, 250, compliance::EventResult::Pass, "", "", ""},
        {compliance::EventKind::Filter, compliance::kNoSensor, 300, compliance::EventResult::Fail,
         "", "", ""}};
    tests.sensors = {4, 3};
    const std::string packed = compliance::PackTests(tests);
    EXPECT_EQ(packed, "B4,100P;F3,200N;K,300F;G4;G3;");
    const std::string text =
        packed + "K5,1F;B,1P;S,;S,9;C999,1P;Z4,1P;G;G-1;B4,99999999999P;S,400P";
    const compliance::PackedTests read = compliance::UnpackTests(text);
    std::vector<std::string> seen;
    for (const compliance::TestOutcome& o : read.outcomes) {
        seen.push_back(std::string(compliance::EventKindWord(o.kind)) + " " +
                       std::to_string(o.sensor) + " " + std::to_string(o.stamp) + " " +
                       compliance::EventResultWord(o.result));
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"bump 4 100 pass", "field-calibration 3 200 none",
                                              "filter -1 300 fail", "soundness -1 400 pass"}));
    EXPECT_EQ(read.sensors, (std::vector<int>{4, 3}));
}

// A pack shows the sign-offs whose scope overlaps its period and instruments, whenever they were
// written: one written after the period but covering it is shown, one covering another period or
// another instrument is not. An instrument's sign-off stays its own after a rename.
TEST_P(RegisterTest, APackShowsTheSignOffsOfItsPeriodAndInstruments) {
    const testsupport::EnvGuard user("XDG_CONFIG_HOME", m_dir.Path() + "/signer");
    archive::PersonalKey key;
    ASSERT_TRUE(archivetest::MadePersonalKey(key));
    const qint64 van7 = compliancetest::ImportSessions(
        m_archive, "van 7", {{MorningOf(-10), "B4+"}, {MorningOf(0), "B4+"}});
    const qint64 van8 = compliancetest::ImportSessions(
        m_archive, "van 8", {{MorningOf(-40), "B4+"}, {MorningOf(-35), "B4+"}});
    ASSERT_GT(van7, 0) << m_archive.Error().toStdString();
    ASSERT_GT(van8, 0) << m_archive.Error().toStdString();
    const struct {
        archive::SignOffScope scope;
        const char* detail;
    } signOffs[] = {
        {{"reviewed", "van 7", "2026-11-01", "2026-11-30"},
         R"(signed off as "reviewed": instrument "van 7" from 2026-11-01 to 2026-11-30, 1 session)"},
        {{"approved", "", "", ""}, R"(signed off as "approved": every instrument, 4 sessions)"},
        {{"checked", "van 8", "2026-10-01", "2026-10-31"},
         R"(signed off as "checked": instrument "van 8" from 2026-10-01 to 2026-10-31, 2 sessions)"},
        {{"audited", "", "2026-12-01", "2026-12-31"},
         R"(signed off as "audited": every instrument from 2026-12-01 to 2026-12-31, 1 session)"},
        {{R"(ok": every instrument)", "van 8", "", "2026-10-25"},
         R"(signed off as "ok\": every instrument": instrument "van 8" up to 2026-10-25, 1 session)"},
        {{"noted", "van 7", "2026-12-01", "2026-12-06"},
         R"(signed off as "noted": instrument "van 7" from 2026-12-01 to 2026-12-06, 1 session)"},
    };
    for (const auto& s : signOffs) {
        QString detail;
        QString error;
        ASSERT_TRUE(archive::SignOff(m_archive, s.scope, key, detail, error))
            << error.toStdString();
        EXPECT_EQ(detail.toStdString(), s.detail);
    }
    ASSERT_EQ(m_archive.RenameInstrument("van 7", "van 9"), archive::RenameResult::Renamed);
    compliance::InstrumentRegister reg(m_archive);
    ASSERT_GE(reg.Refresh(), 0) << reg.Error().toStdString();

    const struct {
        const char* at;
        std::vector<qint64> instruments;
        std::vector<int> shown; // of signOffs
    } packs[] = {
        {"2026-11-30", {van7}, {0, 1}},       {"2099-12-31", {van7}, {0, 1, 3, 5}},
        {"2026-11-15", {van8}, {1, 2, 4}},    {"2099-12-31", {van7, van8}, {0, 1, 2, 3, 4, 5}},
        {"2100-06-01", {van8}, {1, 2, 3, 4}}, {"2099-12-31", {}, {1, 3}},
    };
    for (const auto& pack : packs) {
        int64_t atDay = 0;
        ASSERT_TRUE(compliance::ParseDay(pack.at, atDay));
        std::vector<InstrumentRecord> records;
        if (!pack.instruments.empty()) {
            ASSERT_TRUE(reg.Instruments(atDay, pack.instruments, records))
                << reg.Error().toStdString();
        }
        QStringList lines;
        QString error;
        ASSERT_TRUE(compliance::PackHistoryLines(m_archive, atDay, records, lines, error))
            << error.toStdString();
        std::vector<std::string> shown;
        for (const QString& line : lines) {
            if (line.startsWith("Sign-off, row ")) {
                shown.push_back(line.mid(line.indexOf(": signed off as ") + 2).toStdString());
                // By the printed name the key is bound to, with its fingerprint.
                EXPECT_TRUE(line.contains(" UTC, \"Dr Jane QA\" (key " + key.Fingerprint() + "): "))
                    << line.toStdString();
                // Written now: after the day of every pack but the far ones, and said so.
                EXPECT_EQ(line.contains(" (written after the pack's day), "),
                          std::string(pack.at) < "2099")
                    << line.toStdString();
            }
        }
        std::vector<std::string> expected;
        for (const int k : pack.shown) {
            expected.push_back(signOffs[k].detail);
        }
        EXPECT_EQ(shown, expected) << pack.at << ", " << pack.instruments.size() << " instruments\n"
                                   << lines.join('\n').toStdString();
    }
}

// The command line makes the pack of an archive on either engine, with its sign-offs and as of
// an earlier day: every time bound it gives the server is one the server takes.
TEST_P(RegisterTest, TheCommandLineMakesThePackOnEitherEngine) {
    ASSERT_GT(compliancetest::ImportSessions(m_archive, "van 7",
                                             {{MorningOf(-10), "B4+"}, {MorningOf(0), "B4+"}}),
              0)
        << m_archive.Error().toStdString();
    m_archive.Close();
    const testsupport::EnvGuard user("XDG_CONFIG_HOME", m_dir.Path() + "/signer");
    archive::PersonalKey key;
    ASSERT_TRUE(archivetest::MadePersonalKey(key));
    ASSERT_EQ(Datalog({"sign-off", "--meaning", "reviewed", "--to", "2026-12-01",
                       "--passphrase-file", archivetest::PassphraseFile(m_dir.File("pass"))})
                  .status,
              0);
    const struct {
        std::vector<std::string> args;
        const char* file;
    } runs[] = {
        {{"compliance", "--format", "pdf", "-o", "now.pdf"}, "now.pdf"},
        {{"compliance", "--at", "2026-12-01", "--format", "pdf", "-o", "then.pdf"}, "then.pdf"},
        {{"compliance", "--instrument", "van 7", "--format", "text", "-o", "now.txt"}, "now.txt"},
    };
    for (const auto& run : runs) {
        const testsupport::RunResult r = Datalog(run.args);
        EXPECT_TRUE(r.status == 0 || r.status == 3) << run.file << ": " << r.status << " " << r.err;
        EXPECT_EQ(r.err.find("ERROR"), std::string::npos) << run.file << ": " << r.err;
        EXPECT_GT(QFileInfo(QString::fromStdString(m_dir.File(run.file))).size(), 0) << run.file;
    }
}

// The team's pack pins its history as it stood at the end of the pack's day, names each key
// once with the chains it signed, and shows the sign-offs of every chain it holds: another
// archive's judged by this archive's copies of their sessions, one whose sessions it does not
// hold saying so. `archive history` shows the chains synced in.
TEST_P(RegisterTest, ThePackPinsEveryChainAsItStoodOnItsDay) {
    const testsupport::EnvGuard user("XDG_CONFIG_HOME", m_dir.Path() + "/signer");
    const testsupport::ZoneGuard zone("UTC");
    FRESH_OR_SKIP(van, "van");
    archive::PersonalKey key;
    ASSERT_TRUE(archivetest::MadePersonalKey(key));
    ASSERT_GT(compliancetest::ImportSessions(*van, "van 7",
                                             {{MorningOf(-10), "B4+"}, {MorningOf(0), "B4+"}}),
              0)
        << van->Error().toStdString();
    const qint64 van8 = compliancetest::ImportSessions(
        m_archive, "van 8", {{MorningOf(-40), "B4+"}, {MorningOf(-35), "B4+"}});
    ASSERT_GT(van8, 0) << m_archive.Error().toStdString();
    const struct {
        archive::SessionArchive* in;
        archive::SignOffScope scope;
    } signOffs[] = {
        {van, {"reviewed", "van 7", "2026-11-01", "2026-11-30"}},
        {van, {"approved", "", "", ""}},
        {&m_archive, {"checked", "van 8", "2026-10-01", "2026-10-31"}},
        {van, {"noted", "van 7", "2026-12-01", "2026-12-01"}},
    };
    for (const auto& s : signOffs) {
        QString detail;
        QString error;
        ASSERT_TRUE(archive::SignOff(*s.in, s.scope, key, detail, error)) << error.toStdString();
    }
    archive::SyncSummary summary;
    QString error;
    ASSERT_TRUE(archive::SyncArchive(*van, m_archive, {}, summary, error)) << error.toStdString();
    // Each chain's rows a day apart from 2026-11-02 (the van's from 2026-11-12) at noon, and a
    // sign-off whose sessions the team does not hold.
    constexpr qint64 kDay = 86400000;
    const qint64 t0 =
        QDateTime(QDate(2026, 11, 1), QTime(12, 0), QTimeZone::utc()).toMSecsSinceEpoch();
    ASSERT_TRUE(
        EngineFixture::Sql("UPDATE archive_history SET changed_at = ? + seq * ?", {t0, kDay}));
    ASSERT_TRUE(EngineFixture::Sql("UPDATE origin_history SET changed_at = ? + (seq + 10) * ?",
                                   {t0, kDay}));
    ASSERT_TRUE(EngineFixture::Sql(
        "UPDATE history_keys SET first_at = ? + (first_seq + CASE WHEN origin = ''"
        " THEN 0 ELSE 10 END) * ?",
        {t0, kDay}));
    ASSERT_TRUE(EngineFixture::Sql("UPDATE origin_history SET sessions = '' WHERE detail LIKE ?",
                                   {"%\"noted\"%"}));

    QVector<archive::HistorySigner> signers;
    ASSERT_TRUE(archive::HistorySigners(m_archive, signers, error)) << error.toStdString();
    // The fixture's writer made the team's first row; the user here wrote the rest, and the van's,
    // and signed off in both with their personal key, bound in each chain.
    ASSERT_EQ(signers.size(), 5);
    ASSERT_EQ(signers[1].publicKey, signers[3].publicKey);
    ASSERT_EQ(signers[2].publicKey, key.PublicHex());
    ASSERT_EQ(signers[4].publicKey, key.PublicHex());
    EXPECT_EQ(signers[2].printedName, "Dr Jane QA");
    EXPECT_EQ(signers[4].printedName, "Dr Jane QA");
    const QString who = signers[0].user + '@' + signers[0].host;
    const QString vanName = "archive " + van->Where();
    const QVector<archive::HistoryRow> rows = archive::History(m_archive, error);
    ASSERT_GE(rows.size(), 3);
    compliance::InstrumentRegister reg(m_archive);
    ASSERT_GE(reg.Refresh(), 0) << reg.Error().toStdString();
    QSqlQuery filed = Sql("SELECT instrument_id FROM synced_instruments");
    ASSERT_TRUE(filed.next());
    const qint64 synced = filed.value(0).toLongLong();
    EXPECT_FALSE(filed.next());
    filed.finish();

    const QString first = "Signer: " + signers[0].fingerprint + ", " + who +
                          ", signed this archive's history from row 1";
    const QString both = "Signer: " + signers[1].fingerprint + ", " + who +
                         ", signed this archive's history from row 2, " + vanName +
                         "'s history from row 1";
    // One pass: a location may hold "%2F" itself.
    const QString personal = QString("Signer: %1, \"Dr Jane QA\", signed this archive's history"
                                     " from row %2, %3's history from row %4")
                                 .arg(key.Fingerprint(), QString::number(signers[2].firstRow),
                                      vanName, QString::number(signers[4].firstRow));
    const QString reviewed =
        R"(Sign-off of )" + vanName +
        R"(: signed off as "reviewed": instrument "van 7" from 2026-11-01 to 2026-11-30, 1 session)";
    const QString approved =
        "Sign-off of " + vanName + R"(: signed off as "approved": every instrument, 2 sessions)";
    const QString checked =
        R"(Sign-off of this archive: signed off as "checked": instrument "van 8")"
        R"( from 2026-10-01 to 2026-10-31, 2 sessions)";
    const QString noted = "Sign-off of " + vanName +
                          R"( (this archive holds none of its sessions): signed off as "noted":)"
                          R"( instrument "van 7" from 2026-12-01 to 2026-12-01, 1 session)";
    const struct {
        const char* at;
        std::vector<qint64> instruments;
        qint64 head;
        QStringList lines; // after the head, sign-offs without their row, time and writer
    } packs[] = {
        // Its head as it stood that day; the sign-offs made since for its period, saying so.
        {"2026-11-02",
         {van8},
         1,
         {first, QString(checked).replace(" archive:", " archive (written after the pack's day):"),
          QString(approved).replace(vanName + ":", vanName + " (written after the pack's day):")}},
        {"2099-12-31",
         {synced},
         rows.last().seq,
         {first, both, personal, reviewed, approved, noted}},
        {"2099-12-31", {van8}, rows.last().seq, {first, both, personal, checked, approved, noted}},
    };
    for (const auto& pack : packs) {
        int64_t atDay = 0;
        ASSERT_TRUE(compliance::ParseDay(pack.at, atDay));
        std::vector<InstrumentRecord> records;
        ASSERT_TRUE(reg.Instruments(atDay, pack.instruments, records)) << reg.Error().toStdString();
        QStringList lines;
        ASSERT_TRUE(compliance::PackHistoryLines(m_archive, atDay, records, lines, error))
            << error.toStdString();
        ASSERT_FALSE(lines.isEmpty());
        EXPECT_EQ(lines.takeFirst().toStdString(),
                  QString("History head (archive verify --head): %1:%2")
                      .arg(pack.head)
                      .arg(rows[static_cast<int>(pack.head) - 1].hash)
                      .toStdString());
        static const QRegularExpression kRowAndWriter(
            "^Sign-off, row \\d+ (.*), \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d UTC, \"Dr Jane QA\""
            " \\(key [0-9a-f:]{39}\\)(:.*)$");
        for (QString& line : lines) {
            line.replace(kRowAndWriter, "Sign-off \\1\\2");
        }
        EXPECT_EQ(lines.join('\n').toStdString(), pack.lines.join('\n').toStdString()) << pack.at;
    }

    // The chains the team holds, each under its name.
    m_archive.Close();
    const testsupport::RunResult chains = Datalog({"history", "--all-chains"});
    EXPECT_EQ(chains.status, 0) << chains.err;
    const std::string vanHeading = "history of " + vanName.toStdString() + " (identity " +
                                   van->Identity().toStdString() + "):";
    EXPECT_EQ(chains.out.find("history of this archive:\n"), 0u) << chains.out;
    EXPECT_NE(chains.out.find(vanHeading), std::string::npos) << chains.out;
    for (const std::string& chain : {van->Identity().toStdString(), van->Where().toStdString()}) {
        const testsupport::RunResult one = Datalog({"history", "--chain", chain});
        EXPECT_EQ(one.status, 0) << one.err;
        EXPECT_EQ(one.out.find(vanHeading + "\n"), 0u) << one.out;
        EXPECT_NE(one.out.find("signed off as \"reviewed\""), std::string::npos) << one.out;
        EXPECT_EQ(one.out.find("signed off as \"checked\""), std::string::npos) << one.out;
    }
    // The pack's lines stay within the page's margins (15 mm of A4's 595 points, in points).
    const testsupport::RunResult pdf = Datalog({"compliance", "--format", "pdf", "-o", "team.pdf"});
    EXPECT_TRUE(pdf.status == 0 || pdf.status == 3) << pdf.err;
    QProcess boxes;
    boxes.start("pdftotext", {"-bbox", "-f", "1", "-l", "1",
                              QString::fromStdString(m_dir.File("team.pdf")), "-"});
    ASSERT_TRUE(boxes.waitForFinished(60000));
    const QString words = QString::fromUtf8(boxes.readAllStandardOutput());
    static const QRegularExpression kWord("xMax=\"([0-9.]+)\"[^>]*>([^<]*)<");
    int seen = 0;
    for (auto word = kWord.globalMatch(words); word.hasNext(); ++seen) {
        const QRegularExpressionMatch m = word.next();
        EXPECT_LE(m.captured(1).toDouble(), 595.0 - 15 * 72 / 25.4 + 1)
            << m.captured(2).toStdString();
    }
    EXPECT_GT(seen, 0) << words.toStdString();
    const testsupport::RunResult keys = Datalog({"keys"});
    EXPECT_NE(keys.out.find(" of " + vanName.toStdString() + "'s history"), std::string::npos)
        << keys.out;
    const testsupport::RunResult unknown = Datalog({"history", "--chain", "nowhere"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("the archive holds no chain of nowhere"), std::string::npos)
        << unknown.err;
}

INSTANTIATE_ON_BOTH_ENGINES(RegisterTest);

} // namespace
