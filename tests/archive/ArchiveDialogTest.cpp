// File > Open Archive...: the tree, the search, the report with and without Full Day, Save,
// Export... and the chart.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTextBlock>
#include <QTreeWidget>

#include "ArchiveFixture.h"
#include "PersonalKeys.h"
#include "archive/ArchiveHistory.h"
#include "archive/ArchiveReport.h"
#include "archive/DownloadArchive.h"
#include "archive/PersonalKey.h"
#include "charts/ChartText.h"
#include "charts/SessionChartPlot.h"
#include "charts/SessionChartSource.h"
#include "compliance/SwitchOnStatus.h"
#include "core/InstrumentFacts.h"
#include "core/SessionTable.h"
#include "export/SessionExport.h"
#include "export/SurveyExport.h"
#include "gui/ArchiveDialog.h"
#include "gui/ChartPanel.h"
#include "gui/MapPanel.h"
#include "gui/ProgramArchiving.h"
#include "gui/RtfView.h"
#include "gui/SignOffDialog.h"
#include "linkselect/Settings.h"
#include "orvtime/TimeFormat.h"
#include "testsupport/EnvGuard.h"
#include "testsupport/Files.h"
#include "testsupport/TempDir.h"

namespace {

class ArchiveDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.Ok());
        m_location = QString::fromStdString(m_dir.File("archive.sqlite"));
        ASSERT_TRUE(m_store.Open(m_location));
        std::unique_ptr<LogImage> image = archivetest::GeneratedImage(1);
        m_sessions = archive::CaptureSessions(*image, {});
        archive::StoreCounts counts;
        const qint64 unit = m_store.Instrument(archive::NamedInstrument("unit 7"), "unit 7");
        ASSERT_GT(m_store.ImportDump(unit, "test", archive::IndexBytes(*image), m_sessions, counts),
                  0);
    }

    std::string Render(const QVector<qint64>& ids) {
        std::unique_ptr<LogImage> image(new LogImage);
        std::unique_ptr<SessionTable> table(new SessionTable);
        ReportState state;
        EXPECT_TRUE(archive::RenderArchived(m_store, ids, *image, *table, state));
        return state.ReportText;
    }

    testsupport::ZoneGuard m_zone{"UTC"};
    testsupport::TempDir m_dir{"tavon-archive-dialog-"};
    QString m_location;
    archive::SessionArchive m_store;
    std::vector<archive::CapturedSession> m_sessions;
};

