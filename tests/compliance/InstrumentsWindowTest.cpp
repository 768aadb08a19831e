// View > Instruments... offscreen: one row per instrument with its status in words, the filter,
// an instrument's events, its own intervals and the compliance pack of the rows shown, with the
// archive's verification judged by the trusted keys.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QProcess>
#include <QTableWidget>
#include <sys/stat.h>

#include "ComplianceFixture.h"
#include "compliance/CivilDay.h"
#include "gui/ArchiveDialog.h"
#include "gui/InstrumentsWindow.h"
#include "gui/StatusLine.h"
#include "testsupport/EnvGuard.h"
#include "testsupport/Files.h"
#include "testsupport/Processes.h"
#include "testsupport/TempDir.h"

namespace {

using compliancetest::MorningOf;

class InstrumentsWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.Ok());
        m_location = QString::fromStdString(m_dir.File("a.sqlite"));
        archive::SessionArchive store;
        ASSERT_TRUE(store.Open(m_location));
        ASSERT_GT(compliancetest::ImportSessions(store, "good", {{MorningOf(0), "C4+ B4+"}}), 0);
        ASSERT_GT(compliancetest::ImportSessions(
                      store, "bad", {{MorningOf(-1), "C4+ B4+"}, {MorningOf(0), "B4-"}}),
                  0);
        archive::InstrumentIdentity reported = archive::NamedInstrument("good");
        reported.firmwareVersion = "4.12.0003";
        ASSERT_GT(store.Instrument(reported, "good"), 0);
    }

    // The texts of one column, row by row.
    static QStringList Column(QTableWidget* table, int column) {
        QStringList texts;
        for (int row = 0; row < table->rowCount(); ++row) {
            texts << table->item(row, column)->text();
        }
        return texts;
    }

    testsupport::TempDir m_dir{"tavon-instruments-window-"};
    QString m_location;
};

TEST_F(InstrumentsWindowTest, RowsFilterHistoryIntervalsAndPack) {
    InstrumentsWindow window(m_location);
    window.SetDay(compliance::DayOfStamp(MorningOf(0)));
    ASSERT_TRUE(window.Open());
    QTableWidget* table = window.Table();
    EXPECT_EQ(Column(table, 0), (QStringList{"bad", "good"}));
    // The status in words, whatever the colour behind it.
    EXPECT_EQ(Column(table, 2), (QStringList{"", "4.12.0003"}));
    EXPECT_EQ(Column(table, 3), (QStringList{"Failed", "Ok"}));
    EXPECT_EQ(table->item(0, 3)->toolTip(), "Bump test of CO failed on 2026-12-01");
    EXPECT_EQ(Column(table, 4), (QStringList{"CO: bump 2026-12-01, calibration 2027-05-29",
                                             "CO: bump 2026-12-02, calibration 2027-05-30"}));
    EXPECT_EQ(table->item(0, 4)->toolTip(),
              "CO: 0..1000 PPM CO; status failed; failures since pass: 1");
    EXPECT_EQ(window.Summary()->text(), "2 instruments, 1 overdue or failed");

    window.AttentionOnly()->setChecked(true);
    EXPECT_EQ(Column(table, 0), (QStringList{"bad"}));
    QDialog* history = window.OpenHistory(0);
    ASSERT_NE(history, nullptr);
    QTableWidget* events = history->findChild<QTableWidget*>("eventTable");
    ASSERT_NE(events, nullptr);
    EXPECT_EQ(Column(events, 1), (QStringList{"calibration", "bump", "bump"}));
    // Numbered as the sensor table above numbers it, as `archive events` does, its gas beside.
    EXPECT_EQ(Column(events, 2), (QStringList{"1", "1", "1"}));
    EXPECT_EQ(Column(events, 3), (QStringList{"CO", "CO", "CO"}));
    EXPECT_EQ(Column(events, 4), (QStringList{"PASS", "PASS", "FAIL"}));
    window.AttentionOnly()->setChecked(false);

    // Its own bump interval of a week: still failed; good's calibration every 10 days is due.
    ASSERT_TRUE(window.SetIntervals(1, 7, 10, 14));
    EXPECT_EQ(Column(table, 3), (QStringList{"Failed", "Due"}));
    EXPECT_EQ(table->item(1, 4)->text(), "CO: bump 2026-12-08, calibration 2026-12-11");

    // Intervals set from elsewhere while the window is open: the pack, which names the history's
    // head of now, gives the register of now.
    const testsupport::RunResult set =
        testsupport::RunProgram("tavon-datalog",
                                {"archive", "set-interval", "--archive", m_location, "--instrument",
                                 "good", "--cal-days", "90"},
                                m_dir.Path(), 120, {"TZ=UTC", "LC_ALL=C"});
    ASSERT_EQ(set.status, 0) << set.err;
    const QString pack = QString::fromStdString(m_dir.File("pack.pdf"));
    EXPECT_EQ(window.SavePack(pack), QString());
    QProcess text;
    text.start("pdftotext", {pack, "-"});
    ASSERT_TRUE(text.waitForFinished(60000));
    EXPECT_TRUE(
        QString::fromUtf8(text.readAllStandardOutput()).contains("calibration every 90 days"));
}

