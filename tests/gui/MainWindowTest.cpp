// The main window as a window: offline start, growing and shrinking, its remembered place, the
// status line, the filter panel and the tree's tooltips. No instrument.
#include "GuiTestSupport.h"
#include "OneDayDump.h"
#include "gui/ArchiveDialog.h"
#include "gui/FilterDialog.h"
#include "gui/MainDialog.h"
#include "gui/RtfView.h"
#include "gui/StatusLine.h"

#include "app/SessionBrowser.h"
#include "archive/SessionArchive.h"
#include "core/LogImage.h"
#include "linkselect/LinkSelect.h"
#include "linkselect/PortDialogHost.h"
#include "recbuild/RecordBuilder.h"
#include "report/Report.h"
#include "session/InstrumentSession.h"
#include "session/LinkClaim.h"
#include "testsupport/FlashDump.h"
#include "testsupport/InstrumentStamp.h"
#include "testsupport/TestPace.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSplitter>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iterator>
#include <memory>

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    void Make(const QString& windowFile = QString()) {
        MainDialogEnvironment env;
        env.prompt = &prompt;
        env.windowFile = windowFile;
        env.askSaveName = [this](QWidget*) { return saveName; };
        env.tickMs = testsupport::kTestTickMs;
        dialog = std::make_unique<MainDialog>(env);
    }

    // Started as the program starts, with nobody at the other end: offline.
    void InitialiseOffline() {
        CancellingHost host;
        CLinkSelect().SetDialogHost(&host);
        EXPECT_FALSE(dialog->Initialise());
        CLinkSelect().SetDialogHost(nullptr);
    }

    ReportState& Report() { return dialog->Report(); }

    void TearDown() override {
        dialog.reset();
        CLinkSelect().SetDialogHost(nullptr);
    }

    template <typename T> T* Child(const char* name) { return NamedChild<T>(*dialog, name); }

    PrivatePlace place;
    RecordingPrompt prompt;
    std::unique_ptr<MainDialog> dialog;
    QString saveName;
};

