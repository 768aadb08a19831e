// The main dialog's template, menus and handlers without an instrument.
#include "gui/MainDialog.h"
#include "GuiTestSupport.h"
#include "OneDayDump.h"
#include "gui/ArchiveDialog.h"
#include "gui/FilterDialog.h"
#include "gui/InstrumentsWindow.h"
#include "gui/RtfView.h"
#include "gui/StatusLine.h"
#include "gui/UserGuide.h"

#include "app/SessionBrowser.h"
#include "archive/InstrumentIdentity.h"
#include "archive/SessionArchive.h"
#include "archive/SessionCapture.h"
#include "core/LogImage.h"
#include "linkselect/LinkSelect.h"
#include "report/Report.h"
#include "testsupport/TestPace.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPrinter>
#include <QProcess>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

class MainDialogTest : public ::testing::Test {
protected:
    MainDialogTest() {
        MainDialogEnvironment env;
        env.prompt = &prompt;
        env.openUrl = [this](const QUrl& url) {
            opened.push_back(url);
            return true;
        };
        env.askSaveName = [this](QWidget*) { return saveName; };
        env.askExportName = [this](QWidget*) { return saveName; };
        env.askPdfName = [this](QWidget*) { return pdfName; };
        env.askPrinter = [this](QPrinter& printer, QWidget*) {
            if (printName.isEmpty()) {
                return false; // cancelled
            }
            // No print dialog and no printer in a test: the printer writes a PDF file.
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(printName);
            return true;
        };
        env.tickMs = testsupport::kTestTickMs;
        dialog = std::make_unique<MainDialog>(env);
    }

    ReportState& Report() { return dialog->Report(); }

    // Saving needs a report on screen: the one session of a small dump.
    static void ShowASession(MainDialog& shown) {
        ASSERT_TRUE(shown.OpenDumpFrom(WriteDump(QDir::current().absoluteFilePath("dump.txt"))));
        auto* tree = NamedChild<QTreeWidget>(shown, "sessionTree");
        tree->setCurrentItem(tree->topLevelItem(0)->child(0)->child(0));
        ASSERT_FALSE(shown.Browser().ShownSlots().empty());
    }

    template <typename T> T* Child(const char* name) {
        T* child = dialog->findChild<T*>(name);
        EXPECT_NE(child, nullptr) << name;
        return child;
    }

    PrivatePlace place;
    RecordingPrompt prompt;
    std::unique_ptr<MainDialog> dialog;
    std::vector<QUrl> opened;
    QString saveName;
    QString pdfName;
    QString printName;
};

// A PDF's text as pdftotext lays it out; empty when it cannot be read.
std::string PdfText(const QString& path) {
    QProcess process;
    process.start("pdftotext", {"-layout", path, "-"});
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        return std::string();
    }
    return process.readAllStandardOutput().toStdString();
}

// The window shown and active, so that its keys reach it as the user's would.
void Activate(QWidget& window) {
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
}

struct ControlCase {
    const char* name;
    const char* text;
    bool visible;
    bool enabled;
};

TEST_F(MainDialogTest, TemplateControls) {
    EXPECT_EQ(dialog->windowTitle(), QString("Tavon Datalogger"));
    EXPECT_FALSE(dialog->windowIcon().isNull());
    dialog->show();
    const ControlCase cases[] = {
        {"goButton", "GO", true, false},        {"nextButton", "Next", true, true},
        {"fullDayBox", "Full Day", true, true}, {"okButton", "OK", true, true},
        {"allSessionsBox", "All", false, true}, {"alarmSessionsBox", "Alarm", false, true},
        {"calSessionsBox", "Cal", false, true}, {"showAllLogsBox", "Show All Logs", false, true},
    };
    for (const ControlCase& c : cases) {
        QAbstractButton* button = Child<QAbstractButton>(c.name);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), QString(c.text)) << c.name;
        EXPECT_EQ(button->isVisible(), c.visible) << c.name;
        EXPECT_EQ(button->isEnabled(), c.enabled) << c.name;
    }
    EXPECT_TRUE(Child<QPushButton>("okButton")->isDefault());
    EXPECT_EQ(Child<QGroupBox>("filterLogsGroup")->title(), QString("Filter Logs..."));
    EXPECT_FALSE(Child<QGroupBox>("filterLogsGroup")->isVisible());
    EXPECT_EQ(Child<QGroupBox>("sessionBoxGroup")->title(), QString("Get sessions with..."));
    EXPECT_FALSE(Child<QGroupBox>("sessionBoxGroup")->isVisible());

    // The report shares its place beside the tree with the chart, as two tabs.
    EXPECT_EQ(Child<QTabWidget>("reportTabs")->parentWidget()->objectName(),
              QString("treeAndReport"));
    RtfView* view = Child<RtfView>("reportView");
    EXPECT_TRUE(view->isReadOnly());
    QTreeWidget* tree = Child<QTreeWidget>("sessionTree");
    EXPECT_TRUE(tree->rootIsDecorated());
    // The smallest window is the template's size (the first one is most of the screen).
    dialog->resize(dialog->minimumSizeHint());
    dialog->layout()->activate();
    EXPECT_EQ(Child<QWidget>("clientArea")->size(), QSize(1017, 439));
}

