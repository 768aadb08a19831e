// tavon-datalog archive compliance, events and set-interval as a process: the columns read back
// with Python's csv module, the pack's text read back with pdftotext, and the exit statuses.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTime>
#include <QTimeZone>
#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "ComplianceFixture.h"
#include "archive/SessionArchive.h"
#include "sim/LogMemory.h"
#include "testsupport/Files.h"
#include "testsupport/Processes.h"
#include "testsupport/TempDir.h"

namespace {

using compliancetest::MorningOf;
using testsupport::RunProgram;
using testsupport::RunResult;

// No system-wide list of trusted keys this machine may hold judges the pack's signers.
const std::vector<std::string> kEnvironment = {
    "TZ=UTC", "LC_ALL=C", "QT_QPA_PLATFORM=offscreen",
    "TAVON_SYSTEM_TRUSTED_KEYS=/nonexistent/tavon-test/trusted-keys"};

class ComplianceCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.Ok());
        archive::SessionArchive store;
        ASSERT_TRUE(store.Open(QString::fromStdString(m_dir.File("a.sqlite"))));
        ASSERT_GT(compliancetest::ImportSessions(
                      store, "good", {{MorningOf(0), "C4+ B4+ B0+ C0+", "NW-1", "Lee"}}),
                  0);
        ASSERT_GT(compliancetest::ImportSessions(
                      store, "bad, really",
                      {{MorningOf(-1), "C4+ B4+"}, {MorningOf(0), "B4-", "NW-2", "Ode"}}),
                  0);
    }

    RunResult Datalog(std::vector<std::string> args) {
        args.insert(args.begin() + 2, {"--archive", m_dir.File("a.sqlite")});
        return RunProgram("tavon-datalog", args, m_dir.Path(), 120, kEnvironment);
    }

    // The rows of a CSV file as Python's csv module reads them.
    std::vector<std::vector<std::string>> CsvRows(const std::string& text) {
        testsupport::WriteFile(m_dir.File("read.csv"), text);
        const QByteArray out = Tool(
            "python3", {"-c",
                        "import csv, json, sys; print(json.dumps(list(csv.reader(open(sys.argv[1], "
                        "newline='')))))",
                        QString::fromStdString(m_dir.File("read.csv"))});
        std::vector<std::vector<std::string>> rows;
        for (const QJsonValue& row : QJsonDocument::fromJson(out).array()) {
            rows.emplace_back();
            for (const QJsonValue& cell : row.toArray()) {
                rows.back().push_back(cell.toString().toStdString());
            }
        }
        return rows;
    }

    // What a tool of the system prints; empty when it fails.
    static QByteArray Tool(const QString& program, const QStringList& args) {
        QProcess process;
        process.start(program, args);
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
            process.exitCode() != 0) {
            ADD_FAILURE() << program.toStdString() << ": " << process.errorString().toStdString()
                          << " " << process.readAllStandardError().toStdString();
            return QByteArray();
        }
        return process.readAllStandardOutput();
    }

    testsupport::TempDir m_dir{"tavon-compliance-cli-"};
};

TEST_F(ComplianceCliTest, CsvHasTheColumnsAndExitSaysFailed) {
    const RunResult r = Datalog({"archive", "compliance", "--at", "2026-12-01", "--format", "csv"});
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_FALSE(r.out.empty()) << r.err;
    const std::vector<std::vector<std::string>> rows = CsvRows(r.out);
    const std::vector<std::vector<std::string>> expected = {
        {"instrument", "serial", "instrument_status", "sensor", "range", "gas", "last_bump",
         "last_bump_result", "last_calibration", "last_calibration_result", "bump_due",
         "calibration_due", "status", "used_while_overdue", "failures_since_pass"},
        {"bad, really", "", "failed", "1", "0..1000 PPM CO", "CO", "2026-12-01 08:01:00", "FAIL",
         "2026-11-30 08:01:00", "PASS", "2026-12-01", "2027-05-29", "failed", "1", "1"},
        // Numbered in the order the records name them: the calibration of CO came first.
        {"good", "", "ok", "1", "0..1000 PPM CO", "CO", "2026-12-01 08:02:00", "PASS",
         "2026-12-01 08:01:00", "PASS", "2026-12-02", "2027-05-30", "ok", "0", "0"},
        {"good", "", "ok", "2", "0..100 % LEL", "LEL", "2026-12-01 08:03:00", "PASS",
         "2026-12-01 08:04:00", "PASS", "2026-12-02", "2027-05-30", "ok", "0", "0"},
    };
    EXPECT_EQ(rows, expected);
}