TEST_F(MainWindowTest, WithoutAnInstrumentTheWindowOpensOfflineAndBrowsesADump) {
    CancellingHost host;
    CLinkSelect().SetDialogHost(&host);
    Make();
    EXPECT_FALSE(dialog->Initialise());
    EXPECT_EQ(host.runs, 1);
    EXPECT_FALSE(dialog->Connected());
    // The tick runs offline too: the watchdog hangs on it.
    QSignalSpy ticked(&dialog->Session(), &InstrumentSession::Ticked);
    EXPECT_TRUE(WaitFor([&] { return ticked.count() >= 2; }, 5000));
    // The filter works offline (and is left as it was).
    const int renders = dialog->RenderCount();
    dialog->Filter().findChild<QCheckBox*>("timedBox")->click();
    EXPECT_EQ(dialog->RenderCount(), renders + 1);
    EXPECT_EQ(Report().ShowTimedLogs, 0);
    dialog->Filter().findChild<QCheckBox*>("timedBox")->click();
    EXPECT_EQ(dialog->RenderCount(), renders + 2);
    EXPECT_EQ(Report().ShowTimedLogs, 1);
    EXPECT_FALSE(Child<QPushButton>("goButton")->isEnabled());
    EXPECT_EQ(dialog->Status().Connection(), QString("Offline"));
    EXPECT_TRUE(dialog->Status().Activity().startsWith("No instrument connected"));
    EXPECT_TRUE(dialog->Status().Activity().contains("right-click the window"));
    EXPECT_TRUE(dialog->Status().Activity().contains("File > Connect..."));

    // File > Connect... tries again; still nothing there.
    dialog->Action("actionConnect")->trigger();
    EXPECT_EQ(host.runs, 2);
    EXPECT_FALSE(dialog->Connected());

    ASSERT_TRUE(dialog->OpenDumpFrom(WriteDump(QDir::current().absoluteFilePath("dump.txt"))));
    QTreeWidget* tree = Child<QTreeWidget>("sessionTree");
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    QTreeWidgetItem* day = tree->topLevelItem(0)->child(0);
    ASSERT_NE(day, nullptr);
    ASSERT_EQ(day->childCount(), 2);
    EXPECT_FALSE(Child<QPushButton>("goButton")->isEnabled()) << "GO needs an instrument";
    // Slot 4 was never uploaded into the dump: greyed, and its tooltip says why.
    EXPECT_TRUE(day->child(1)->toolTip(0).startsWith("Not in this dump"));
    EXPECT_NE(day->child(1)->foreground(0), day->child(0)->foreground(0));
    EXPECT_FALSE(day->child(0)->toolTip(0).startsWith("Not in this dump"));
    tree->setCurrentItem(day->child(0));
    EXPECT_NE(Report().ReportText.find("Switch ON"), std::string::npos);
    EXPECT_EQ(Child<RtfView>("reportView")->Rtf(), Report().ReportText);
    EXPECT_EQ(dialog->Status().Activity(), QString("Report: Tuesday 18 Aug 2026, 1 session"));

    // The one the dump lacks, clicked: the report on screen stays, and so does its selection;
    // Save goes on suggesting its name, and the status line says why the other was not shown.
    const std::string shown = Report().ReportText;
    dialog->show();
    QApplication::processEvents();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                      tree->visualItemRect(day->child(1)).center());
    QApplication::processEvents();
    EXPECT_EQ(tree->currentItem(), day->child(0));
    EXPECT_EQ(tree->selectedItems(), QList<QTreeWidgetItem*>{day->child(0)});
    EXPECT_EQ(Child<RtfView>("reportView")->Rtf(), shown);
    EXPECT_EQ(Report().ReportText, shown);
    EXPECT_TRUE(dialog->Action("actionSave")->isEnabled());
    EXPECT_EQ(dialog->SuggestedName(), QString("2026-08-18 08-59-25"));
    EXPECT_TRUE(dialog->Status().Activity().startsWith(
        "The session 09:59:25 of Tuesday 18 Aug 2026 is not in this dump"))
        << dialog->Status().Activity().toStdString();
    // Chosen with the keyboard, the same.
    QTest::keyClick(tree, Qt::Key_Down);
    QApplication::processEvents();
    EXPECT_EQ(tree->currentItem(), day->child(0));
    EXPECT_EQ(tree->selectedItems(), QList<QTreeWidgetItem*>{day->child(0)});
    EXPECT_EQ(Child<RtfView>("reportView")->Rtf(), shown);
}

// The process that holds a claim taken in this test: the test itself.
std::string ThisProcess() {
    return QCoreApplication::applicationName().toStdString() + ", process " +
           std::to_string(QCoreApplication::applicationPid());
}

TEST_F(MainWindowTest, ALinkAnotherProcessHoldsIsLeftToItAndItsHolderNamed) {
    Simulator simulator;
    ASSERT_TRUE(simulator.Start({})) << simulator.Errors().toStdString();
    // A watcher on the pipe, as it claims it.
    const std::string pipe = LinkClaim::LinkName(true, "RAK Pipe");
    std::string nobody;
    std::unique_ptr<LinkClaim> watcher = LinkClaim::Take(pipe, nobody);
    ASSERT_NE(watcher, nullptr);
    CancellingHost host;
    CLinkSelect().SetDialogHost(&host);
    Make();
    EXPECT_FALSE(dialog->Initialise());
    EXPECT_FALSE(dialog->Connected());
    EXPECT_EQ(host.runs, 0) << "the pipe was there, and is left to its holder";
    EXPECT_FALSE(Child<QPushButton>("goButton")->isEnabled());
    const QString held =
        QString::fromStdString("the pipe \"RAK Pipe\" is held by " + ThisProcess());
    EXPECT_EQ(dialog->Status().Connection().toStdString(), ("Offline: " + held).toStdString());
    EXPECT_TRUE(dialog->Status().Activity().startsWith("T" + held.mid(1) + ". "))
        << dialog->Status().Activity().toStdString();
    EXPECT_TRUE(prompt.shown.empty()) << "no \"Cannot open\" box";

    // Let go, the pipe is the program's at the next File > Connect..., until OK.
    watcher.reset();
    dialog->Action("actionConnect")->trigger();
    EXPECT_TRUE(dialog->Connected());
    EXPECT_EQ(LinkClaim::Holder(pipe), ThisProcess());
    dialog->OnOk();
    EXPECT_EQ(LinkClaim::Holder(pipe), "");
}