TEST_F(MainDialogTest, Menus) {
    QMenuBar* bar = dialog->findChild<QMenuBar*>();
    ASSERT_NE(bar, nullptr);
    QStringList top;
    for (QAction* a : bar->actions()) {
        top << a->text();
    }
    EXPECT_EQ(top, QStringList({"&File", "&View", "&Help"}));
    QStringList file;
    for (QAction* a : Child<QMenu>("menuFile")->actions()) {
        if (!a->isSeparator()) {
            file << a->text();
        }
    }
    EXPECT_EQ(file, QStringList({"Connect...", "GO", "Open Dump...", "Open Archive...",
                                 "Archive Uploads", "Instrument Name...", "Save", "Save as PDF...",
                                 "Print...", "Export...", "Download Automatically...", "Sync Now",
                                 "Quit", "About Tavon Datalogging..."}));
    EXPECT_EQ(Child<QMenu>("menuFile")->actions().last()->text(),
              QString("About Tavon Datalogging..."));
    EXPECT_EQ(dialog->Action("actionFilter")->text(), QString("Filter Logs..."));
    EXPECT_EQ(dialog->Action("actionSessionsAll")->text(), QString("All"));
    EXPECT_EQ(dialog->Action("actionSessionsAlarm")->text(), QString("Alarm"));
    EXPECT_EQ(dialog->Action("actionSessionsCal")->text(), QString("Cal"));
    QStringList help;
    for (QAction* a : Child<QMenu>("menuHelp")->actions()) {
        help << a->text();
    }
    EXPECT_EQ(help, QStringList({"User Guide", "Instrument Manual"}));
    EXPECT_EQ(dialog->Action("actionUserGuide")->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_EQ(dialog->Action("actionHelp")->text(), QString("Instrument Manual"));
}

TEST_F(MainDialogTest, SessionMenuMirrorsTheHiddenBoxes) {
    dialog->SetSessionBoxes(SessionBoxes{true, true, true});
    EXPECT_TRUE(dialog->Action("actionSessionsAlarm")->isChecked());
    dialog->Action("actionSessionsAlarm")->trigger(); // unchecks Alarm, clears All
    EXPECT_FALSE(dialog->Browser().Boxes().all);
    EXPECT_FALSE(dialog->Browser().Boxes().alarm);
    EXPECT_TRUE(dialog->Browser().Boxes().cal);
    EXPECT_FALSE(Child<QCheckBox>("allSessionsBox")->isChecked());
    EXPECT_FALSE(dialog->Action("actionSessionsAll")->isChecked());
    EXPECT_TRUE(Child<QCheckBox>("calSessionsBox")->isChecked());
    dialog->Action("actionSessionsAll")->trigger(); // All sets Alarm and Cal
    EXPECT_TRUE(Child<QCheckBox>("alarmSessionsBox")->isChecked());
    EXPECT_TRUE(dialog->Action("actionSessionsAlarm")->isChecked());
}

TEST_F(MainDialogTest, SaveWritesTheRtfDocumentNotTheShownText) {
    ShowASession(*dialog);
    Report().ReportText = "{\\rtf{\\f2 \\fs20 Switched on.\\par }}";
    dialog->SetReportText(Report().ReportText);
    saveName = QDir::current().absoluteFilePath("out.Rtf");
    dialog->SaveReport();
    EXPECT_EQ(ReadFileBytes(saveName), QByteArray::fromStdString(Report().ReportText));
    EXPECT_TRUE(prompt.shown.empty());

    // Replaced without a question.
    Report().ReportText = "{\\rtf{x\ny}}";
    dialog->SaveReport();
    EXPECT_EQ(ReadFileBytes(saveName), QByteArray("{\\rtf{x\r\ny}}"));
}

TEST_F(MainDialogTest, SaveCancelledWritesNothing) {
    ShowASession(*dialog);
    Report().ReportText = "{\\rtf x}}";
    saveName.clear();
    dialog->SaveReport();
    EXPECT_EQ(QDir::current().entryList(QDir::Files), QStringList{"dump.txt"});
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(MainDialogTest, SaveToAFileThatCannotBeCreatedSaysSoAndWritesNothing) {
    ShowASession(*dialog);
    Report().ReportText = "{\\rtf x}}";
    const QString path = QDir::current().absoluteFilePath("missing-folder/out.Rtf");
    saveName = path;
    dialog->SaveReport();
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_NE(prompt.shown[0].first.find(path.toStdString()), std::string::npos);
    EXPECT_EQ(prompt.shown[0].second, "Save");
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(MainDialogTest, SaveDialogOffersRichTextFiles) {
    MainDialogEnvironment env;
    env.prompt = &prompt;
    MainDialog real(env);
    ShowASession(real);
    real.Report().ReportText = "{\\rtf{\\f2 dialog}}";
    bool checked = false;
    QTimer::singleShot(200, [&] {
        auto* fileDialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(fileDialog, nullptr);
        EXPECT_EQ(fileDialog->nameFilters(), QStringList{"Rich Text Files (*.Rtf)"});
        EXPECT_EQ(fileDialog->defaultSuffix(), QString("Rtf"));
        EXPECT_EQ(fileDialog->acceptMode(), QFileDialog::AcceptSave);
        EXPECT_TRUE(fileDialog->testOption(QFileDialog::DontConfirmOverwrite));
        auto* name = fileDialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        EXPECT_EQ(name->text(), QString("2026-08-18 08-59-25.Rtf")) << "the session's day, start";
        // Accepting a pattern saves nothing: the dialog comes back.
        name->setText("*.Rtf");
        QMetaObject::invokeMethod(fileDialog, "accept");
        QTimer::singleShot(200, [&] {
            auto* again = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(again, nullptr);
            auto* name = again->findChild<QLineEdit*>("fileNameEdit");
            ASSERT_NE(name, nullptr);
            name->setText(QDir::current().absoluteFilePath("chosen"));
            checked = true;
            QMetaObject::invokeMethod(again, "accept");
        });
    });
    real.SaveReport();
    EXPECT_TRUE(checked);
    EXPECT_TRUE(prompt.shown.empty());
    // The default extension is added.
    EXPECT_EQ(ReadFileBytes(QDir::current().absoluteFilePath("chosen.Rtf")),
              QByteArray("{\\rtf{\\f2 dialog}}"));
    EXPECT_EQ(QDir::current().entryList(QDir::Files), QStringList({"chosen.Rtf", "dump.txt"}));
}

// What a file dialog opened by `open` offers: its folder, the name in its field and its file
// types; it is cancelled. Empty when none opens.
struct Offered {
    QString folder;
    QString name;
    QStringList filters;
};
Offered OfferedBy(const std::function<void()>& open) {
    Offered offered;
    QTimer poll;
    poll.setInterval(50);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            return;
        }
        poll.stop();
        offered.folder = dialog->directory().absolutePath();
        const auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        offered.name = name != nullptr ? name->text() : QString();
        offered.filters = dialog->nameFilters();
        dialog->reject();
    });
    poll.start();
    open();
    return offered;
}