// Intervals... set and the table filled again, its columns still reach across it; the pack saved
// says where, on the window's status line.
TEST_F(InstrumentsWindowTest, TheTableStaysWholeAfterIntervalsAndTheSavedPackIsTold) {
    InstrumentsWindow window(m_location);
    window.SetDay(compliance::DayOfStamp(MorningOf(0)));
    ASSERT_TRUE(window.Open());
    window.show();
    QApplication::processEvents();
    QTableWidget* table = window.Table();
    const auto band = [table] {
        return table->viewport()->width() - table->horizontalHeader()->length();
    };
    EXPECT_LE(band(), 0);
    ASSERT_TRUE(window.SetIntervals(1, 7, 10, 14));
    QApplication::processEvents();
    EXPECT_LE(band(), 0) << "an empty band right of the columns";
    window.AttentionOnly()->setChecked(true);
    QApplication::processEvents();
    EXPECT_LE(band(), 0);

    auto* status = window.findChild<QLabel*>("instrumentsStatus");
    ASSERT_NE(status, nullptr);
    const QString pack = QString::fromStdString(m_dir.File("pack.pdf"));
    EXPECT_TRUE(window.SaveReportTo(pack));
    EXPECT_EQ(status->toolTip().toStdString(),
              ("Saved the compliance report of 1 instrument to " + QDir::toNativeSeparators(pack))
                  .toStdString());
    EXPECT_GT(QFileInfo(pack).size(), 1000);
}