TEST_F(ArchiveDialogTest, TreeSearchReportFullDayAndSave) {
    ArchiveDialog dialog(m_location);
    ASSERT_TRUE(dialog.Open());
    int dated = 0;
    for (const archive::CapturedSession& s : m_sessions) {
        dated += s.dated ? 1 : 0;
    }
    EXPECT_EQ(dialog.Search(), dated);
    QTreeWidgetItem* month = dialog.Tree()->topLevelItem(0);
    ASSERT_NE(month, nullptr);
    EXPECT_EQ(month->text(0), "Aug 2026");
    QTreeWidgetItem* day = month->child(0);
    ASSERT_GE(day->childCount(), 2);
    EXPECT_EQ(day->text(0), "Monday 17");

    const QVector<archive::ListedSession> all = m_store.List(archive::ListFilter());
    dialog.Tree()->setCurrentItem(day->child(0));
    EXPECT_EQ(dialog.ReportText(), Render({all[0].id}));
    dialog.FullDay()->setChecked(true);
    dialog.ChooseSession(all[0].id);
    EXPECT_EQ(dialog.ReportText(), Render({all[0].id, all[1].id}));
    ASSERT_TRUE(dialog.SaveTo(QString::fromStdString(m_dir.File("day.rtf"))));
    EXPECT_EQ(testsupport::ReadFile(m_dir.File("day.rtf")), dialog.ReportText());
    // Export... and the chart take the same two sessions; Export... names their instrument as
    // `archive export` does.
    std::vector<SessionValues> values;
    std::unique_ptr<LogImage> image(new LogImage);
    ASSERT_TRUE(archive::DecodeArchived(m_store, {all[0].id, all[1].id}, *image, values));
    EXPECT_EQ(dialog.ExportTo(QString::fromStdString(m_dir.File("day.csv"))), QString());
    EXPECT_EQ(
        testsupport::ReadFile(m_dir.File("day.csv")),
        ExportSessions(values, ExportFormat::Csv, LogFilter(), {"unit 7", "unit 7"}).toStdString());
    dialog.Chart()->Finish();
    EXPECT_EQ(dialog.Chart()->Plot().Title(),
              charts::ChartTitle("Monday 17 ", "Aug 2026", charts::ChartOfValues(values, {})));
    // The map's survey record is `archive survey`'s, each session's register status with it.
    // Each session is named by its instrument, day and start, as the tree names it.
    compliance::SwitchOnStatus atSwitchOn(m_store);
    std::vector<SurveyHeading> headings;
    for (size_t i = 0; i < values.size(); ++i) {
        const archive::ListedSession& s = all[static_cast<int>(i)];
        headings.push_back(
            {{"unit 7", s.summary.day.toStdString(), s.summary.startTime.toStdString()},
             atSwitchOn.At(s.instrumentId, s.dated, s.stamp)});
    }
    ASSERT_FALSE(headings.front().RegisterStatus.empty());
    dialog.Map()->Finish();
    const QString record = dialog.Map()->findChild<QPlainTextEdit*>("mapSurvey")->toPlainText();
    EXPECT_EQ(record,
              QString::fromUtf8(WriteSurveys(SurveysOf(values, headings), SurveyFormat::Text)));
    EXPECT_TRUE(record.startsWith("unit 7, 2026-08-17 08:08:51 (slot 0)\n"))
        << record.toStdString();
    // Each record of the second session chosen on the map brings the report to its line.
    const auto* view = dialog.findChild<RtfView*>();
    ASSERT_NE(view, nullptr);
    size_t stamped = 0;
    for (size_t r = 0; r < values[1].Records.size(); ++r) {
        const RecordValue& record = values[1].Records[r];
        // A job number's line shows no time.
        if (!record.Stamped || record.Kind == RecordKind::JobNumber ||
            record.Kind == RecordKind::Unrecognised) {
            continue;
        }
        ++stamped;
        mapping::SceneRecord chosen;
        chosen.session = 1;
        chosen.record = static_cast<int32_t>(r);
        chosen.stamped = true;
        chosen.stamp = record.Stamp;
        emit dialog.Map()->placeChosen(chosen);
        EXPECT_TRUE(view->document()
                        ->findBlockByNumber(view->MarkedLine())
                        .text()
                        .contains(QString::fromStdString(FormatTime(record.Time, "%X"))))
            << r;
    }
    EXPECT_GT(stamped, 0u);

    dialog.JobField()->setText(all[0].summary.jobs.first().toLower());
    EXPECT_EQ(dialog.Search(), 1);
    dialog.JobField()->clear();
    dialog.AlarmsOnly()->setChecked(true);
    dialog.FromField()->setText("2026-09-01");
    archive::ListFilter filter;
    filter.alarmOnly = true;
    filter.from = "2026-09-01";
    EXPECT_EQ(dialog.Search(), m_store.List(filter).size());
    dialog.InstrumentField()->setText("unit 9");
    EXPECT_EQ(dialog.Search(), 0);
}

// A search that keeps the sessions shown keeps their report, Save and Export and their name; one
// that hides them clears all of it: nothing is shown, saved or exported that the tree does not
// list.
TEST_F(ArchiveDialogTest, ASearchThatHidesTheSessionShownClearsItsReportAndSave) {
    ArchiveDialog dialog(m_location);
    ASSERT_TRUE(dialog.Open());
    const QVector<archive::ListedSession> all = m_store.List(archive::ListFilter());
    dialog.ChooseSession(all[0].id);
    const std::string shown = dialog.ReportText();
    const QString name = dialog.SuggestedName();
    ASSERT_FALSE(name.isEmpty());
    auto* save = dialog.findChild<QPushButton*>("saveButton");
    auto* exporting = dialog.findChild<QPushButton*>("exportButton");
    ASSERT_NE(save, nullptr);
    ASSERT_NE(exporting, nullptr);
    const struct {
        QString from;
        bool kept;
    } cases[] = {{"2026-08-17", true}, {"2026-09-01", false}, {"", false}};
    for (const auto& c : cases) {
        dialog.FromField()->setText(c.from);
        dialog.Search();
        EXPECT_EQ(dialog.ReportText() == shown, c.kept) << c.from.toStdString();
        EXPECT_EQ(save->isEnabled(), c.kept) << c.from.toStdString();
        EXPECT_EQ(exporting->isEnabled(), c.kept) << c.from.toStdString();
        EXPECT_EQ(dialog.SuggestedName(), c.kept ? name : QString()) << c.from.toStdString();
        EXPECT_EQ(dialog.windowTitle(), c.kept ? "Archive - unit 7" : "Archive");
        EXPECT_EQ(dialog.Tree()->currentItem() != nullptr, c.kept);
    }
    EXPECT_TRUE(dialog.ReportText().empty());
    EXPECT_FALSE(dialog.Next());
}