// Every save dialog of the program, in each window, offers the working folder, the name of what
// is shown and the file type the report's Save was designed with; Print offers the same folder
// and name for printing to a file.
TEST_F(MainDialogTest, EverySaveOffersTheWorkingFolderOneNameAndOneFileType) {
    MainDialogEnvironment env;
    env.prompt = &prompt;
    QString printFile;
    env.askPrinter = [&printFile](QPrinter& printer, QWidget*) {
        printFile = printer.outputFileName();
        return false;
    };
    MainDialog real(env);
    ShowASession(real);
    const QString at = QDir::current().absoluteFilePath("saving.sqlite");
    ArchiveTheDump(QDir::current().absoluteFilePath("dump.txt"), at, "unit 7");
    ArchiveDialog archived(at);
    ASSERT_TRUE(archived.Open());
    ASSERT_GE(archived.Search(), 1);
    archived.Tree()->setCurrentItem(archived.Tree()->topLevelItem(0)->child(0)->child(0));
    InstrumentsWindow instruments(at);
    ASSERT_TRUE(instruments.Open());
    ASSERT_NE(archived.findChild<QPushButton*>("saveButton"), nullptr);
    ASSERT_NE(archived.findChild<QPushButton*>("exportButton"), nullptr);
    ASSERT_NE(instruments.findChild<QPushButton*>("savePackButton"), nullptr);
    const QStringList rtf{"Rich Text Files (*.Rtf)"};
    const QStringList pdf{"PDF Files (*.pdf)"};
    const QString compliance = "compliance-" + QDate::currentDate().toString("yyyy-MM-dd");
    const struct {
        const char* what;
        std::function<void()> open;
        QString name;
        QStringList filters; // empty: the exports' own three
    } saves[] = {
        {"Save", [&] { real.SaveReport(); }, "2026-08-18 08-59-25.Rtf", rtf},
        {"Save as PDF", [&] { real.SaveReportPdf(); }, "2026-08-18 08-59-25.pdf", pdf},
        {"Export", [&] { real.Action("actionExport")->trigger(); }, "2026-08-18 08-59-25", {}},
        {"the archive's Save", [&] { NamedChild<QPushButton>(archived, "saveButton")->click(); },
         "2026-08-18 08-59-25 unit 7.Rtf", rtf},
        {"the archive's Export",
         [&] { NamedChild<QPushButton>(archived, "exportButton")->click(); },
         "2026-08-18 08-59-25 unit 7",
         {}},
        {"the compliance report",
         [&] { NamedChild<QPushButton>(instruments, "savePackButton")->click(); },
         compliance + ".pdf", pdf},
    };
    for (const auto& save : saves) {
        SCOPED_TRACE(save.what);
        const Offered offered = OfferedBy(save.open);
        EXPECT_EQ(offered.folder, QDir::currentPath());
        EXPECT_EQ(offered.name, save.name);
        if (!save.filters.isEmpty()) {
            EXPECT_EQ(offered.filters, save.filters);
        }
    }
    real.PrintReport();
    EXPECT_EQ(printFile, QDir::current().absoluteFilePath("2026-08-18 08-59-25.pdf"));
}