TEST_F(MainWindowTest, F5RunsGo) {
    Simulator simulator;
    ASSERT_TRUE(simulator.Start({})) << simulator.Errors().toStdString();
    Make();
    QSignalSpy ended(dialog.get(), &MainDialog::requestEnded);
    ASSERT_TRUE(dialog->Initialise());
    dialog->show();
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    ASSERT_TRUE(WaitFor([&] { return Child<QPushButton>("goButton")->isEnabled(); }, 60000));
    ASSERT_NE(dialog->Action("actionGo"), nullptr);
    EXPECT_TRUE(dialog->Action("actionGo")->isEnabled());
    const auto indexEnded = [&] {
        for (const QList<QVariant>& e : ended) {
            if (e.at(0).toInt() == static_cast<int>(UploadRequest::Index)) {
                return true;
            }
        }
        return false;
    };
    EXPECT_FALSE(indexEnded());
    QTest::keyClick(dialog.get(), Qt::Key_F5);
    EXPECT_TRUE(WaitFor(indexEnded, 120000));
    EXPECT_GT(Child<QTreeWidget>("sessionTree")->topLevelItemCount(), 0);
    dialog->OnOk();
}

TEST_F(MainWindowTest, ProgressAndStatusNameTheStepUnderWay) {
    Make();
    ASSERT_TRUE(dialog->OpenDumpFrom(WriteDump(QDir::current().absoluteFilePath("dump.txt"))));
    EXPECT_EQ(dialog->Status().Activity(), QString("Opened dump.txt: choose a session to read it"));
    QProgressBar* bar = Child<QProgressBar>("progressBar");
    const struct {
        UploadRequest request;
        int total;
        int pos;
        const char* bar;
        const char* status;
    } steps[] = {{UploadRequest::Index, 10, 0, "Sector 1 of 10", "Uploading index sector 1 of 10"},
                 {UploadRequest::Index, 10, 2, "Sector 3 of 10", "Uploading index sector 3 of 10"}};
    Child<QTreeWidget>("sessionTree")
        ->setCurrentItem(
            Child<QTreeWidget>("sessionTree")->topLevelItem(0)->child(0)->child(0)); // slot 3
    // The session says how far a transfer is; the window shows it.
    for (const auto& step : steps) {
        emit dialog->Session().Progress(step.request, step.pos, step.total);
        EXPECT_TRUE(bar->isTextVisible());
        EXPECT_EQ(bar->text(), QString(step.bar));
        EXPECT_EQ(dialog->Status().Activity(), QString(step.status));
    }
    emit dialog->Session().Progress(UploadRequest::Session, 0, 0); // the request has ended
    EXPECT_FALSE(bar->isTextVisible());
}