// The window's pack gives verify's verdict with the trusted keys applied, as the command line's
// does; a list others may write is refused, and no pack is written.
TEST_F(InstrumentsWindowTest, ThePackJudgesTheSignersAsVerifyDoes) {
    const testsupport::EnvGuard user("XDG_CONFIG_HOME", m_dir.Path() + "/config");
    const std::string list = m_dir.File("system-keys");
    const testsupport::EnvGuard system("TAVON_SYSTEM_TRUSTED_KEYS", list);
    InstrumentsWindow window(m_location);
    window.SetDay(compliance::DayOfStamp(MorningOf(0)));
    ASSERT_TRUE(window.Open());
    const QString pack = QString::fromStdString(m_dir.File("trust.pdf"));
    const struct {
        const char* list; // the system-wide list; nullptr: none
        mode_t mode;
        const char* said; // in the pack, or the window's message when it writes none
    } cases[] = {
        {nullptr, 0644,
         "no mismatch; signatures checked for consistency only: no trusted keys are set"},
        {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\n", 0644, "Verification failed: 1 mismatch in "},
        {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\n", 0666, "may be written by other users (mode 0666)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.said);
        QFile::remove(pack);
        QFile::remove(QString::fromStdString(list));
        if (c.list != nullptr) {
            ASSERT_TRUE(testsupport::WriteFile(list, c.list));
            ASSERT_EQ(chmod(list.c_str(), c.mode), 0);
        }
        const QString error = window.SavePack(pack);
        if (c.mode != 0644) {
            EXPECT_TRUE(error.contains(c.said)) << error.toStdString();
            EXPECT_FALSE(QFileInfo::exists(pack));
            continue;
        }
        ASSERT_EQ(error, QString());
        QProcess text;
        text.start("pdftotext", {pack, "-"});
        ASSERT_TRUE(text.waitForFinished(60000));
        const QString read = QString::fromUtf8(text.readAllStandardOutput()).replace('\n', ' ');
        EXPECT_TRUE(read.contains(c.said)) << read.toStdString();
    }
}

// The pack names its archive one way whoever makes it: the window, or the command line given the
// archive by a name relative to where it runs or by its whole path.
TEST_F(InstrumentsWindowTest, EveryPackNamesTheArchiveAlike) {
    const auto archiveLine = [](const std::string& pdf) {
        QProcess text;
        text.start("pdftotext", {QString::fromStdString(pdf), "-"});
        EXPECT_TRUE(text.waitForFinished(60000));
        const QString read = QString::fromUtf8(text.readAllStandardOutput());
        const qsizetype at = read.indexOf("Archive: ");
        return at < 0 ? read : read.mid(at, read.indexOf('\n', at) - at);
    };
    const QString named = "Archive: " + QFileInfo(m_location).absoluteFilePath();
    InstrumentsWindow window(m_location);
    ASSERT_TRUE(window.Open());
    ASSERT_EQ(window.SavePack(QString::fromStdString(m_dir.File("window.pdf"))), QString());
    EXPECT_EQ(archiveLine(m_dir.File("window.pdf")), named);
    for (const std::string& given : {std::string("a.sqlite"), m_location.toStdString()}) {
        SCOPED_TRACE(given);
        const testsupport::RunResult made = testsupport::RunProgram(
            "tavon-datalog",
            {"archive", "compliance", "--archive", given, "--format", "pdf", "-o", "cli.pdf"},
            m_dir.Path(), 120, {"TZ=UTC", "LC_ALL=C", "QT_QPA_PLATFORM=offscreen"});
        EXPECT_EQ(made.status, 3) << made.err;
        EXPECT_EQ(archiveLine(m_dir.File("cli.pdf")), named);
    }
}

// The window shows the register's answer: the failed calibration due on the day it failed, the
// failed filter check named with its day, and an instrument of which no test is archived yet.
TEST_F(InstrumentsWindowTest, RowsFollowTheRegistersRules) {
    const QString location = QString::fromStdString(m_dir.File("b.sqlite"));
    {
        archive::SessionArchive store;
        ASSERT_TRUE(store.Open(location));
        ASSERT_GT(compliancetest::ImportSessions(store, "o2 unit",
                                                 {{MorningOf(-3), "C3+ B3+"},
                                                  {MorningOf(-1), "B3+ C3- F3"},
                                                  {MorningOf(0), "B3+ C3-"}}),
                  0);
        ASSERT_GT(compliancetest::ImportSessions(
                      store, "filter unit", {{MorningOf(-1), "C4+ B4+ K-"}, {MorningOf(0), "B4+"}}),
                  0);
        ASSERT_GT(compliancetest::ImportSessions(store, "quiet", {{MorningOf(0), "Z4+"}}), 0);
    }
    InstrumentsWindow window(location);
    window.SetDay(compliance::DayOfStamp(MorningOf(0)));
    ASSERT_TRUE(window.Open());
    QTableWidget* table = window.Table();
    EXPECT_EQ(Column(table, 0), (QStringList{"filter unit", "o2 unit", "quiet"}));
    EXPECT_EQ(Column(table, 3), (QStringList{"Failed", "Failed", "No tests archived yet"}));
    EXPECT_EQ(table->item(0, 3)->toolTip(), "Filter check failed on 2026-11-30");
    EXPECT_EQ(Column(table, 4), (QStringList{"Filter check failed on 2026-11-30\n"
                                             "CO: bump 2026-12-02, calibration 2027-05-29",
                                             "O2: bump 2026-12-02, calibration 2026-12-01",
                                             "no tests archived yet"}));
    EXPECT_EQ(window.Summary()->text(), "3 instruments, 2 overdue or failed");

    // Each sensor's status and failures since its last pass, in the row's tooltip and in the
    // instrument's own view, as the pack's sensor table has them.
    EXPECT_EQ(table->item(1, 4)->toolTip(),
              "O2: 0..25 % O2; status failed; failures since pass: 1");
    QDialog* history = window.OpenHistory(1);
    ASSERT_NE(history, nullptr);
    QTableWidget* sensors = history->findChild<QTableWidget*>("sensorTable");
    ASSERT_NE(sensors, nullptr);
    ASSERT_EQ(sensors->rowCount(), 1);
    QStringList row;
    for (int c = 0; c < sensors->columnCount(); ++c) {
        row << sensors->horizontalHeaderItem(c)->text() + "=" + sensors->item(0, c)->text();
    }
    EXPECT_EQ(row, (QStringList{"Sensor=1", "Gas=O2", "Status=Failed", "Failures since pass=1"}));
}

// An instrument's events give a value its unit where the record states the value's scale, and
// none where it holds two numbers of a scale it never states, as the report prints them.
TEST_F(InstrumentsWindowTest, EventValuesHaveAUnitOnlyWhereTheRecordStatesTheirScale) {
    const QString location = QString::fromStdString(m_dir.File("c.sqlite"));
    {
        archive::SessionArchive store;
        ASSERT_TRUE(store.Open(location));
        ASSERT_GT(compliancetest::ImportSessions(store, "raw", {{MorningOf(0), "c0 F3 C0+ B4+"}}),
                  0);
    }
    InstrumentsWindow window(location);
    window.SetDay(compliance::DayOfStamp(MorningOf(0)));
    ASSERT_TRUE(window.Open());
    QDialog* history = window.OpenHistory(0);
    ASSERT_NE(history, nullptr);
    QTableWidget* events = history->findChild<QTableWidget*>("eventTable");
    ASSERT_NE(events, nullptr);
    EXPECT_EQ(Column(events, 1),
              (QStringList{"calibration", "field-calibration", "calibration", "bump"}));
    EXPECT_EQ(Column(events, 4),
              (QStringList{"500 / 498", "209 / 208", "50.0 / 49.8 % LEL", "500 ppm"}));
}

TEST_F(InstrumentsWindowTest, StatusLineTellsWhatTheInstrumentNeeds) {
    StatusLine line;
    line.SetServiceNote(
        {"Calibration of CO overdue since 2026-11-02", "Bump test of CO never done"});
    EXPECT_EQ(line.ServiceNote(), "Calibration of CO overdue since 2026-11-02 (and 1 more)");
    line.SetServiceNote({});
    EXPECT_EQ(line.ServiceNote(), "");
}

TEST_F(InstrumentsWindowTest, OpensFromTheArchiveWindow) {
    ArchiveDialog archive(m_location);
    ASSERT_TRUE(archive.Open());
    QDialog* window = archive.OpenInstruments();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->findChild<QTableWidget*>()->rowCount(), 2);
    window->close();
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