TEST_F(ArchiveDialogTest, ADayAndItsNextAndChartStayWithTheChosenInstrument) {
    // A second instrument with sessions at the same times: the tree interleaves the two.
    std::unique_ptr<LogImage> image = archivetest::GeneratedImage(1);
    archive::StoreCounts counts;
    const qint64 other = m_store.Instrument(archive::NamedInstrument("unit/8"), "unit/8");
    ASSERT_GT(m_store.ImportDump(other, "test", archive::IndexBytes(*image), m_sessions, counts),
              0);
    QVector<qint64> seven;
    for (const archive::ListedSession& s : m_store.List(archive::ListFilter())) {
        if (s.dated && s.summary.day == "2026-08-17" && s.instrument == "unit 7") {
            seven << s.id;
        }
    }
    ASSERT_GE(seven.size(), 2);

    ArchiveDialog dialog(m_location);
    ASSERT_TRUE(dialog.Open());
    dialog.FullDay()->setChecked(true);
    dialog.ChooseSession(seven[0]);
    EXPECT_EQ(dialog.ReportText(), Render(seven));
    EXPECT_TRUE(dialog.windowTitle().contains("unit 7")) << dialog.windowTitle().toStdString();
    std::vector<SessionValues> values;
    std::unique_ptr<LogImage> decoded(new LogImage);
    ASSERT_TRUE(archive::DecodeArchived(m_store, seven, *decoded, values));
    dialog.Chart()->Finish();
    EXPECT_EQ(dialog.Chart()->Plot().Title(),
              charts::ChartTitle("Monday 17 ", "Aug 2026", charts::ChartOfValues(values, {})));
    EXPECT_EQ(dialog.SuggestedName(), "2026-08-17 unit 7");

    // Next: the same instrument's next session of the day, whatever lies between in the tree.
    dialog.FullDay()->setChecked(false);
    dialog.ChooseSession(seven[0]);
    for (int i = 1; i < seven.size(); ++i) {
        ASSERT_TRUE(dialog.Next());
        EXPECT_EQ(dialog.ReportText(), Render({seven[i]}));
    }
    EXPECT_FALSE(dialog.Next());
    EXPECT_FALSE(dialog.NextButton()->isEnabled());

    // Save suggests the day, the start and the instrument (as a file name can hold it), and
    // adds the extension.
    dialog.InstrumentField()->setText("unit/8");
    dialog.Search();
    dialog.Tree()->setCurrentItem(dialog.Tree()->topLevelItem(0)->child(0)->child(0));
    EXPECT_TRUE(dialog.windowTitle().contains("unit/8"));
    EXPECT_TRUE(dialog.SuggestedName().startsWith("2026-08-17 "));
    EXPECT_TRUE(dialog.SuggestedName().endsWith(" unit-8")) << dialog.SuggestedName().toStdString();
    ASSERT_TRUE(dialog.SaveTo(QString::fromStdString(m_dir.File("chosen"))));
    EXPECT_EQ(testsupport::ReadFile(m_dir.File("chosen.Rtf")), dialog.ReportText());
}