// On a noisy line the status line goes on naming the step under way; the replies dropped and
// asked for again are counted beside it, from the start of each transfer.
TEST_F(MainWindowTest, SpoiledRepliesAreCountedBesideTheStepUnderWay) {
    Make();
    ASSERT_TRUE(dialog->OpenDumpFrom(WriteDump(QDir::current().absoluteFilePath("dump.txt"))));
    const struct {
        UploadRequest request;
        int pos;
        int total;
        int spoiled;
        const char* status;
        const char* dropped;
    } steps[] = {
        {UploadRequest::Index, 0, 10, 0, "Uploading index sector 1 of 10", ""},
        {UploadRequest::Index, 2, 10, 1, "Uploading index sector 3 of 10",
         "1 spoiled reply dropped, asked for again"},
        {UploadRequest::Index, 3, 10, 2, "Uploading index sector 4 of 10",
         "3 spoiled replies dropped, asked for again"},
        {UploadRequest::Index, 0, 10, 0, "Uploading index sector 1 of 10", ""},
    };
    for (const auto& step : steps) {
        emit dialog->Session().Progress(step.request, step.pos, step.total);
        for (int k = 0; k < step.spoiled; ++k) {
            emit dialog->Session().SpoiledReply();
        }
        EXPECT_EQ(dialog->Status().Activity().toStdString(), step.status);
        EXPECT_EQ(dialog->Status().DroppedReplies().toStdString(), step.dropped);
        EXPECT_EQ(Child<QLabel>("statusDropped")->isVisibleTo(&dialog->Status()),
                  step.dropped[0] != '\0');
    }
    int boxes = 0;
    for (const auto& shown : prompt.shown) {
        boxes += shown.first.rfind("Error in serial comms", 0) == 0 ? 1 : 0;
    }
    EXPECT_EQ(boxes, 1) << "told once";
}

// Before GO too: the start-up's replies are counted beside its step; once it has ended, the
// count goes with it, and a reply dropped while the program only polls the instrument (waiting
// for GO or a session) says so, counted afresh. A transfer's count does not outlive it either.
TEST_F(MainWindowTest, SpoiledRepliesBeforeGoAreCountedBesideTheStepUnderWay) {
    Make();
    dialog->show();
    const char* const ready = "Ready: GO uploads the session index";
    const struct {
        std::function<void()> event;
        int spoiled;
        const char* status;
        const char* dropped;
    } steps[] = {
        // The instrument answers (again): its information is read.
        {[&] { dialog->ShowMessage(MessageKind::Status, std::string()); }, 1,
         "Reading the instrument's information", "1 spoiled reply dropped, asked for again"},
        {[] {}, 2, "Reading the instrument's information",
         "3 spoiled replies dropped, asked for again"},
        {[&] { dialog->RequestEnded(UploadRequest::StartUp, true); }, 0, ready, ""},
        {[] {}, 1, ready, "1 spoiled reply dropped while polling the instrument, asked for again"},
        {[] {}, 1, ready,
         "2 spoiled replies dropped while polling the instrument, asked for again"},
        {[&] { emit dialog->Session().Progress(UploadRequest::Index, 0, 10); }, 1,
         "Uploading index sector 1 of 10", "1 spoiled reply dropped, asked for again"},
        {[&] {
             emit dialog->Session().Progress(UploadRequest::Index, 0, 0);
             dialog->RequestEnded(UploadRequest::Index, false);
         },
         0, "The index upload did not finish; GO tries again", ""},
        {[] {}, 1, "The index upload did not finish; GO tries again",
         "1 spoiled reply dropped while polling the instrument, asked for again"},
    };
    for (const auto& step : steps) {
        step.event();
        for (int k = 0; k < step.spoiled; ++k) {
            emit dialog->Session().SpoiledReply();
        }
        EXPECT_EQ(dialog->Status().Activity().toStdString(), step.status);
        EXPECT_EQ(dialog->Status().DroppedReplies().toStdString(), step.dropped) << step.status;
        EXPECT_EQ(Child<QLabel>("statusDropped")->isVisibleTo(&dialog->Status()),
                  step.dropped[0] != '\0');
    }
}

// Where each widget sits in the window.
QRect InWindow(const QWidget* w, const QWidget* window) {
    return QRect(w->mapTo(window, QPoint(0, 0)), w->size());
}