TEST_F(MainDialogTest, HelpOpensTheManualFromTheWorkingDirectory) {
    dialog->Action("actionHelp")->trigger();
    // No manual: said so, and the program's own guide opens instead, in a window of its own.
    ASSERT_EQ(prompt.shown.size(), 1u);
    const QString said = QString::fromStdString(prompt.shown[0].first);
    EXPECT_EQ(prompt.shown[0].second, "Help");
    EXPECT_TRUE(said.startsWith("The instrument's manual \"50312_04.pdf\" is in neither the "
                                "working folder (" +
                                QDir::toNativeSeparators(QDir::currentPath()) + ")"))
        << said.toStdString();
    EXPECT_TRUE(said.contains("User Guide")) << said.toStdString();
    ASSERT_NE(dialog->Guide(), nullptr);
    EXPECT_TRUE(dialog->Guide()->isVisible());
    EXPECT_FALSE(dialog->Guide()->isModal());
    EXPECT_EQ(dialog->Guide()->Page(), QUrl(UserGuide::kContents));
    EXPECT_TRUE(dialog->Guide()->Text().contains("Connecting the instrument"));
    EXPECT_TRUE(opened.empty());
    dialog->Guide()->close();
    prompt.shown.clear();

    QFile manual("50312_04.pdf");
    ASSERT_TRUE(manual.open(QIODevice::WriteOnly));
    manual.close();
    dialog->Action("actionHelp")->trigger();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl::fromLocalFile(QDir::current().absoluteFilePath("50312_04.pdf")));
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_FALSE(dialog->Guide()->isVisible());
}