TEST_F(ArchiveDialogTest, InstrumentNameRenamesTheInstrumentOrFilesAnotherAsTheUserChooses) {
    using Choice = ProgramArchiving::NameChange;
    const struct {
        Choice choice;
        const char* name;
        bool oldStays;    // "unit 7" still in the archive
        bool newListed;   // the new name names an archived instrument
        bool nameChanged; // what comes next is filed under the new name
    } cases[] = {
        {Choice::Cancel, "a", true, false, false},
        {Choice::AnotherInstrument, "b", true, false, true},
        {Choice::Rename, "c", false, true, true},
    };
    const testsupport::WorkDirGuard work(m_dir.Path());
    WriteSetting("Archive", m_location.toStdString());
    std::vector<QString> told;
    for (const auto& c : cases) {
        WriteSetting("Archive Instrument", "unit 7");
        ProgramArchiving archiving([&told](const QString& text) { told.push_back(text); });
        int asked = 0;
        archiving.ChangeInstrumentName(c.name, [&](const QString& oldName, const QString&) {
            ++asked;
            EXPECT_EQ(oldName, QString("unit 7"));
            return c.choice;
        });
        EXPECT_EQ(asked, 1) << c.name;
        EXPECT_EQ(!m_store.FindInstruments("unit 7").isEmpty(), c.oldStays) << c.name;
        EXPECT_EQ(!m_store.FindInstruments(c.name).isEmpty(), c.newListed) << c.name;
        EXPECT_EQ(ReadSetting("Archive Instrument") == c.name, c.nameChanged) << c.name;
    }
    EXPECT_TRUE(told.empty());
    // Nothing filed under the name: it is taken without a question.
    WriteSetting("Archive Instrument", "nobody");
    ProgramArchiving archiving([&told](const QString& text) { told.push_back(text); });
    EXPECT_TRUE(archiving.ChangeInstrumentName("d", [](const QString&, const QString&) {
        ADD_FAILURE() << "asked";
        return Choice::Cancel;
    }));
    EXPECT_EQ(ReadSetting("Archive Instrument"), "d");
}

// File > Instrument Name... for an instrument the archive knows by its serial number only: the
// name is taken at once, and the next GO files the instrument under it, which the history says.
TEST_F(ArchiveDialogTest, NamingAnInstrumentArchivedByItsSerialNumberIsAHistoryRow) {
    const testsupport::WorkDirGuard work(m_dir.Path());
    WriteSetting("Archive", m_location.toStdString());
    WriteSetting("Archive Instrument", "");
    InstrumentFacts facts;
    facts.driverText = "driver";
    facts.serialNumber = "TV-1234";
    const std::string modeNames[4];
    std::unique_ptr<LogImage> image = archivetest::GeneratedImage(1);
    const auto go = [&] {
        DownloadArchive keeper(
            m_location, QString::fromStdString(ReadSetting("Archive Instrument")), false,
            [](const QString& message) { ADD_FAILURE() << message.toStdString(); });
        keeper.IndexArrived(facts, modeNames, *image);
        keeper.Finish();
    };
    go();
    ProgramArchiving archiving([](const QString& text) { ADD_FAILURE() << text.toStdString(); });
    EXPECT_TRUE(archiving.ChangeInstrumentName("van 7", [](const QString&, const QString&) {
        ADD_FAILURE() << "asked";
        return ProgramArchiving::NameChange::Cancel;
    }));
    go();
    QString error;
    const QVector<archive::HistoryRow> rows = archive::History(m_store, error);
    ASSERT_GE(rows.size(), 2);
    const archive::HistoryRow& named = rows[rows.size() - 2];
    EXPECT_EQ(named.kind, "rename");
    EXPECT_EQ(named.detail, "instrument with serial number TV-1234 named \"van 7\"");
    EXPECT_EQ(rows.last().kind, "index");
    EXPECT_TRUE(rows.last().detail.contains("of instrument \"van 7\", serial number TV-1234"))
        << rows.last().detail.toStdString();
    EXPECT_TRUE(archive::VerifyArchive(m_store).Clean());
}

// Sign Off... signs the searched instrument's sessions off with the user's personal key, once the
// passphrase typed (and never shown) opens it; a wrong one writes nothing and says so.
TEST_F(ArchiveDialogTest, SignOffSignsWithThePersonalKeyOnceItsPassphraseOpensIt) {
    const testsupport::EnvGuard user("XDG_CONFIG_HOME", m_dir.Path() + "/signer");
    archive::PersonalKey key;
    ASSERT_TRUE(archivetest::MadePersonalKey(key, "Anna Lind"));
    ArchiveDialog dialog(m_location);
    ASSERT_TRUE(dialog.Open());
    dialog.InstrumentField()->setText("unit 7");
    SignOffDialog* window = qobject_cast<SignOffDialog*>(dialog.OpenSignOff());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->InstrumentField()->text(), "unit 7");
    EXPECT_EQ(window->PassphraseField()->echoMode(), QLineEdit::NoEcho);
    EXPECT_TRUE(window->Said().startsWith("Signed with the personal key of \"Anna Lind\" (key " +
                                          key.Fingerprint() + ")"))
        << window->Said().toStdString();
    QString error;
    const int rows = archive::History(m_store, error).size();
    window->MeaningField()->setText("approved");
    window->PassphraseField()->setText("not the passphrase");
    EXPECT_FALSE(window->Submit());
    EXPECT_TRUE(window->Said().contains("Not signed: the passphrase does not open"))
        << window->Said().toStdString();
    EXPECT_TRUE(window->PassphraseField()->text().isEmpty());
    EXPECT_EQ(archive::History(m_store, error).size(), rows);

    window->PassphraseField()->setText(archivetest::kPassphrase);
    EXPECT_TRUE(window->Submit()) << window->Said().toStdString();
    EXPECT_TRUE(window->Said().contains(
        QString("Signed: signed off as \"approved\": instrument \"unit 7\", %1 sessions")
            .arg(m_sessions.size())))
        << window->Said().toStdString();
    EXPECT_FALSE(window->SignButton()->isEnabled());
    const QVector<archive::HistoryRow> after = archive::History(m_store, error);
    ASSERT_EQ(after.size(), rows + 2);
    EXPECT_EQ(after.last().kind, "sign-off");
    EXPECT_EQ(after.last().signer, key.PublicHex());
    EXPECT_TRUE(archive::VerifyArchive(m_store).Clean());
}