TEST_F(MainWindowTest, GrowsToAnySizeAndBackWithoutOverlapOrCutText) {
    Make();
    dialog->show();
    EXPECT_TRUE(dialog->windowFlags() & Qt::WindowMaximizeButtonHint);
    QApplication::processEvents();
    const QSize smallest = dialog->minimumSizeHint().expandedTo(dialog->minimumSize());
    dialog->resize(smallest);
    QApplication::processEvents();

    const char* names[] = {"goButton",   "nextButton",  "fullDayBox", "sessionTree",
                           "reportView", "progressBar", "okButton",   "statusLine"};
    std::vector<QWidget*> widgets;
    for (const char* name : names) {
        widgets.push_back(Child<QWidget>(name));
    }
    widgets.push_back(dialog->findChild<QMenuBar*>());
    const auto places = [&] {
        std::vector<QRect> rects;
        for (QWidget* w : widgets) {
            rects.push_back(InWindow(w, dialog.get()));
        }
        return rects;
    };
    const auto checkLayout = [&](const char* when) {
        const std::vector<QRect> rects = places();
        for (size_t i = 0; i < rects.size(); ++i) {
            EXPECT_TRUE(dialog->rect().contains(rects[i])) << when << " " << i;
            // Nothing cut: every control has at least the room its text asks for.
            EXPECT_GE(rects[i].width(), widgets[i]->minimumSizeHint().width()) << when << " " << i;
            EXPECT_GE(rects[i].height(), widgets[i]->minimumSizeHint().height()) << when << i;
            for (size_t j = i + 1; j < rects.size(); ++j) {
                EXPECT_FALSE(rects[i].intersects(rects[j])) << when << " " << i << " " << j;
            }
        }
    };
    checkLayout("smallest");
    const std::vector<QRect> before = places();
    const QRect window = dialog->rect();

    dialog->resize(1600, 1000);
    QApplication::processEvents();
    ASSERT_EQ(dialog->size(), QSize(1600, 1000));
    checkLayout("large");
    const std::vector<QRect> after = places();
    const QSize grown = dialog->size() - window.size();
    // GO stays at the top left, Next and Full Day at the top right, OK at the bottom right.
    EXPECT_EQ(after[0].topLeft(), before[0].topLeft());
    EXPECT_EQ(after[1].topRight(), before[1].topRight() + QPoint(grown.width(), 0));
    EXPECT_EQ(after[2].topRight(), before[2].topRight() + QPoint(grown.width(), 0));
    EXPECT_EQ(after[6].bottomRight(),
              before[6].bottomRight() + QPoint(grown.width(), grown.height()));
    // The tree and the report take the room, the report most of it.
    const int treeGain = after[3].width() - before[3].width();
    const int reportGain = after[4].width() - before[4].width();
    EXPECT_GT(treeGain, 0);
    EXPECT_GT(reportGain, 2 * treeGain);
    EXPECT_EQ(after[3].height() - before[3].height(), grown.height());
    EXPECT_EQ(after[4].height() - before[4].height(), grown.height());

    dialog->resize(smallest);
    QApplication::processEvents();
    EXPECT_EQ(places(), before);
    // Never smaller than the template.
    dialog->resize(400, 200);
    QApplication::processEvents();
    EXPECT_EQ(dialog->size(), smallest);
}

TEST_F(MainWindowTest, SizeAndPlaceAreRememberedInTheProgramsOwnFile) {
    const QString file = QDir::current().absoluteFilePath("window.ini");
    Make(file);
    dialog->show();
    dialog->resize(1300, 800);
    Child<QSplitter>("treeAndReport")->setSizes({400, 800});
    QApplication::processEvents();
    const QList<int> split = Child<QSplitter>("treeAndReport")->sizes();
    dialog->Action("actionQuit")->trigger();
    ASSERT_TRUE(QFile::exists(file));
    EXPECT_FALSE(QFile::exists("Settings.ini"));

    Make(file);
    dialog->show();
    QApplication::processEvents();
    EXPECT_EQ(dialog->size(), QSize(1300, 800));
    EXPECT_EQ(Child<QSplitter>("treeAndReport")->sizes(), split);
}