TEST_F(MainDialogTest, AboutBox) {
    bool checked = false;
    QTimer::singleShot(100, [&] {
        QWidget* about = QApplication::activeModalWidget();
        ASSERT_NE(about, nullptr);
        EXPECT_EQ(about->windowTitle(), QString("About Tavon Datalogging"));
        auto* text = about->findChild<QLabel*>("aboutText");
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text->text(), QString("Tavon Datalogging, Version 1.08"));
        auto* icon = about->findChild<QLabel*>("aboutIcon");
        ASSERT_NE(icon, nullptr);
        EXPECT_FALSE(icon->pixmap().isNull());
        checked = true;
        about->findChild<QPushButton*>("okButton")->click();
    });
    dialog->Action("actionAbout")->trigger();
    EXPECT_TRUE(checked);
}

TEST_F(MainDialogTest, QuitAndEscapeEndTheDialog) {
    dialog->show();
    dialog->Action("actionQuit")->trigger();
    EXPECT_EQ(dialog->result(), 1);
    EXPECT_FALSE(dialog->isVisible());
    dialog->show();
    dialog->reject(); // what Escape and the close box do
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
}

TEST_F(MainDialogTest, TreeNodesAndSelectionEchoIsIgnored) {
    dialog->ClearTree();
    dialog->InsertNode(0, -1, "Dec 2026", 0xFFFF, true);
    dialog->InsertNode(1, 0, "Monday 07", 0xFFFF, true);
    dialog->InsertNode(2, 1, "10:11:12 FC C Alm ", 12, false);
    dialog->InsertNode(3, 1, "R\xE9seau", 13, false);
    QTreeWidget* tree = Child<QTreeWidget>("sessionTree");
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_TRUE(tree->topLevelItem(0)->isExpanded());
    QTreeWidgetItem* day = tree->topLevelItem(0)->child(0);
    EXPECT_EQ(day->text(0), QString("Monday 07"));
    EXPECT_EQ(day->child(0)->data(0, Qt::UserRole).toUInt(), 12u);
    EXPECT_EQ(day->child(1)->text(0), QString::fromUtf8("R\xC3\xA9seau"));
    dialog->SelectNode(3);
    EXPECT_EQ(tree->currentItem(), day->child(1));
    EXPECT_EQ(dialog->Browser().SelectedNode(), -1) << "the view does not echo the browser";
    dialog->SelectNode(-1);
    EXPECT_EQ(tree->currentItem(), nullptr);
}

TEST_F(MainDialogTest, EveryFilterChangeRendersTheReportOnceAndAtOnce) {
    // Offline: nobody at the other end, the connection dialog cancelled.
    CancellingHost host;
    CLinkSelect().SetDialogHost(&host);
    EXPECT_FALSE(dialog->Initialise());
    CLinkSelect().SetDialogHost(nullptr);
    // The filter's first state is rendered by the initialisation: nothing chosen yet, the empty
    // report, which later changes show again and never extend.
    EXPECT_EQ(dialog->RenderCount(), 1);
    const std::string empty = std::string(RtfHeader) + " \\par }}";
    EXPECT_EQ(Report().ReportText, empty);

    FilterDialog& filter = dialog->Filter();
    int renders = 1;
    for (const char* box : {"calibrationBox", "bumpTestBox", "timedBox"}) {
        filter.findChild<QCheckBox*>(box)->click();
        EXPECT_EQ(dialog->RenderCount(), ++renders) << box << ": no waiting for a tick";
    }
    EXPECT_EQ(Report().ShowCalibrationLogs, 0);
    EXPECT_EQ(Report().ShowBumpLogs, 0);
    EXPECT_EQ(Report().ShowTimedLogs, 0);
    EXPECT_EQ(Report().ShowAlarmLogs, 1);
    EXPECT_EQ(Report().ShowManualLogs, 1);
    EXPECT_EQ(dialog->ShowAllLogs(), 0);
    EXPECT_FALSE(Child<QCheckBox>("showAllLogsBox")->isChecked());
    EXPECT_EQ(Report().ReportText, empty);
    EXPECT_EQ(Child<RtfView>("reportView")->Rtf(), empty);

    // Show All Logs sets three boxes: one change, one rendering.
    filter.findChild<QCheckBox*>("showAllLogsBox")->click();
    EXPECT_EQ(dialog->RenderCount(), ++renders);
    EXPECT_EQ(Report().ShowCalibrationLogs + Report().ShowBumpLogs + Report().ShowTimedLogs, 3);
    EXPECT_EQ(dialog->ShowAllLogs(), 1);
    EXPECT_TRUE(Child<QCheckBox>("showAllLogsBox")->isChecked());
    EXPECT_EQ(Report().ReportText, empty);
}