TEST_F(ComplianceCliTest, ExitStatusFollowsTheInstrumentsShown) {
    EXPECT_EQ(
        Datalog({"archive", "compliance", "--at", "2026-12-01", "--instrument", "good"}).status, 0);
    // The next morning the bump tests of the day before no longer do.
    EXPECT_EQ(
        Datalog({"archive", "compliance", "--at", "2026-12-02", "--instrument", "good"}).status, 3);
    const RunResult r =
        Datalog({"archive", "compliance", "--at", "2026-12-01", "--format", "json"});
    const QJsonArray rows = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).array();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0].toObject()["status"].toString(), "failed");
    EXPECT_EQ(rows[0].toObject()["failures_since_pass"].toInt(), 1);
    EXPECT_EQ(rows[1].toObject()["calibration_due"].toString(), "2027-05-30");
}

TEST_F(ComplianceCliTest, IntervalsSetPerArchiveAndInstrument) {
    RunResult r = Datalog({"archive", "set-interval", "--bump-days", "7", "--instrument", "good"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "good: bump test every 7 days, calibration every 180 days, due 14 days before\n");
    EXPECT_EQ(
        Datalog({"archive", "compliance", "--at", "2026-12-07", "--instrument", "good"}).status, 0);
    r = Datalog({"archive", "set-interval", "--cal-days", "5"});
    EXPECT_EQ(r.out,
              "the archive: bump test every day, calibration every 5 days, due 14 days before\n");
    r = Datalog({"archive", "set-interval", "--warn-days", "1", "--instrument", "good"});
    EXPECT_EQ(r.out, "good: bump test every 7 days, calibration every 5 days, due 1 day before\n");
    r = Datalog({"archive", "set-interval", "--warn-days", "14", "--instrument", "good"});
    r = Datalog(
        {"archive", "compliance", "--at", "2026-12-05", "--instrument", "good", "--format", "csv"});
    EXPECT_EQ(r.status, 0); // due, in the warning window
    EXPECT_EQ(CsvRows(r.out).at(1).at(11), "2026-12-06");
    EXPECT_EQ(CsvRows(r.out).at(1).at(12), "due");
    // Each change is evidence: the history names it, and the archive still verifies.
    r = Datalog({"archive", "history"});
    EXPECT_NE(r.out.find("interval  intervals of the archive: calibration every 5 days"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(Datalog({"archive", "verify"}).status, 0);
}

TEST_F(ComplianceCliTest, EventsFiltered) {
    const RunResult r = Datalog({"archive", "events", "--result", "fail", "--format", "csv"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::vector<std::string>> rows = CsvRows(r.out);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1],
              (std::vector<std::string>{"2026-12-01 08:01:00", "bad, really", "", "bump", "1", "CO",
                                        "FAIL", "500", "ppm", "Ode", "NW-2", "3"}));
    EXPECT_EQ(CsvRows(Datalog({"archive", "events", "--kind", "calibration", "--user", "LEE",
                               "--format", "csv"})
                          .out)
                  .size(),
              3u);
    const RunResult toFile =
        Datalog({"archive", "events", "--from", "2026-12-01", "--to", "2026-12-01", "--job", "nw-2",
                 "--format", "csv", "-o", "events.csv"});
    EXPECT_EQ(toFile.status, 0) << toFile.err;
    EXPECT_EQ(toFile.out, "");
    EXPECT_EQ(CsvRows(testsupport::ReadFile(m_dir.File("events.csv"))).size(), 2u);
}

// A calibration or field calibration of the record version without results holds two numbers
// whose scale it never states: they are listed as the report prints them, with no unit, in every
// format. A value whose scale the record states keeps its unit.
TEST_F(ComplianceCliTest, EventValuesHaveAUnitOnlyWhereTheRecordStatesTheirScale) {
    {
        archive::SessionArchive store;
        ASSERT_TRUE(store.Open(QString::fromStdString(m_dir.File("a.sqlite"))));
        ASSERT_GT(
            compliancetest::ImportSessions(store, "raw", {{MorningOf(2), "c0 F3 C0+ B4+ Z3+"}}), 0);
    }
    struct Expected {
        const char* kind;
        const char* value;
        const char* unit;
    };
    const Expected expected[] = {
        {"calibration", "500 / 498", ""},
        {"field-calibration", "209 / 208", ""},
        {"calibration", "50.0 / 49.8", "% LEL"},
        {"bump", "500", "ppm"},
        {"zero", "0.0 / 0.1", "%"},
    };
    const RunResult csv = Datalog({"archive", "events", "--instrument", "raw", "--format", "csv"});
    ASSERT_EQ(csv.status, 0) << csv.err;
    const std::vector<std::vector<std::string>> rows = CsvRows(csv.out);
    const RunResult json =
        Datalog({"archive", "events", "--instrument", "raw", "--format", "json"});
    ASSERT_EQ(json.status, 0) << json.err;
    const QJsonArray objects = QJsonDocument::fromJson(QByteArray::fromStdString(json.out)).array();
    ASSERT_EQ(rows.size(), std::size(expected) + 1);
    ASSERT_EQ(objects.size(), static_cast<int>(std::size(expected)));
    for (size_t k = 0; k < std::size(expected); ++k) {
        SCOPED_TRACE(testing::Message() << expected[k].kind << " " << expected[k].value);
        EXPECT_EQ(rows[k + 1].at(3), expected[k].kind);
        EXPECT_EQ(rows[k + 1].at(7), expected[k].value);
        EXPECT_EQ(rows[k + 1].at(8), expected[k].unit);
        const QJsonObject object = objects[static_cast<int>(k)].toObject();
        EXPECT_EQ(object["value"].toString().toStdString(), expected[k].value);
        EXPECT_EQ(object["unit"].toString().toStdString(), expected[k].unit);
    }
}

// An instrument with four sensors whose tests list some of them (a calibration of two, a bump
// test that leaves one out): each event of a sensor says what the export's CSV says of it on the
// row of its record, under the same number, in the same words, with the same value; a sensor not
// tested has no value in either, never a measured 0.
TEST_F(ComplianceCliTest, EventsTellEachTestedSensorAsTheExportDoes) {
    sim::LogMemory memory;
    memory.Generate(sim::MemoryOptions());
    std::string error;
    ASSERT_TRUE(memory.WriteDump(m_dir.File("FlashData.txt"), error)) << error;
    RunResult r = Datalog({"archive", "import", "--instrument", "unit 7", "FlashData.txt"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = Datalog({"archive", "events", "--instrument", "unit 7", "--format", "csv"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::map<std::string, std::string> kinds = {{"bump", "bump test"},
                                                      {"calibration", "calibration"},
                                                      {"zero", "zero"},
                                                      {"field-calibration", "field calibration"}};
    // By session, record time and kind: each sensor as "number gas result value unit".
    using Told = std::map<std::string, std::vector<std::string>>;
    Told events;
    std::vector<std::string> sessions;
    for (const std::vector<std::string>& e : CsvRows(r.out)) {
        if (e.size() != 12 || kinds.count(e[3]) == 0) {
            continue; // the heading, and the instrument's own checks
        }
        std::string time = e[0];
        time[10] = 'T';
        events[e[11] + " " + time + " " + kinds.at(e[3])].push_back(e[4] + " " + e[5] + " " + e[6] +
                                                                    " " + e[7] + " " + e[8]);
        if (std::find(sessions.begin(), sessions.end(), e[11]) == sessions.end()) {
            sessions.push_back(e[11]);
        }
    }
    ASSERT_GE(sessions.size(), 2u) << r.out;
    Told exported;
    for (const std::string& id : sessions) {
        r = Datalog({"archive", "export", "--format", "csv", id});
        ASSERT_EQ(r.status, 0) << r.err;
        const std::vector<std::vector<std::string>> rows = CsvRows(r.out);
        ASSERT_FALSE(rows.empty());
        const std::vector<std::string>& heading = rows[0];
        const auto column = [&heading](const std::string& name) {
            return static_cast<size_t>(std::find(heading.begin(), heading.end(), name) -
                                       heading.begin());
        };
        for (size_t k = 1; k < rows.size(); ++k) {
            const std::vector<std::string>& row = rows[k];
            for (int n = 1; column("sensor " + std::to_string(n) + " gas") < heading.size(); ++n) {
                const std::string sensor = "sensor " + std::to_string(n) + " ";
                const std::string& gas = row.at(column(sensor + "gas"));
                if (gas.empty()) {
                    continue;
                }
                // "CO (ppm)": the gas, and the unit its values are in.
                const size_t open = gas.find(" (");
                const std::string& value = row.at(column(sensor + "value"));
                const std::string& second = row.at(column(sensor + "second value"));
                const std::string unit = open == std::string::npos || value.empty()
                                             ? std::string()
                                             : gas.substr(open + 2, gas.size() - open - 3);
                exported[id + " " + row.at(0) + " " + row.at(column("kind"))].push_back(
                    std::to_string(n) + " " + gas.substr(0, open) + " " +
                    row.at(column(sensor + "result")) + " " +
                    (second.empty() ? value : value + " / " + second) + " " + unit);
            }
        }
    }
    EXPECT_EQ(events, exported);
    // The walk's own case: a calibration session's sensors are 1 to 4, its H2S never tested.
    const std::string lastH2s = "4 H2S Not Tested  ";
    bool notTested = false;
    for (const auto& record : events) {
        for (const std::string& sensor : record.second) {
            notTested = notTested || sensor == lastH2s;
        }
    }
    EXPECT_TRUE(notTested) << r.out;
}

TEST_F(ComplianceCliTest, PackReadsBack) {
    const RunResult r = Datalog(
        {"archive", "compliance", "--at", "2026-12-01", "--format", "pdf", "-o", "pack.pdf"});
    EXPECT_EQ(r.status, 3) << r.err;
    const std::string text =
        Tool("pdftotext", {QString::fromStdString(m_dir.File("pack.pdf")), "-"}).toStdString();
    ASSERT_FALSE(text.empty());
    for (const char* expected :
         {"Instrument compliance report", "Status at the end of 2026-12-01",
          "2 instruments: 1 failed, 0 overdue, 0 due, 1 ok",
          "Verification of the archive: Verified: ", "FAILED", "NO PASS SINCE", "Page 1 of 3",
          "Page 3 of 3", "bump test every day", "Firmware: not reported", "0..1000 PPM CO"}) {
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
    }
    // The failed instrument's page comes before the good one's.
    EXPECT_LT(text.find("bad, really\nSerial"), text.find("good\nSerial"));
    // Its sensor table numbers the sensor as the text and CSV do, on the row of its range.
    const QString page =
        QString::fromUtf8(Tool("pdftotext", {"-layout", "-f", "2", "-l", "2",
                                             QString::fromStdString(m_dir.File("pack.pdf")), "-"}));
    EXPECT_TRUE(page.contains(QRegularExpression("\n *1 +0\\.\\.1000 PPM CO +CO +2026-12-01")))
        << page.toStdString();

    // When it was made is said in UTC, as the history's times are, wherever it is made.
    const QDateTime before = QDateTime::currentDateTimeUtc();
    const RunResult east = RunProgram(
        "tavon-datalog",
        {"archive", "compliance", "--archive", m_dir.File("a.sqlite"), "--format", "pdf", "-o",
         "east.pdf"},
        m_dir.Path(), 120, {"TZ=America/New_York", "LC_ALL=C", "QT_QPA_PLATFORM=offscreen"});
    const QDateTime after = QDateTime::currentDateTimeUtc();
    EXPECT_EQ(east.status, 3) << east.err;
    const QString eastText =
        QString::fromUtf8(Tool("pdftotext", {QString::fromStdString(m_dir.File("east.pdf")), "-"}));
    const QRegularExpressionMatch made =
        QRegularExpression("Made: (\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d) UTC\n").match(eastText);
    ASSERT_TRUE(made.hasMatch()) << eastText.toStdString();
    const QDateTime madeAt(QDate::fromString(made.captured(1).left(10), "yyyy-MM-dd"),
                           QTime::fromString(made.captured(1).mid(11), "HH:mm"), QTimeZone::utc());
    EXPECT_GT(before.secsTo(madeAt), -60) << made.captured(1).toStdString();
    EXPECT_LE(madeAt, after) << made.captured(1).toStdString();

    // The pack pins the history: its head and signers as of its day, and the sign-offs of its
    // period.
    // As of a day before any row was written: no head and no signer yet.
    EXPECT_NE(text.find("History head: none (no history row was written by the end of 2026-12-01)"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("Signer: "), std::string::npos) << text;
    EXPECT_EQ(text.find("Sign-off, row "), std::string::npos) << text;
    // Signed off by a person's own key, made with its passphrase as the user would.
    const std::string signer = "XDG_CONFIG_HOME=" + m_dir.Path() + "/signer";
    testsupport::WriteFile(m_dir.File("pass"), "a passphrase\n");
    ASSERT_EQ(chmod(m_dir.File("pass").c_str(), 0600), 0);
    const RunResult key = RunProgram(
        "tavon-datalog",
        {"archive", "keys", "new", "--name", "Dr Jane QA", "--passphrase-file", m_dir.File("pass")},
        m_dir.Path(), 60, {signer});
    ASSERT_EQ(key.status, 0) << key.err;
    const std::string fingerprint = key.out.substr(key.out.find(" made: ") + 7, 39);
    const RunResult signedOff =
        RunProgram("tavon-datalog",
                   {"archive", "sign-off", "--archive", m_dir.File("a.sqlite"), "--meaning",
                    "approved", "--passphrase-file", m_dir.File("pass")},
                   m_dir.Path(), 120, {"TZ=UTC", "LC_ALL=C", signer});
    ASSERT_EQ(signedOff.status, 0) << signedOff.err;
    EXPECT_EQ(Datalog({"archive", "compliance", "--format", "pdf", "-o", "later.pdf"}).status, 3);
    const std::string later =
        Tool("pdftotext", {QString::fromStdString(m_dir.File("later.pdf")), "-"}).toStdString();
    // The head as verify --head takes it, as archive head gives it.
    const RunResult head = Datalog({"archive", "head"});
    ASSERT_EQ(head.status, 0) << head.err;
    const std::string pin =
        QString::fromStdString(head.out).trimmed().replace(' ', ':').toStdString();
    EXPECT_NE(later.find("History head (archive verify --head): " + pin + "\n"), std::string::npos)
        << later << pin;
    EXPECT_NE(later.find("Signer: "), std::string::npos) << later;
    EXPECT_NE(later.find("Sign-off, row "), std::string::npos) << later;
    // A long line wraps where the page ends.
    const std::string flat = QString::fromStdString(later).simplified().toStdString();
    EXPECT_NE(flat.find(" UTC, \"Dr Jane QA\" (key " + fingerprint +
                        "): signed off as \"approved\": every instrument"),
              std::string::npos)
        << later;
}

compliancetest::SessionSpec Undated(uint32_t at, const std::string& tests) {
    compliancetest::SessionSpec spec(at, tests);
    spec.undated = true;
    return spec;
}

// An instrument's page counts the same sessions under "Sessions" and "Alarms per gas": those
// switched on by the pack's day, and the undated ones, whose day cannot be told.
TEST_F(ComplianceCliTest, PackCountsTheSameSessionsForSessionsAndAlarms) {
    const struct {
        const char* name;
        std::vector<compliancetest::SessionSpec> sessions;
        int counted;  // "Sessions: N"
        int alarmsCo; // "CO N" under "Alarms per gas"
    } cases[] = {
        {"dated only", {{MorningOf(-1), "A4"}, {MorningOf(0), "B4+"}}, 2, 1},
        {"an undated one with an alarm",
         {{MorningOf(-1), "A4"}, Undated(MorningOf(-2), "A4")},
         2,
         2},
        {"one after the pack's day", {{MorningOf(-1), "A4"}, {MorningOf(3), "A4 B4+"}}, 1, 1},
    };
    int number = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string archiveFile =
            m_dir.File("alarms-" + std::to_string(++number) + ".sqlite");
        {
            archive::SessionArchive store;
            ASSERT_TRUE(store.Open(QString::fromStdString(archiveFile)));
            ASSERT_GT(compliancetest::ImportSessions(store, "unit", c.sessions), 0);
        }
        const RunResult r = RunProgram("tavon-datalog",
                                       {"archive", "compliance", "--archive", archiveFile, "--at",
                                        "2026-12-01", "--format", "pdf", "-o", "alarms.pdf"},
                                       m_dir.Path(), 120, kEnvironment);
        ASSERT_TRUE(r.status == 0 || r.status == 3) << r.err;
        const QString page = QString::fromUtf8(
            Tool("pdftotext", {"-layout", "-f", "2", "-l", "2",
                               QString::fromStdString(m_dir.File("alarms.pdf")), "-"}));
        const QRegularExpressionMatch sessions = QRegularExpression("Sessions: (\\d+)").match(page);
        ASSERT_TRUE(sessions.hasMatch()) << page.toStdString();
        EXPECT_EQ(sessions.captured(1).toInt(), c.counted) << page.toStdString();
        const QRegularExpressionMatch alarms =
            QRegularExpression("Alarms per gas\\s.*?\\n\\s*CO\\s+(\\d+)\\s*\\n",
                               QRegularExpression::DotMatchesEverythingOption)
                .match(page);
        ASSERT_TRUE(alarms.hasMatch()) << page.toStdString();
        EXPECT_EQ(alarms.captured(1).toInt(), c.alarmsCo) << page.toStdString();
    }
}

// The pack gives verify's verdict with the trusted keys applied, as verify gives it.
TEST_F(ComplianceCliTest, PackGivesVerifysVerdictWithTheTrustedKeys) {
    testsupport::WriteFile(m_dir.File("others"),
                           "# a key that signed nothing here\n" + std::string(32, 'a') + "\n");
    const struct {
        std::vector<std::string> trust;
        int verified;
        const char* line; // verify's last line, and the pack's verification
    } runs[] = {
        {{}, 0, "no mismatch; signatures checked for consistency only: no trusted keys are set"},
        {{"--trusted-keys", m_dir.File("others")}, 1, "Verification failed: 1 mismatch in "},
    };
    for (const auto& run : runs) {
        std::vector<std::string> args = {"archive", "compliance", "--format",
                                         "pdf",     "-o",         "trust.pdf"};
        args.insert(args.end(), run.trust.begin(), run.trust.end());
        EXPECT_EQ(Datalog(args).status, 3);
        const QString text =
            QString::fromUtf8(
                Tool("pdftotext", {QString::fromStdString(m_dir.File("trust.pdf")), "-"}))
                .replace('\n', ' ');
        EXPECT_TRUE(text.contains(run.line)) << text.toStdString();
        std::vector<std::string> verify = {"archive", "verify"};
        verify.insert(verify.end(), run.trust.begin(), run.trust.end());
        const RunResult verified = Datalog(verify);
        EXPECT_EQ(verified.status, run.verified) << verified.out;
        EXPECT_NE(verified.out.find(run.line), std::string::npos) << verified.out;
    }
    const RunResult csv =
        Datalog({"archive", "compliance", "--trusted-keys", m_dir.File("others")});
    EXPECT_EQ(csv.status, 2);
    EXPECT_NE(csv.err.find("--trusted-keys goes with --format pdf"), std::string::npos) << csv.err;
}

TEST_F(ComplianceCliTest, BadArgumentsAndUnreadableArchive) {
    const std::vector<std::vector<std::string>> bad = {
        {"archive", "compliance", "--at", "2026-02-30"},
        {"archive", "compliance", "--format", "xml"},
        {"archive", "compliance", "--format", "pdf"},
        {"archive", "compliance", "--instrument", "nobody"},
        {"archive", "compliance", "extra"},
        {"archive", "events", "--kind", "bump,coffee"},
        {"archive", "events", "--result", "maybe"},
        {"archive", "set-interval"},
        {"archive", "set-interval", "--bump-days", "0"},
        {"archive", "set-interval", "--cal-days", "x"},
    };
    for (const std::vector<std::string>& args : bad) {
        const RunResult r = Datalog(args);
        EXPECT_EQ(r.status, 2) << args[1] << " " << args.back() << ": " << r.err;
        EXPECT_NE(r.err.find("tavon-datalog"), std::string::npos);
    }
    testsupport::WriteFile(m_dir.File("junk.sqlite"), std::string(4096, 'x'));
    const RunResult r = RunProgram(
        "tavon-datalog", {"archive", "compliance", "--archive", m_dir.File("junk.sqlite")},
        m_dir.Path(), 60, kEnvironment);
    EXPECT_EQ(r.status, 6) << r.err;
    const RunResult help = RunProgram("tavon-datalog", {"archive", "compliance", "--help"},
                                      m_dir.Path(), 60, kEnvironment);
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: tavon-datalog archive compliance [--at YYYY-MM-DD]"),
              std::string::npos)
        << help.out;
}

// One register answer in every output: a failed calibration between field calibrations, an
// instrument whose filter check keeps failing, and one whose archive holds no test yet.
class RegisterViewsTest : public ComplianceCliTest {
protected:
    void SetUp() override {
        ComplianceCliTest::SetUp();
        archive::SessionArchive store;
        ASSERT_TRUE(store.Open(QString::fromStdString(m_dir.File("b.sqlite"))));
        ASSERT_GT(compliancetest::ImportSessions(store, "o2 unit",
                                                 {{MorningOf(-3), "C3+ B3+"},
                                                  {MorningOf(-2), "B3+ C3- F3"},
                                                  {MorningOf(-1), "B3+ C3- F3"},
                                                  {MorningOf(0), "B3+ C3-"}},
                                                 "TAV-41200678388"),
                  0);
        ASSERT_GT(compliancetest::ImportSessions(store, "filter unit",
                                                 {{MorningOf(-3), "C4+ B4+ K-"},
                                                  {MorningOf(-2), "K-"},
                                                  {MorningOf(-1), "K-"},
                                                  {MorningOf(0), "B4+ K-"}},
                                                 "TAV-41200678399"),
                  0);
        ASSERT_GT(compliancetest::ImportSessions(store, "quiet", {{MorningOf(0), "Z4+"}}), 0);
    }

    RunResult Register(std::vector<std::string> args) {
        args.insert(args.begin(), {"archive", "compliance", "--archive", m_dir.File("b.sqlite"),
                                   "--at", "2026-12-01"});
        return RunProgram("tavon-datalog", args, m_dir.Path(), 120, kEnvironment);
    }
};

TEST_F(RegisterViewsTest, CsvRowsFollowTheRegistersRules) {
    const RunResult r = Register({"--format", "csv"});
    EXPECT_EQ(r.status, 3) << r.err; // needs attention
    const std::vector<std::vector<std::string>> expected = {
        {"instrument", "serial", "instrument_status", "sensor", "range", "gas", "last_bump",
         "last_bump_result", "last_calibration", "last_calibration_result", "bump_due",
         "calibration_due", "status", "used_while_overdue", "failures_since_pass"},
        {"filter unit", "TAV-41200678399", "failed", "1", "0..1000 PPM CO", "CO",
         "2026-12-01 08:01:00", "PASS", "2026-11-28 08:01:00", "PASS", "2026-12-02", "2027-05-27",
         "ok", "2", "0"},
        // The failed calibration is due on the day it failed, whatever was made before it.
        {"o2 unit", "TAV-41200678388", "failed", "1", "0..25 % O2", "O2", "2026-12-01 08:01:00",
         "PASS", "2026-12-01 08:02:00", "FAIL", "2026-12-02", "2026-12-01", "failed", "1", "1"},
        {"quiet", "", "no tests archived yet", "1", "0..1000 PPM CO", "CO", "", "", "", "", "", "",
         "no tests archived yet", "0", "0"},
    };
    EXPECT_EQ(CsvRows(r.out), expected);
    const RunResult json = Register({"--format", "json", "--instrument", "o2 unit"});
    const QJsonArray rows = QJsonDocument::fromJson(QByteArray::fromStdString(json.out)).array();
    ASSERT_EQ(rows.size(), 1) << json.out;
    EXPECT_EQ(rows[0].toObject()["range"].toString(), "0..25 % O2");
    EXPECT_EQ(rows[0].toObject()["calibration_due"].toString(), "2026-12-01");
    EXPECT_EQ(Register({"--instrument", "quiet"}).status, 0);
}

TEST_F(RegisterViewsTest, PackSaysWhatFollowedAndWhichCheckFailed) {
    const RunResult r = Register({"--format", "pdf", "-o", "pack.pdf"});
    EXPECT_EQ(r.status, 3) << r.err;
    const std::string text =
        Tool("pdftotext", {QString::fromStdString(m_dir.File("pack.pdf")), "-"}).toStdString();
    for (const char* expected :
         {"3 instruments: 2 failed, 0 overdue, 0 due, 0 ok, 1 with no tests archived yet",
          "Filter check failed on 2026-12-01", "Calibration of O2 failed on 2026-12-01",
          "field-calibration made 2026-11-29 08:03:00", "no tests archived yet"}) {
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
    }
    // The last failed calibration and the four filter checks: nothing made since.
    size_t none = 0;
    for (size_t at = text.find("NO PASS SINCE"); at != std::string::npos;
         at = text.find("NO PASS SINCE", at + 1)) {
        ++none;
    }
    EXPECT_EQ(none, 5u) << text;
    EXPECT_EQ(text.find("2027-05-2"), text.find("2027-05-27")) << text; // no due day after failing
}

// Each word's box as pdftotext sees it on the first page: the summary's serial numbers end
// before the status column begins.
TEST_F(RegisterViewsTest, PackColumnsHoldTheirLongestText) {
    const RunResult r = Register({"--format", "pdf", "-o", "pack.pdf"});
    ASSERT_TRUE(QFileInfo::exists(QString::fromStdString(m_dir.File("pack.pdf")))) << r.err;
    const QString boxes =
        QString::fromUtf8(Tool("pdftotext", {"-bbox", "-f", "1", "-l", "1",
                                             QString::fromStdString(m_dir.File("pack.pdf")), "-"}));
    const QRegularExpression word("<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" "
                                  "xMax=\"([0-9.]+)\"[^>]*>([^<]*)</word>");
    // The summary table's heading row: "Serial", then "Status" on the same line.
    double headingTop = -1;
    double statusLeft = -1;
    std::vector<double> serialRights;
    for (auto it = word.globalMatch(boxes); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QString text = m.captured(4);
        if (text == "Serial" && headingTop < 0) {
            headingTop = m.captured(2).toDouble();
        } else if (text == "Status" && m.captured(2).toDouble() == headingTop) {
            statusLeft = m.captured(1).toDouble();
        } else if (text.startsWith("TAV-")) {
            serialRights.push_back(m.captured(3).toDouble());
        }
    }
    ASSERT_GT(statusLeft, 0) << boxes.toStdString();
    ASSERT_EQ(serialRights.size(), 2u) << boxes.toStdString();
    for (double right : serialRights) {
        EXPECT_LT(right, statusLeft);
    }
}

TEST_F(RegisterViewsTest, OutputThatCannotBeWrittenIsOneWithoutPainterWarnings) {
    for (const char* format : {"pdf", "csv"}) {
        const RunResult r = Register({"--format", format, "-o", m_dir.File("missing/pack.out")});
        EXPECT_EQ(r.status, 1) << format << ": " << r.err;
        EXPECT_EQ(r.err.find("QPainter"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
    }
}

} // namespace

// Qt SQL loads its drivers through the application object.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