TEST_F(MainWindowTest, StatusLineSaysWhichLinesTheFilterHidesAndWhatWasSaved) {
    Make();
    InitialiseOffline();
    FilterDialog& filter = dialog->Filter();
    EXPECT_TRUE(dialog->Status().FilterNote().isEmpty());
    const struct {
        const char* box;
        const char* note;
    } steps[] = {{"alarmBox", "Alarm lines hidden"},
                 {"timedBox", "Alarm and timed lines hidden"},
                 {"bumpTestBox", "Alarm, timed and bump test lines hidden"},
                 {"showAllLogsBox", ""}};
    for (const auto& step : steps) {
        filter.findChild<QCheckBox*>(step.box)->click();
        EXPECT_EQ(dialog->Status().FilterNote(), QString(step.note)) << step.box;
    }

    ASSERT_TRUE(dialog->OpenDumpFrom(WriteDump(QDir::current().absoluteFilePath("dump.txt"))));
    Child<QTreeWidget>("sessionTree")
        ->setCurrentItem(Child<QTreeWidget>("sessionTree")->topLevelItem(0)->child(0)->child(0));
    saveName = QDir::current().absoluteFilePath("tuesday18.Rtf");
    dialog->SaveReport();
    EXPECT_EQ(dialog->Status().Activity(),
              "Saved the report of Tuesday 18 Aug 2026 (1 session) to " +
                  QDir::toNativeSeparators(saveName));
}

// Texts too long for the line keep their start and their end (the file saved, the count), the
// whole text in the tooltip; the connection shares the room rather than taking it all.
TEST_F(MainWindowTest, LongStatusTextsAreShortenedInTheMiddle) {
    Make();
    dialog->show();
    const QString index = "Index uploaded: 73 sessions in the tree";
    const QString saved = "Saved the report of Tuesday 18 Aug 2026 (1 session) to /home/you/" +
                          QString("reports/").repeated(30) + "2026-08-18 08-59-25.Rtf";
    const QString connection = "Connected over the pipe \"RAK Pipe\": serial number " +
                               QString("TAV-41200678388, ").repeated(8) + "firmware 4.12.0003";
    auto* activity = Child<QLabel>("statusActivity");
    auto* link = Child<QLabel>("statusConnection");
    const struct {
        QSize window;
        QString text;
    } cases[] = {{{1280, 800}, index}, {{1920, 1080}, saved}, {{1280, 800}, saved}};
    for (const auto& c : cases) {
        dialog->resize(c.window);
        dialog->Status().SetConnection(connection);
        dialog->Status().SetActivity(c.text);
        QApplication::processEvents();
        const QString shown = activity->text();
        EXPECT_EQ(activity->toolTip().toStdString(), c.text.toStdString());
        EXPECT_EQ(dialog->Status().Activity(), c.text);
        EXPECT_LE(activity->fontMetrics().horizontalAdvance(shown),
                  activity->contentsRect().width());
        EXPECT_TRUE(shown.startsWith(c.text.left(14))) << shown.toStdString();
        EXPECT_TRUE(shown.endsWith(c.text.right(10))) << shown.toStdString();
        EXPECT_EQ(shown == c.text, !shown.contains(QChar(0x2026))) << shown.toStdString();
        // The connection is shortened the same way, never pushing the activity out.
        EXPECT_EQ(link->toolTip().toStdString(), connection.toStdString());
        EXPECT_TRUE(link->text().endsWith("4.12.0003")) << link->text().toStdString();
        EXPECT_GE(activity->width(), activity->fontMetrics().horizontalAdvance(index))
            << c.window.width();
    }
}