TEST_F(MainDialogTest, DataSourceInTheTitle) {
    const struct {
        DataSource source;
        const char* name;
        const char* title;
    } cases[] = {
        {DataSource::Dump, "/somewhere/FlashData.txt", "Tavon Datalogger - FlashData.txt"},
        {DataSource::EarlierInstrument, "TAV-41200678388",
         "Tavon Datalogger - sessions of TAV-41200678388 (not the instrument connected"},
        {DataSource::Instrument, "", "Tavon Datalogger"},
    };
    for (const auto& c : cases) {
        dialog->ShowDataSource(c.source, c.name);
        EXPECT_TRUE(dialog->windowTitle().startsWith(c.title))
            << dialog->windowTitle().toStdString();
    }
    EXPECT_EQ(dialog->windowTitle(), QString("Tavon Datalogger"));
}

TEST_F(MainDialogTest, ExportNeedsASessionAndAFormatAndWritesNothingWithout) {
    for (const char* name : {"actionSave", "actionSavePdf", "actionExport"}) {
        EXPECT_FALSE(dialog->Action(name)->isEnabled()) << name << " with nothing shown";
    }
    ShowASession(*dialog);
    EXPECT_TRUE(dialog->Action("actionExport")->isEnabled());
    saveName = QDir::current().absoluteFilePath("report.rtf");
    dialog->Action("actionExport")->trigger();
    EXPECT_FALSE(QFile::exists(saveName));
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_NE(prompt.shown[0].first.find(".csv, .geojson or .gpx"), std::string::npos);
}

TEST_F(MainDialogTest, TheKeysPeopleExpectAreOnTheActionsTheMenusShow) {
    const struct {
        const char* action;
        QKeySequence key;
        const char* menu;
    } keys[] = {
        {"actionSave", QKeySequence(Qt::CTRL | Qt::Key_S), "menuFile"},
        {"actionPrint", QKeySequence(Qt::CTRL | Qt::Key_P), "menuFile"},
        {"actionFind", QKeySequence(Qt::CTRL | Qt::Key_F), "menuView"},
        {"actionGo", QKeySequence(Qt::Key_F5), "menuFile"},
    };
    for (const auto& k : keys) {
        QAction* action = dialog->Action(k.action);
        ASSERT_NE(action, nullptr) << k.action;
        EXPECT_EQ(action->shortcut(), k.key) << k.action;
        // A menu item shows the key of its action beside its text.
        EXPECT_TRUE(Child<QMenu>(k.menu)->actions().contains(action)) << k.action;
    }
    // GO, as its button, waits for an instrument; Print, as Save, for a report.
    EXPECT_FALSE(dialog->Action("actionGo")->isEnabled());
    EXPECT_FALSE(dialog->Action("actionPrint")->isEnabled());
    // Allowed by the browser with no instrument connected, GO stays disabled, in the menu as on
    // its button (F5RunsGo has them enabled with one).
    dialog->EnableGo(true);
    EXPECT_FALSE(dialog->Action("actionGo")->isEnabled());
    EXPECT_FALSE(Child<QPushButton>("goButton")->isEnabled());
}