// The message box a call shows, closed as soon as it shows: it would wait for a click.
void CloseTheMessage() {
    QMetaObject::invokeMethod(
        qApp,
        [] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                box->close();
            }
        },
        Qt::QueuedConnection);
}

// A name or a search text is one line, as on the command line; showing an archive that is not
// there, or asking whether a name files anything in it, makes none.
TEST_F(ArchiveDialogTest, TextsAreOneLineAndAnArchiveNotThereIsNotMade) {
    const QString missing = QString::fromStdString(m_dir.File("typo/archive.sqlite"));
    {
        ArchiveDialog dialog(missing);
        CloseTheMessage();
        EXPECT_FALSE(dialog.Open());
    }
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(missing).path()));

    ArchiveDialog dialog(m_location);
    ASSERT_TRUE(dialog.Open());
    dialog.JobField()->setText("NW\n1");
    CloseTheMessage();
    EXPECT_EQ(dialog.Search(), 0);

    const testsupport::WorkDirGuard work(m_dir.Path());
    WriteSetting("Archive", m_location.toStdString());
    WriteSetting("Archive Instrument", "unit 7");
    std::vector<QString> told;
    ProgramArchiving archiving([&told](const QString& text) { told.push_back(text); });
    const auto never = [](const QString&, const QString&) {
        ADD_FAILURE() << "asked";
        return ProgramArchiving::NameChange::Rename;
    };
    EXPECT_FALSE(archiving.ChangeInstrumentName("van\n7", never));
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0],
              "The instrument's name holds a line break (\\n): it must be one line of text.");
    EXPECT_EQ(ReadSetting("Archive Instrument"), "unit 7");
    EXPECT_FALSE(m_store.FindInstruments("unit 7").isEmpty());

    WriteSetting("Archive", missing.toStdString());
    ProgramArchiving elsewhere([&told](const QString& text) { told.push_back(text); });
    EXPECT_TRUE(elsewhere.ChangeInstrumentName("van 7", never));
    EXPECT_EQ(ReadSetting("Archive Instrument"), "van 7");
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(missing).path()));
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

namespace {

// A session whose bytes were changed behind the program's back is still shown, marked; the
// others are not.
TEST_F(ArchiveDialogTest, ASessionWhoseBytesTheHistoryDoesNotHoldIsMarked) {
    const QVector<archive::ListedSession> all = m_store.List(archive::ListFilter());
    ASSERT_GE(all.size(), 2);
    QSqlQuery query(QSqlDatabase::database(m_store.ConnectionName()));
    ASSERT_TRUE(query.exec(
        QString("UPDATE session_bytes SET sector = CAST(X'00' AS BLOB) || substr(sector, 2)"
                " WHERE session_id = %1")
            .arg(all[0].id)));
    ArchiveDialog dialog(m_location);
    ASSERT_TRUE(dialog.Open());
    dialog.Search();
    const QLabel* mark = dialog.findChild<QLabel*>("bytesWarning");
    ASSERT_NE(mark, nullptr);
    dialog.ChooseSession(all[0].id);
    EXPECT_FALSE(dialog.ReportText().empty());
    EXPECT_FALSE(mark->isHidden());
    EXPECT_TRUE(mark->text().contains(archive::BytesNotInHistoryText()))
        << mark->text().toStdString();
    dialog.ChooseSession(all[1].id);
    EXPECT_TRUE(mark->isHidden());
}

} // namespace