// The texts the line says every day show whole at both usual sizes, beside a connection that
// names its instrument; only a text longer than the line is shortened, whole in its tooltip.
TEST_F(MainWindowTest, EverydayStatusTextsShowWholeAndOnlyTooLongOnesAreShortened) {
    Make();
    dialog->show();
    auto* activity = Child<QLabel>("statusActivity");
    auto* link = Child<QLabel>("statusConnection");
    const QString connection = "Connected over the pipe \"RAK Pipe\": serial number "
                               "TAV-41200678388, firmware 4.12.0003";
    const QString longPath = "Saved the report of Tuesday 18 Aug 2026 (1 session) to /home/you/" +
                             QString("reports/").repeated(40) + "2026-08-18 08-59-25.Rtf";
    const struct {
        QString text;
        bool whole;
    } texts[] = {
        {"Ready: GO uploads the session index", true},
        {"Reading the instrument's information", true},
        {"Index uploaded: 73 sessions in the tree", true},
        {"Uploading session 08:59:25, piece 3 of 12", true},
        {"Report: Tuesday 18 Aug 2026, 1 session", true},
        {"Saved the report of Tuesday 18 Aug 2026 (1 session) to "
         "/home/you/reports/2026-08-18 08-59-25.Rtf",
         true},
        {longPath, false},
    };
    for (const QSize window : {QSize(1280, 800), QSize(1920, 1080)}) {
        dialog->resize(window);
        dialog->Status().SetConnection(connection);
        for (const auto& t : texts) {
            dialog->Status().SetActivity(t.text);
            QApplication::processEvents();
            const QString shown = activity->text();
            EXPECT_EQ(shown == t.text, t.whole) << window.width() << ": " << shown.toStdString();
            EXPECT_EQ(shown.contains(QChar(0x2026)), !t.whole) << shown.toStdString();
            EXPECT_EQ(activity->toolTip(), t.text);
            EXPECT_TRUE(shown.startsWith(t.text.left(14))) << shown.toStdString();
            EXPECT_TRUE(shown.endsWith(t.text.right(10))) << shown.toStdString();
            // A text that fits leaves the connection whole too; one that does not takes the
            // connection's room first.
            EXPECT_EQ(link->text() == connection, t.whole) << link->text().toStdString();
            EXPECT_EQ(link->toolTip(), connection);
        }
    }
}