TEST_F(MainDialogTest, CtrlSSavesTheReportShown) {
    ShowASession(*dialog);
    Activate(*dialog);
    saveName = QDir::current().absoluteFilePath("keyed.Rtf");
    QTest::keyClick(dialog.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(ReadFileBytes(saveName), QByteArray::fromStdString(Report().ReportText));
}

TEST_F(MainDialogTest, CtrlFFindsATextInTheReport) {
    ShowASession(*dialog);
    Activate(*dialog);
    RtfView* view = Child<RtfView>("reportView");
    QLineEdit* text = Child<QLineEdit>("findText");
    QLabel* result = Child<QLabel>("findResult");
    ASSERT_NE(text, nullptr);
    EXPECT_FALSE(text->isVisible());
    QTest::keyClick(dialog.get(), Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(text->isVisible());
    EXPECT_TRUE(text->hasFocus());

    // Found as it is typed, whatever its case.
    QTest::keyClicks(text, "switch on");
    EXPECT_EQ(view->textCursor().selectedText(), QString("Switch ON"));
    EXPECT_TRUE(result->text().isEmpty());
    // Enter: the next place, round from the top when there is no other.
    QTest::keyClick(text, Qt::Key_Return);
    EXPECT_EQ(view->textCursor().selectedText(), QString("Switch ON"));
    EXPECT_EQ(result->text(), QString("Continued from the top"));
    EXPECT_TRUE(dialog->isVisible()) << "Enter finds; it does not press OK";

    text->selectAll();
    QTest::keyClicks(text, "no such words");
    EXPECT_EQ(result->text(), QString("\"no such words\" is not in the report"));
    // The report itself is never changed by a search.
    EXPECT_EQ(view->Rtf(), Report().ReportText);

    // Escape puts the bar away and leaves the window open.
    QTest::keyClick(text, Qt::Key_Escape);
    EXPECT_FALSE(text->isVisible());
    EXPECT_TRUE(dialog->isVisible());
}

TEST_F(MainDialogTest, CtrlPPrintsTheReportAsItsPdfIsLaidOut) {
    ShowASession(*dialog);
    pdfName = QDir::current().absoluteFilePath("saved.pdf");
    dialog->SaveReportPdf();
    const std::string saved = PdfText(pdfName);
    ASSERT_NE(saved.find("Switch ON"), std::string::npos);

    Activate(*dialog);
    printName.clear(); // the print dialog cancelled
    QTest::keyClick(dialog.get(), Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(QDir::current().entryList({"*.pdf"}), QStringList{"saved.pdf"});

    printName = QDir::current().absoluteFilePath("printed.pdf");
    QTest::keyClick(dialog.get(), Qt::Key_P, Qt::ControlModifier);
    // The same pages, page for page and line for line: report, heading, "Page n of m", chart.
    EXPECT_EQ(PdfText(printName), saved);
    EXPECT_NE(saved.find("Page 1 of "), std::string::npos);
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_EQ(dialog->Status().Activity(),
              "Printed the report of Tuesday 18 Aug 2026 (1 session) with its chart to " +
                  QDir::toNativeSeparators(printName));
}

// File > Sync Now: the program's archive synced into the one Settings.ini names, off the window's
// thread, with a progress dialog whose Cancel stops it between batches, the result told in one
// message; one not named, or one that does not answer, said so. The archive window's Sync Now is
// the same, enabled while a place to sync into is named.
TEST_F(MainDialogTest, SyncNowSyncsTheArchiveIntoTheOneSettingsName) {
    const QString van = QDir::current().absoluteFilePath("van.sqlite");
    const QString team = QDir::current().absoluteFilePath("team.sqlite");
    {
        std::unique_ptr<LogImage> image(new LogImage);
        std::string message;
        const QString dump = WriteDump(QDir::current().absoluteFilePath("dump.txt"));
        ASSERT_EQ(image->LoadDump(dump.toLocal8Bit().constData(), message), 1) << message;
        archive::SessionArchive store;
        ASSERT_TRUE(store.Open(van));
        archive::StoreCounts counts;
        ASSERT_GT(store.ImportDump(store.Instrument(archive::NamedInstrument("van 7"), "van 7"),
                                   "test", archive::IndexBytes(*image),
                                   archive::CaptureSessions(*image, {}), counts),
                  0);
        archive::SessionArchive empty;
        ASSERT_TRUE(empty.Open(team));
    }
    const auto writeSettings = [&van](const QString& sync) {
        QFile settings("Settings.ini");
        ASSERT_TRUE(settings.open(QIODevice::WriteOnly | QIODevice::Truncate));
        settings.write(
            ("Archive=" + van + "\r\n" + (sync.isEmpty() ? QString() : "Sync=" + sync + "\r\n"))
                .toLocal8Bit());
    };
    // Without one named, Sync Now is disabled, in the menu as in the archive window, and its tip
    // says why; the menu asks again each time it opens.
    QMenu* file = dialog->findChild<QMenu*>("menuFile");
    ASSERT_NE(file, nullptr);
    writeSettings("");
    emit file->aboutToShow();
    EXPECT_FALSE(dialog->Action("actionSyncNow")->isEnabled());
    EXPECT_EQ(dialog->Action("actionSyncNow")->toolTip().toStdString(),
              "No archive to sync into: Settings.ini names none (Sync=LOCATION, a SQLite file or "
              "postgresql://user@host/database).");
    dialog->Action("actionSyncNow")->trigger();
    EXPECT_TRUE(prompt.shown.empty());
    const struct {
        QString sync;
        bool cancel;
        QString said;
    } cases[] = {
        {"postgresql://tavon:pw@%2Fno-such-folder:5432/team", false, "does not answer"},
        {team, true,
         "Sync into " + team +
             ": 1 instrument, 0 sessions new, 0 already there; stopped after 0 of 2 sessions; the "
             "rest comes with the next sync"},
        {team, false, "Synced into " + team + ": 0 instruments, 2 sessions new, 0 already there"},
        {team, false, "Synced into " + team + ": 0 instruments, 0 sessions new, 2 already there"},
    };
    // The result is told with the progress dialog gone, not behind it.
    bool progressShownWithResult = false;
    prompt.onShow = [&](const std::string&, const std::string&) {
        auto* progress = dialog->findChild<QProgressDialog*>("syncProgress");
        progressShownWithResult = progress != nullptr && progress->isVisible();
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.said.toStdString());
        writeSettings(c.sync);
        emit file->aboutToShow();
        EXPECT_TRUE(dialog->Action("actionSyncNow")->isEnabled());
        prompt.shown.clear();
        if (!c.cancel) {
            dialog->Action("actionSyncNow")->trigger();
        } else {
            // The team's archive held by another writer: the sync waits for it before its first
            // batch, so that Cancel comes first.
            QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "otherWriter");
            other.setDatabaseName(team);
            ASSERT_TRUE(other.open());
            ASSERT_TRUE(QSqlQuery(other).exec("BEGIN IMMEDIATE"));
            dialog->Action("actionSyncNow")->trigger();
            auto* progress = dialog->findChild<QProgressDialog*>("syncProgress");
            ASSERT_NE(progress, nullptr);
            EXPECT_TRUE(progress->isVisible());
            auto* cancel = progress->findChild<QPushButton*>();
            ASSERT_NE(cancel, nullptr);
            EXPECT_EQ(cancel->text(), "Cancel");
            cancel->click();
            EXPECT_TRUE(QSqlQuery(other).exec("ROLLBACK"));
            other.close();
            other = QSqlDatabase();
            QSqlDatabase::removeDatabase("otherWriter");
        }
        ASSERT_TRUE(QTest::qWaitFor([this] { return !prompt.shown.empty(); }, 60000));
        ASSERT_EQ(prompt.shown.size(), 1u);
        EXPECT_NE(prompt.shown[0].first.find(c.said.toStdString()), std::string::npos)
            << prompt.shown[0].first;
        EXPECT_EQ(prompt.shown[0].first.find(":pw@"), std::string::npos);
        // The status line says the result's first line instead of the sync under way.
        if (!c.sync.isEmpty()) {
            EXPECT_EQ(
                dialog->Status().Activity().toStdString(),
                QString::fromStdString(prompt.shown[0].first).section('\n', 0, 0).toStdString());
        }
        EXPECT_FALSE(progressShownWithResult);
        // The progress dialog goes with the sync.
        QTest::qWait(0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(dialog->findChild<QProgressDialog*>("syncProgress"), nullptr);
    }

    for (const QString& sync : {QString(), team}) {
        SCOPED_TRACE(sync.toStdString());
        writeSettings(sync);
        dialog->Action("actionOpenArchive")->trigger();
        ArchiveDialog* window = nullptr;
        for (ArchiveDialog* open : dialog->findChildren<ArchiveDialog*>()) {
            window = open->isVisible() ? open : window;
        }
        ASSERT_NE(window, nullptr);
        QPushButton* button = window->SyncButton();
        EXPECT_TRUE(button->isVisibleTo(window));
        EXPECT_EQ(button->text(), "Sync Now");
        EXPECT_EQ(button->isEnabled(), !sync.isEmpty());
        emit file->aboutToShow();
        EXPECT_EQ(dialog->Action("actionSyncNow")->isEnabled(), button->isEnabled());
        EXPECT_EQ(button->toolTip(),
                  sync.isEmpty() ? dialog->Action("actionSyncNow")->toolTip() : QString());
        if (button->isEnabled()) {
            prompt.shown.clear();
            button->click();
            ASSERT_TRUE(QTest::qWaitFor([this] { return !prompt.shown.empty(); }, 60000));
            EXPECT_NE(
                prompt.shown[0].first.find(
                    ("Synced into " + team + ": 0 instruments, 0 sessions new, 2 already there")
                        .toStdString()),
                std::string::npos)
                << prompt.shown[0].first;
        }
        window->close();
    }
}

} // namespace