TEST_F(MainWindowTest, FilterIsAPanelWithACloseButton) {
    Make();
    dialog->show();
    FilterDialog& filter = dialog->Filter();
    QAction* action = dialog->Action("actionFilter");
    action->trigger();
    EXPECT_TRUE(filter.isVisible());
    EXPECT_TRUE(filter.isWindow()) << "not drawn over the report";
    EXPECT_TRUE(filter.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(filter.windowType(), Qt::Tool);
    EXPECT_TRUE(action->isChecked());
    filter.close();
    EXPECT_FALSE(filter.isVisible());
    EXPECT_FALSE(action->isChecked()) << "the menu follows the close button";
    action->trigger();
    EXPECT_TRUE(filter.isVisible());
}

// A session's tags, from its index name: the program's tree labels it as designed, the archive's
// tree and `archive list` with the same words, and both trees explain them in one tooltip.
TEST_F(MainWindowTest, BothTreesAndTheListingTagASessionAlikeAndExplainTheTags) {
    const struct {
        const char* marks; // name positions 9 to 12
        const char* label; // after the time in the program's tree
        const char* words; // in the archive's tree
        std::vector<const char*> tips;
    } cases[] = {
        {"----", "     ", "", {"No tags: a session without alarms or calibrations"}},
        {"F---", "FC   ", "FC", {"FC: a field calibration was made in this session"}},
        {"---C", "   C ", "C", {"C: the instrument was calibrated in this session"}},
        {"-A--", "     Alm ", "Alm", {"Alm: an alarm went off in this session"}},
        {"--C-",
         "     (cont) ",
         "(cont)",
         {"(cont): continues the session before it, whose memory was full"}},
        {"FACC",
         "FC C Alm (cont) ",
         "FC C Alm (cont)",
         {"FC: a field", "C: the instrument", "Alm: an alarm", "(cont): continues"}},
    };
    const int count = static_cast<int>(std::size(cases));
    std::vector<uint8_t> bytes(LogImage::kImageSize, 0);
    std::fill(bytes.begin(), bytes.begin() + LogImage::kIndexSectors * LogImage::kSectorSize, 0xFF);
    const uint32_t first = testsupport::InstrumentStamp(2026, 8, 18, 8, 0, 0);
    for (int slot = 0; slot < count; ++slot) {
        const uint32_t stamp = first + static_cast<uint32_t>(slot) * 3600;
        char name[24];
        std::snprintf(name, sizeof name, "%08X %sSUR JB", static_cast<unsigned>(stamp),
                      cases[slot].marks);
        std::copy(name, name + 19, bytes.begin() + slot * LogImage::kEntrySize);
        std::vector<uint8_t> stream;
        RecordBuilder::Stamped('O', '1', stamp).Chars("SUR", 3).AppendTo(stream);
        RecordBuilder::Stamped('Y', '1', stamp + 600).AppendTo(stream);
        std::copy(stream.begin(), stream.end(),
                  bytes.begin() + (slot + 10) * LogImage::kSectorSize);
    }
    const QString dump = QDir::current().absoluteFilePath("tags.txt");
    ASSERT_TRUE(testsupport::WriteFlashDump(dump.toStdString(), bytes));
    Make();
    ASSERT_TRUE(dialog->OpenDumpFrom(dump));
    const QString at = QDir::current().absoluteFilePath("tags.sqlite");
    ArchiveTheDump(dump, at, "unit 7");
    ArchiveDialog archived(at);
    ASSERT_TRUE(archived.Open());
    ASSERT_EQ(archived.Search(), count);
    QTreeWidgetItem* day = Child<QTreeWidget>("sessionTree")->topLevelItem(0)->child(0);
    QTreeWidgetItem* archivedDay = archived.Tree()->topLevelItem(0)->child(0);
    ASSERT_EQ(day->childCount(), count);
    ASSERT_EQ(archivedDay->childCount(), count);
    QStringList lines;
    archive::SessionArchive store;
    ASSERT_TRUE(store.Open(at));
    ASSERT_TRUE(store.ForEach(
        {}, [&](const archive::ListedSession& s) { lines << s.line; }, archive::ListDetail::Line));
    for (int slot = 0; slot < count; ++slot) {
        SCOPED_TRACE(cases[slot].marks);
        const QTreeWidgetItem* node = day->child(slot);
        const QString time = node->text(0).left(8);
        EXPECT_EQ(node->text(0), time + cases[slot].label);
        const QString tip = node->toolTip(0);
        for (const char* line : cases[slot].tips) {
            EXPECT_TRUE(tip.contains(line)) << tip.toStdString();
        }
        EXPECT_TRUE(tip.endsWith("Click to read its report")) << tip.toStdString();
        const QString words = QString(cases[slot].words);
        const QTreeWidgetItem* kept = archivedDay->child(slot);
        EXPECT_EQ(kept->text(0), time + (words.isEmpty() ? "" : " " + words) + "  unit 7");
        EXPECT_EQ(kept->toolTip(0), tip);
        const QString tags = QString(words).replace(' ', ',');
        EXPECT_TRUE(lines.value(slot).contains(
            QRegularExpression(QString("  slot +%1  %2(,open)?( |$)")
                                   .arg(slot)
                                   .arg(QRegularExpression::escape(tags)))))
            << lines.value(slot).toStdString();
    }
}

} // namespace
