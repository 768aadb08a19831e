// The program's main dialog, built in this process, against tavon-instrument on a private pipe.
#include "GuiTestSupport.h"
#include "gui/BackgroundSync.h"
#include "gui/ChartPanel.h"
#include "gui/FilterDialog.h"
#include "gui/MainDialog.h"
#include "gui/MapPanel.h"
#include "gui/RtfView.h"
#include "gui/StatusLine.h"
#include "gui/Watchdog.h"

#include "app/BrowserView.h"
#include "app/SessionBrowser.h"
#include "archive/ArchiveHistory.h"
#include "archive/SessionArchive.h"
#include "charts/ChartText.h"
#include "charts/SessionChartPlot.h"
#include "charts/SessionChartSource.h"
#include "compliance/CivilDay.h"
#include "compliance/InstrumentRegister.h"
#include "compliance/SwitchOnStatus.h"
#include "core/LogImage.h"
#include "linkselect/LinkSelect.h"
#include "linkselect/PortDialogHost.h"
#include "linkselect/Settings.h"
#include "metertalk/Comms.h"
#include "orvtime/TimeFormat.h"
#include "report/Report.h"
#include "session/InstrumentSession.h"
#include "testsupport/TestPace.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTextBlock>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <gtest/gtest.h>

#include "session/LinkClaim.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <thread>

namespace {

const char kModeNames[] = "Survey,Leak Search,Barhole,R[seau Enqu]te";
constexpr int kLongWait = 120000;

// pdftotext's text of a PDF (Debian poppler-utils); empty when it cannot read it.
std::string PdfText(const QString& path) {
    QProcess process;
    process.start("pdftotext", {"-layout", path, "-"});
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        return std::string();
    }
    return process.readAllStandardOutput().toStdString();
}

struct Ended {
    int request;
    bool ok;
};

class EndToEnd : public ::testing::Test {
protected:
    void StartProgram(const QStringList& simulatorArguments, Watchdog* watchdog = nullptr) {
        ASSERT_TRUE(simulator.Start(simulatorArguments)) << simulator.Errors().toStdString();
        MakeDialog(watchdog);
        ASSERT_TRUE(dialog->Initialise());
        dialog->show();
    }

    void MakeDialog(Watchdog* watchdog = nullptr) {
        MainDialogEnvironment env;
        env.prompt = &prompt;
        env.watchdog = watchdog;
        env.askExportName = [this](QWidget*) { return exportName; };
        env.tickMs = testsupport::kTestTickMs;
        env.openUrl = [this](const QUrl& url) {
            opened.push_back(url);
            return true;
        };
        env.askPdfName = [this](QWidget*) { return pdfName; };
        env.askPrinter = [this](QPrinter& printer, QWidget*) {
            // No print dialog and no printer in a test: the printer writes a PDF file.
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(printName);
            return !printName.isEmpty();
        };
        dialog = std::make_unique<MainDialog>(env);
        QObject::connect(dialog.get(), &MainDialog::requestEnded, [this](int request, bool ok) {
            ended.push_back({request, ok});
        });
    }

    void TearDown() override {
        if (dialog) {
            dialog->OnOk(); // closes the link, as the user's OK does
            dialog.reset();
        }
        simulator.Stop();
    }

    bool WaitEnded(UploadRequest request, bool* ok = nullptr, int timeoutMs = kLongWait) {
        const size_t from = seen;
        const bool found = WaitFor(
            [&] {
                for (size_t i = from; i < ended.size(); ++i) {
                    if (ended[i].request == static_cast<int>(request)) {
                        seen = i + 1;
                        if (ok != nullptr) {
                            *ok = ended[i].ok;
                        }
                        return true;
                    }
                }
                return false;
            },
            timeoutMs);
        return found;
    }

    template <typename T> T* Child(const char* name) {
        T* child = dialog->findChild<T*>(name);
        EXPECT_NE(child, nullptr) << name;
        return child;
    }

    ReportState& Report() { return dialog->Report(); }

    // Lets the session's tick come `count` times (at the tests' pace).
    bool WaitTicks(int count) {
        QSignalSpy ticked(&dialog->Session(), &InstrumentSession::Ticked);
        return WaitFor([&] { return ticked.count() >= count; }, 5000);
    }

    QTreeWidget* Tree() { return Child<QTreeWidget>("sessionTree"); }

    // The first session node whose label contains `tag` (any session when empty).
    QTreeWidgetItem* FindSession(const QString& tag, int slot = -1) {
        QTreeWidget* tree = Tree();
        for (int m = 0; m < tree->topLevelItemCount(); ++m) {
            QTreeWidgetItem* month = tree->topLevelItem(m);
            for (int d = 0; d < month->childCount(); ++d) {
                QTreeWidgetItem* day = month->child(d);
                for (int s = 0; s < day->childCount(); ++s) {
                    QTreeWidgetItem* session = day->child(s);
                    const int itemSlot = session->data(0, Qt::UserRole).toInt();
                    if ((slot < 0 || itemSlot == slot) && session->text(0).contains(tag)) {
                        return session;
                    }
                }
            }
        }
        return nullptr;
    }

    void StartUpAndGo() {
        bool ok = false;
        ASSERT_TRUE(WaitEnded(UploadRequest::StartUp, &ok));
        ASSERT_TRUE(ok);
        ASSERT_TRUE(WaitFor([&] { return Child<QPushButton>("goButton")->isEnabled(); }, 5000));
        Child<QPushButton>("goButton")->click();
        ASSERT_TRUE(WaitEnded(UploadRequest::Index, &ok));
        ASSERT_TRUE(ok) << Failure();
    }

    // Why the last request failed, and what the boxes said, for a failure's message.
    std::string Failure() {
        std::string why =
            "failure " + std::to_string(static_cast<int>(dialog->Session().LastFailure()));
        for (const auto& box : prompt.shown) {
            why += "; box \"" + box.first + "\"";
        }
        return why + "; status \"" + dialog->Status().Activity().toStdString() + "\"";
    }

    void Choose(QTreeWidgetItem* item) {
        ASSERT_NE(item, nullptr);
        Tree()->setCurrentItem(item);
        bool ok = false;
        ASSERT_TRUE(WaitEnded(UploadRequest::Session, &ok));
        ASSERT_TRUE(ok) << Failure();
    }

    QByteArray Render(const QString& dump, const QStringList& slotsAndOptions) {
        const QString out = QDir::current().absoluteFilePath("render.rtf");
        QFile::remove(out);
        QStringList args{"render", dump};
        args << slotsAndOptions << "--mode-names" << kModeNames << "-o" << out;
        QByteArray errors;
        const int code = RunBuildProgram("tavon-datalog", args, nullptr, &errors);
        EXPECT_EQ(code, 0) << errors.toStdString();
        return ReadFileBytes(out);
    }

    QString SimulatorDump(const QStringList& extra = {}) {
        const QString path = QDir::current().absoluteFilePath("simulator-dump.txt");
        QByteArray errors;
        EXPECT_EQ(RunBuildProgram("tavon-instrument", QStringList{"--dump", path} + extra, nullptr,
                                  &errors),
                  0)
            << errors.toStdString();
        return path;
    }

    PrivatePlace place;
    Simulator simulator;
    RecordingPrompt prompt;
    QString exportName;
    std::unique_ptr<MainDialog> dialog;
    QString pdfName;
    QString printName;
    std::vector<Ended> ended;
    size_t seen = 0;
    std::vector<QUrl> opened;
};

TEST_F(EndToEnd, GoTreeSessionFilterSave) {
    StartProgram({});
    const QString simDump = SimulatorDump();
    // What the progress bar and the status line say each time the session tells how far the
    // index upload is.
    QStringList indexSteps;
    QObject scope;
    QObject::connect(&dialog->Session(), &InstrumentSession::Progress, &scope,
                     [&](UploadRequest request, int, int total) {
                         if (request == UploadRequest::Index && total > 0) {
                             indexSteps << Child<QProgressBar>("progressBar")->text() + " | " +
                                               dialog->Status().Activity();
                         }
                     });

    // The start-up uploads fetched the mode names from the configuration block.
    StartUpAndGo();
    QStringList expectedSteps;
    for (int sector = 1; sector <= 10; ++sector) {
        expectedSteps << QString("Sector %1 of 10 | Uploading index sector %1 of 10").arg(sector);
    }
    EXPECT_EQ(indexSteps, expectedSteps);
    EXPECT_FALSE(Child<QProgressBar>("progressBar")->isTextVisible());
    EXPECT_EQ(Report().ModeNames[0], "Survey");
    EXPECT_EQ(Report().ModeNames[3], "R\xE9seau Enqu\xEAte");

    // FlashData.txt: the ten index sectors as the instrument holds them, byte for byte, and
    // the zeros of the sectors no session upload has reached yet.
    const QByteArray flash = ReadFileBytes("FlashData.txt");
    const QByteArray simulated = ReadFileBytes(simDump);
    const qsizetype lineLength = 50; // sixteen "%02X " and CR LF
    const qsizetype indexBytes = 10 * 4096 / 16 * lineLength;
    ASSERT_EQ(flash.size(), 131072 * lineLength);
    ASSERT_EQ(simulated.size(), flash.size());
    EXPECT_TRUE(flash.left(indexBytes) == simulated.left(indexBytes));
    QByteArray zeros;
    for (int i = 0; i < 16; ++i) {
        zeros += "00 ";
    }
    zeros += "\r\n";
    EXPECT_EQ(flash.count(zeros), 131072 - 10 * 4096 / 16);

    ASSERT_GT(Tree()->topLevelItemCount(), 1);
    EXPECT_TRUE(Tree()->isEnabled());
    EXPECT_TRUE(Child<QPushButton>("goButton")->isEnabled());
    EXPECT_EQ(Child<QProgressBar>("progressBar")->value(), 0);

    // A session with an alarm, so that the filter has something to hide.
    QTreeWidgetItem* session = FindSession("Alm");
    ASSERT_NE(session, nullptr);
    const int slot = session->data(0, Qt::UserRole).toInt();
    Choose(session);
    EXPECT_TRUE(prompt.shown.empty()) << prompt.shown.front().first;

    const QByteArray expected = Render(simDump, {QString::number(slot)});
    ASSERT_FALSE(expected.isEmpty());
    EXPECT_EQ(QByteArray::fromStdString(Report().ReportText), expected);
    EXPECT_EQ(Child<RtfView>("reportView")->Rtf(), Report().ReportText);
    EXPECT_FALSE(Child<RtfView>("reportView")->toPlainText().isEmpty());

    // Saved bytes are the RTF document.
    const QString saved = QDir::current().absoluteFilePath("session.Rtf");
    ASSERT_TRUE(dialog->SaveReportTo(saved));
    EXPECT_EQ(ReadFileBytes(saved), expected);

    // File > Export... and Save as PDF... name the connected instrument by its serial number: the
    // export is the dump's with that name.
    const std::string serial = dialog->Session().Facts().serialNumber;
    ASSERT_FALSE(serial.empty());
    exportName = QDir::current().absoluteFilePath("session.csv");
    dialog->Action("actionExport")->trigger();
    const QString named = QDir::current().absoluteFilePath("named.csv");
    QByteArray errors;
    EXPECT_EQ(RunBuildProgram("tavon-datalog",
                              {"export", simDump, QString::number(slot), "--format", "csv",
                               "--mode-names", kModeNames, "--instrument",
                               QString::fromStdString(serial), "-o", named},
                              nullptr, &errors),
              0)
        << errors.toStdString();
    EXPECT_EQ(ReadFileBytes(exportName), ReadFileBytes(named));
    pdfName = QDir::current().absoluteFilePath("session.pdf");
    dialog->Action("actionSavePdf")->trigger();
    EXPECT_NE(PdfText(pdfName).find("Instrument " + serial), std::string::npos);

    // Clearing "Alarm" in the filter renders once, at once, without the alarm lines; the ticks
    // that follow render nothing more.
    const int renders = dialog->RenderCount();
    dialog->Filter().findChild<QCheckBox*>("alarmBox")->click();
    EXPECT_EQ(dialog->RenderCount(), renders + 1);
    ASSERT_TRUE(WaitTicks(3));
    EXPECT_EQ(dialog->RenderCount(), renders + 1);
    EXPECT_EQ(Report().ShowAlarmLogs, 0);
    EXPECT_EQ(dialog->ShowAllLogs(), 0);
    // The report is the same session by itself, as the command line renders it without alarms.
    const QByteArray withoutAlarms = Render(simDump, {QString::number(slot), "--hide", "alarm"});
    ASSERT_FALSE(withoutAlarms.isEmpty());
    EXPECT_NE(withoutAlarms, expected);
    EXPECT_EQ(QByteArray::fromStdString(Report().ReportText), withoutAlarms);
    EXPECT_EQ(Report().ReportText.find("alarm.\\par"), std::string::npos);
    EXPECT_EQ(Report().ReportText.find("\\par -------- "), std::string::npos);
    EXPECT_EQ(Child<RtfView>("reportView")->Rtf(), Report().ReportText);

    // Setting it again brings back the report first shown.
    dialog->Filter().findChild<QCheckBox*>("alarmBox")->click();
    EXPECT_EQ(dialog->RenderCount(), renders + 2);
    EXPECT_EQ(QByteArray::fromStdString(Report().ReportText), expected);
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(EndToEnd, TheOpenLinkIsClaimedForAsLongAsItIsOpen) {
    StartProgram({});
    ASSERT_TRUE(dialog->Connected());
    // A watcher that finds the pipe held says by whom.
    EXPECT_EQ(LinkClaim::Holder("link pipe RAK Pipe"),
              QCoreApplication::applicationName().toStdString() + ", process " +
                  std::to_string(QCoreApplication::applicationPid()));
    dialog->OnOk();
    EXPECT_EQ(LinkClaim::Holder("link pipe RAK Pipe"), "");
}

TEST_F(EndToEnd, FullDayUploadsEveryFollowingSessionOfTheDayIntoOneReport) {
    StartProgram({});
    const QString simDump = SimulatorDump();
    StartUpAndGo();
    QTreeWidgetItem* day = nullptr;
    for (int m = 0; m < Tree()->topLevelItemCount() && day == nullptr; ++m) {
        for (int d = 0; d < Tree()->topLevelItem(m)->childCount(); ++d) {
            const int sessions = Tree()->topLevelItem(m)->child(d)->childCount();
            if (sessions >= 2 && sessions <= 4) {
                day = Tree()->topLevelItem(m)->child(d);
                break;
            }
        }
    }
    ASSERT_NE(day, nullptr);
    QStringList daySlots;
    for (int i = 0; i < day->childCount(); ++i) {
        daySlots << QString::number(day->child(i)->data(0, Qt::UserRole).toInt());
    }
    Child<QCheckBox>("fullDayBox")->click();
    EXPECT_FALSE(Child<QPushButton>("nextButton")->isEnabled());
    for (int i = 0; i < day->childCount(); ++i) {
        if (i == 0) {
            Tree()->setCurrentItem(day->child(0));
        }
        bool ok = false;
        ASSERT_TRUE(WaitEnded(UploadRequest::Session, &ok)) << "session " << i;
        EXPECT_TRUE(ok);
    }
    EXPECT_EQ(Tree()->currentItem(), day->child(day->childCount() - 1));
    EXPECT_EQ(QByteArray::fromStdString(Report().ReportText), Render(simDump, daySlots));
    EXPECT_TRUE(Child<QPushButton>("goButton")->isEnabled());
}

// "Fast Upload" in Settings.ini: the box in View is ticked and, from an instrument paced as a
// line (a fast one, to keep the test short), the session comes as the designed pace brings it;
// unticking it is remembered.
TEST_F(EndToEnd, FastUploadFromTheSettingsBringsTheSameSession) {
    ASSERT_TRUE(WriteSetting("Fast Upload", "TRUE"));
    StartProgram({"--baud", "460800"});
    QAction* fast = dialog->Action("actionFastUpload");
    ASSERT_NE(fast, nullptr);
    EXPECT_TRUE(fast->isChecked());
    const QString simDump = SimulatorDump();
    StartUpAndGo();
    QTreeWidgetItem* session = FindSession("Alm");
    ASSERT_NE(session, nullptr);
    Choose(session);
    EXPECT_EQ(QByteArray::fromStdString(Report().ReportText),
              Render(simDump, {QString::number(session->data(0, Qt::UserRole).toInt())}));
    fast->trigger();
    EXPECT_EQ(ReadSetting("Fast Upload"), "FALSE");
}

// What the program uploads is kept in the archive: the tree marks the sessions the archive does
// not hold, a session that arrives loses its mark, and the next GO finds it held and shows it from
// the archive, with the instrument gone.
TEST_F(EndToEnd, UploadsAreArchivedAndTheTreeMarksWhatIsNew) {
    const QString at = QDir::current().absoluteFilePath("kept.sqlite");
    ASSERT_TRUE(WriteSetting("Archive", at.toStdString()));
    ASSERT_TRUE(WriteSetting("Archive Instrument", "Van 7"));
    StartProgram({});
    const auto newOnes = [this] {
        int count = 0;
        for (QTreeWidgetItemIterator it(Tree()); *it != nullptr; ++it) {
            count += (*it)->toolTip(0).endsWith("New: not yet in the archive") ? 1 : 0;
        }
        return count;
    };
    StartUpAndGo();
    const int before = newOnes();
    EXPECT_GT(before, 1);
    QTreeWidgetItem* session = FindSession("Alm");
    ASSERT_NE(session, nullptr);
    EXPECT_TRUE(session->font(0).bold());
    const int slot = session->data(0, Qt::UserRole).toInt();
    Choose(session);
    EXPECT_FALSE(FindSession("Alm", slot)->font(0).bold());
    EXPECT_EQ(newOnes(), before - 1);
    {
        archive::SessionArchive store;
        ASSERT_TRUE(store.Open(at)) << store.Error().toStdString();
        const QVector<archive::ListedSession> kept = store.List({});
        ASSERT_EQ(kept.size(), 1);
        EXPECT_EQ(kept[0].slot, slot);
        EXPECT_EQ(kept[0].instrument, QString("Van 7"));
        // The program's upload is in the archive's history, which verifies.
        QString error;
        const QVector<archive::HistoryRow> rows = archive::History(store, error);
        ASSERT_EQ(rows.size(), 4) << error.toStdString();
        EXPECT_EQ(rows[1].kind, QString("instrument"));
        EXPECT_EQ(rows[2].kind, QString("index"));
        EXPECT_EQ(rows[2].indexUploads.size(), 1);
        EXPECT_EQ(rows[3].kind, QString("download"));
        ASSERT_EQ(rows[3].sessions.size(), 1);
        EXPECT_EQ(rows[3].sessions[0].id, kept[0].id);
        EXPECT_TRUE(archive::VerifyArchive(store).Clean());
    }
    const std::string uploaded = Report().ReportText;
    // The status line says what the register says the instrument needs today, after GO and
    // after each session archived since.
    const auto saysWhatTheRegisterSays = [&] {
        archive::SessionArchive store;
        ASSERT_TRUE(store.Open(at));
        compliance::InstrumentRegister reg(store);
        int64_t today = 0;
        compliance::ParseDay(QDate::currentDate().toString("yyyy-MM-dd").toStdString(), today);
        const QVector<qint64> van = store.FindInstruments("Van 7");
        ASSERT_EQ(van.size(), 1);
        compliance::InstrumentRecord record;
        ASSERT_TRUE(reg.Status(van[0], today, record)); // the sessions' tests read as they are
        const std::vector<std::string> lines = compliance::AttentionLines(record.status);
        const QString note = Child<QLabel>("statusService")->text();
        EXPECT_EQ(note.isEmpty(), lines.empty());
        if (!lines.empty()) {
            EXPECT_TRUE(note.startsWith(QString::fromStdString(lines.front())))
                << note.toStdString();
        }
    };
    Child<QPushButton>("goButton")->click();
    bool ok = false;
    ASSERT_TRUE(WaitEnded(UploadRequest::Index, &ok));
    EXPECT_EQ(newOnes(), before - 1);
    EXPECT_TRUE(prompt.shown.empty());
    saysWhatTheRegisterSays();
    QTreeWidgetItem* calibrated = FindSession("C ");
    ASSERT_NE(calibrated, nullptr);
    Choose(calibrated);
    saysWhatTheRegisterSays();
    simulator.Stop();
    Choose(FindSession("Alm", slot));
    EXPECT_EQ(Report().ReportText, uploaded);
}

// Sync= names the team's archive: each session uploaded goes on into it, off the window's thread;
// a team's server that does not answer is told once, not at each session.
TEST_F(EndToEnd, UploadsGoOnIntoTheArchiveThatSyncNames) {
    const QString team = QDir::current().absoluteFilePath("team.sqlite");
    ASSERT_TRUE(
        WriteSetting("Archive", QDir::current().absoluteFilePath("kept.sqlite").toStdString()));
    ASSERT_TRUE(WriteSetting("Sync", team.toStdString()));
    StartProgram({});
    BackgroundSync* sync = dialog->findChild<BackgroundSync*>();
    ASSERT_NE(sync, nullptr);
    QStringList synced;
    QObject::connect(sync, &BackgroundSync::Ended,
                     [&synced](const QString& line, bool, bool) { synced << line; });
    StartUpAndGo();
    Choose(FindSession("Alm"));
    ASSERT_TRUE(WaitFor([&] { return !synced.isEmpty() && !sync->Running(); }, kLongWait));
    EXPECT_TRUE(synced.last().startsWith("synced into " + team + ": 1 instrument, 1 session new"))
        << synced.join('\n').toStdString();
    EXPECT_TRUE(prompt.shown.empty());
    ASSERT_TRUE(WriteSetting("Sync", "postgresql://tavon@%2Fno-such-folder:5432/team"));
    for (const char* tag : {"C ", "Alm"}) {
        const int before = synced.size();
        Choose(FindSession(tag));
        ASSERT_TRUE(WaitFor([&] { return synced.size() > before && !sync->Running(); }, kLongWait));
    }
    EXPECT_TRUE(synced.last().contains("does not answer")) << synced.join('\n').toStdString();
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_NE(prompt.shown[0].first.find("does not answer"), std::string::npos)
        << prompt.shown[0].first;
}

// The dump is written as the index arrives: the sessions read after it (in this run and the next)
// are in the archive only. File > Open Dump... shows them from there, saying so; a session
// neither holds is greyed and says so still; the command line names the archive's command.
TEST_F(EndToEnd, SessionsTheDumpLacksAreShownFromTheArchive) {
    const QString at = QDir::current().absoluteFilePath("kept.sqlite");
    ASSERT_TRUE(WriteSetting("Archive", at.toStdString()));
    StartProgram({});
    StartUpAndGo();
    std::map<int, std::string> read; // slot: its report as uploaded
    for (const char* tag : {"Alm", "C "}) {
        QTreeWidgetItem* session = FindSession(tag);
        ASSERT_NE(session, nullptr) << tag;
        Choose(session);
        read[session->data(0, Qt::UserRole).toInt()] = Report().ReportText;
    }
    // Quit; in a second run GO writes the dump again, and one more session is read.
    dialog->OnOk();
    dialog.reset();
    MakeDialog();
    ASSERT_TRUE(dialog->Initialise());
    dialog->show();
    StartUpAndGo();
    QTreeWidgetItem* third = nullptr;
    for (QTreeWidgetItemIterator it(Tree()); *it != nullptr && third == nullptr; ++it) {
        const int slot = (*it)->data(0, Qt::UserRole).toInt();
        third = (*it)->childCount() == 0 && slot != 0xFFFF && read.count(slot) == 0 ? *it : nullptr;
    }
    ASSERT_NE(third, nullptr);
    Choose(third);
    read[third->data(0, Qt::UserRole).toInt()] = Report().ReportText;
    ASSERT_EQ(read.size(), 3u);
    simulator.Stop();

    const QString dump = QDir::current().absoluteFilePath("FlashData.txt");
    ASSERT_TRUE(dialog->OpenDumpFrom(dump));
    EXPECT_EQ(dialog->Status().Activity(),
              QString("Opened FlashData.txt: choose a session to read it (3 sessions it lacks "
                      "shown from the archive)"));
    archive::SessionArchive store;
    ASSERT_TRUE(store.Open(at));
    std::map<int, qint64> ids;
    for (const archive::ListedSession& s : store.List({})) {
        ids[s.slot] = s.id;
    }
    QTreeWidgetItem* never = nullptr;
    for (QTreeWidgetItemIterator it(Tree()); *it != nullptr; ++it) {
        const int slot = (*it)->data(0, Qt::UserRole).toInt() & 0xFFFF;
        if (slot == 0xFFFF) {
            continue;
        }
        const bool kept = read.count(slot) > 0;
        never = never == nullptr && !kept ? *it : never;
        EXPECT_EQ((*it)->toolTip(0).startsWith(
                      QString("Not in this dump, but in the archive (id %1)").arg(ids[slot])),
                  kept)
            << slot;
        EXPECT_EQ((*it)->toolTip(0).startsWith("Not in this dump: the session was never uploaded"),
                  !kept)
            << slot;
    }
    ASSERT_NE(never, nullptr);
    for (const auto& [slot, report] : read) {
        Choose(FindSession("", slot));
        EXPECT_EQ(Report().ReportText, report) << slot;
        EXPECT_TRUE(dialog->Status().Activity().endsWith(
            QString(", 1 session, from the archive (id %1): the dump does not hold it")
                .arg(ids[slot])))
            << dialog->Status().Activity().toStdString();
        // The command line refuses the slot, naming what shows it.
        QByteArray errors;
        EXPECT_EQ(RunBuildProgram("tavon-datalog", {"render", dump, QString::number(slot)}, nullptr,
                                  &errors),
                  2);
        EXPECT_TRUE(
            errors.contains(QString("; the archive holds it: tavon-datalog archive render %1\n")
                                .arg(ids[slot])
                                .toUtf8()))
            << errors.toStdString();
    }
    const std::string shown = Report().ReportText;
    Tree()->setCurrentItem(never);
    EXPECT_EQ(Report().ReportText, shown);
    EXPECT_TRUE(dialog->Status().Activity().endsWith(
        "is not in this dump: it was never uploaded into it. Press GO with its instrument "
        "connected to read it."))
        << dialog->Status().Activity().toStdString();
}

// The sessions the register finds used while overdue or failed are marked in the tree after GO,
// beside their labels, and their tooltips say why; no other session is.
TEST_F(EndToEnd, SessionsUsedWhileOverdueAreMarkedInTheTree) {
    const QString at = QDir::current().absoluteFilePath("kept.sqlite");
    ASSERT_TRUE(WriteSetting("Archive", at.toStdString()));
    StartProgram({});
    StartUpAndGo();
    // The first two days' sessions into the archive: the second day's start without the first
    // day's bump test being valid any more.
    QTreeWidgetItem* month = Tree()->topLevelItem(0);
    ASSERT_GE(month->childCount(), 2);
    for (int d = 0; d < 2; ++d) {
        for (int s = 0; s < month->child(d)->childCount(); ++s) {
            Choose(month->child(d)->child(s));
        }
    }
    Child<QPushButton>("goButton")->click();
    bool ok = false;
    ASSERT_TRUE(WaitEnded(UploadRequest::Index, &ok));
    archive::SessionArchive store;
    ASSERT_TRUE(store.Open(at));
    compliance::InstrumentRegister reg(store);
    compliance::InstrumentRecord record;
    const QVector<archive::ListedSession> kept = store.List({});
    ASSERT_FALSE(kept.isEmpty());
    const QVector<qint64> instrument = store.FindInstruments(kept[0].instrument);
    ASSERT_EQ(instrument.size(), 1);
    ASSERT_TRUE(reg.Status(instrument[0], compliance::Today(), record));
    std::vector<compliance::SessionStart> starts;
    ASSERT_TRUE(reg.SessionStarts(record.status.usedWhileOverdue, starts));
    ASSERT_FALSE(starts.empty());
    std::set<int> expected;
    for (const archive::ListedSession& session : kept) {
        for (const compliance::SessionStart& start : starts) {
            expected.insert(session.id == start.id ? session.slot : -1);
        }
    }
    expected.erase(-1);
    std::set<int> marked;
    for (QTreeWidgetItemIterator it(Tree()); *it != nullptr; ++it) {
        if (!(*it)->icon(0).isNull()) {
            marked.insert((*it)->data(0, Qt::UserRole).toInt());
            EXPECT_TRUE((*it)->toolTip(0).contains("Used while overdue or failed"));
        }
    }
    EXPECT_EQ(marked, expected);
    // The map's survey record of such a session (one with places, so that its PDF has a map
    // page) gives its register status at switch-on, as the archive's register says.
    const archive::ListedSession* overdue = nullptr;
    for (const archive::ListedSession& session : kept) {
        if (overdue != nullptr || expected.count(session.slot) == 0) {
            continue;
        }
        for (QTreeWidgetItemIterator it(Tree()); *it != nullptr; ++it) {
            if ((*it)->childCount() == 0 && (*it)->data(0, Qt::UserRole).toInt() == session.slot) {
                Choose(*it);
                dialog->Map().Finish();
                overdue = mapping::SceneHasPlaces(dialog->Map().Scene()) ? &session : nullptr;
                break;
            }
        }
    }
    ASSERT_NE(overdue, nullptr);
    const std::string status =
        compliance::SwitchOnStatus(store).At(instrument[0], overdue->dated, overdue->stamp);
    ASSERT_FALSE(status.empty());
    const QString survey = dialog->Map().findChild<QPlainTextEdit*>("mapSurvey")->toPlainText();
    EXPECT_TRUE(survey.contains(QString::fromStdString("Register:       " + status)));
    // Save as PDF and Print give the map page the same survey record: the register's line too.
    const QRegularExpression registered(
        QString::fromStdString("Register: +" + status + " at switch-on"));
    pdfName = QDir::current().absoluteFilePath("overdue.pdf");
    printName = QDir::current().absoluteFilePath("printed.pdf");
    dialog->Action("actionSavePdf")->trigger();
    dialog->Action("actionPrint")->trigger();
    for (const QString& pdf : {pdfName, printName}) {
        const QString text = QString::fromStdString(PdfText(pdf));
        ASSERT_TRUE(text.contains("Route walked:")) << pdf.toStdString() << "\n"
                                                    << text.toStdString();
        EXPECT_TRUE(text.contains(registered)) << pdf.toStdString() << "\n" << text.toStdString();
    }
}

// An archive that cannot be opened is told once; the sessions still come and their reports too.
TEST_F(EndToEnd, AnArchiveThatCannotBeOpenedIsToldOnceAndTheReportComes) {
    QFile blocker("blocker");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    ASSERT_TRUE(WriteSetting("Archive",
                             QDir::current().absoluteFilePath("blocker/a.sqlite").toStdString()));
    StartProgram({});
    StartUpAndGo();
    Choose(FindSession("Alm"));
    EXPECT_FALSE(Report().ReportText.empty());
    Child<QPushButton>("goButton")->click();
    bool ok = false;
    ASSERT_TRUE(WaitEnded(UploadRequest::Index, &ok));
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_NE(prompt.shown.front().first.find("The archive could not be kept"), std::string::npos);
    EXPECT_FALSE(FindSession("Alm")->toolTip(0).contains("archive"));
}

// Archive Uploads unticked: nothing is kept and nothing is marked; the setting is remembered.
TEST_F(EndToEnd, ArchiveUploadsOffKeepsNothing) {
    const QString at = QDir::current().absoluteFilePath("kept.sqlite");
    ASSERT_TRUE(WriteSetting("Archive", at.toStdString()));
    StartProgram({});
    QAction* keep = dialog->Action("actionArchiveUploads");
    ASSERT_NE(keep, nullptr);
    EXPECT_TRUE(keep->isChecked());
    keep->trigger();
    EXPECT_EQ(ReadSetting("Archive Downloads"), "FALSE");
    StartUpAndGo();
    Choose(FindSession("Alm"));
    EXPECT_FALSE(FindSession("Alm")->toolTip(0).contains("archive"));
    EXPECT_FALSE(QFile::exists(at));
}

TEST_F(EndToEnd, FilterHiddenAndReachedFromTheViewMenu) {
    StartProgram({});
    FilterDialog& filter = dialog->Filter();
    EXPECT_FALSE(filter.isVisible());
    EXPECT_EQ(filter.Alarm, 1) << "initialised";
    dialog->Action("actionFilter")->trigger();
    EXPECT_TRUE(filter.isVisible());
    dialog->Action("actionFilter")->trigger();
    EXPECT_FALSE(filter.isVisible());
    // The initialisation rendered the empty report once, and the ticks render nothing more.
    EXPECT_EQ(dialog->RenderCount(), 1);
    ASSERT_TRUE(WaitTicks(3));
    EXPECT_EQ(dialog->RenderCount(), 1);
    EXPECT_EQ(Report().ReportText.rfind("{\\rtf", 0), 0u);
    EXPECT_EQ(Report().ReportText.substr(Report().ReportText.size() - 2), "}}");
}

TEST_F(EndToEnd, UnknownRecordsShowTheWarning) {
    StartProgram({"--with-unknown-records"});
    StartUpAndGo();
    QTreeWidgetItem* session = FindSession("", 480);
    ASSERT_NE(session, nullptr);
    Choose(session);
    ASSERT_FALSE(prompt.shown.empty());
    EXPECT_EQ(prompt.shown.back().second, "Warning");
    EXPECT_EQ(prompt.shown.back().first, kUnrecognisedLogsText);
    EXPECT_NE(Report().ReportText.find("Unrecognised log."), std::string::npos);
}

TEST_F(EndToEnd, ChecksumErrorsKeepTheProgramAndTheReport) {
    // Now and then a spoiled reply; the seed makes the run repeat exactly.
    StartProgram({"--fault", "checksum:0.004"});
    const QString simDump = SimulatorDump();
    QStringList saidOnTheStatusLine;
    QStringList droppedCounted;
    QObject scope;
    // The user leaves the box open: the upload goes on under it. The reply that opened the box
    // is heard here only once the box is closed; what the status line said then is read as the
    // box opens.
    int steps = 0;
    bool boxClosed = false;
    bool boxesReplyHeard = false;
    QObject::connect(&dialog->Session(), &InstrumentSession::SpoiledReply, &scope, [&] {
        if (boxClosed && !boxesReplyHeard) {
            boxesReplyHeard = true;
            return;
        }
        saidOnTheStatusLine << dialog->Status().Activity();
        droppedCounted << dialog->Status().DroppedReplies();
    });
    QObject::connect(&dialog->Session(), &InstrumentSession::Progress, &scope, [&] { ++steps; });
    bool wentOnUnderTheBox = false;
    prompt.onShow = [&](const std::string& text, const std::string&) {
        const int before = steps;
        if (text.rfind("Error in serial comms", 0) == 0) {
            saidOnTheStatusLine << dialog->Status().Activity();
            wentOnUnderTheBox = WaitFor([&] { return steps > before + 1; }, kLongWait);
            boxClosed = true;
        }
    };
    StartUpAndGo();
    QTreeWidgetItem* session = FindSession("");
    Choose(session);
    const QByteArray first = QByteArray::fromStdString(Report().ReportText);
    EXPECT_EQ(first, Render(simDump, {session->data(0, Qt::UserRole).toString()}))
        << "nothing spoiled reached the report";
    // The box came once, however many replies were spoiled.
    int boxes = 0;
    for (const auto& shown : prompt.shown) {
        boxes += shown.first.rfind("Error in serial comms", 0) == 0 ? 1 : 0;
    }
    EXPECT_EQ(boxes, 1);
    EXPECT_TRUE(wentOnUnderTheBox);
    prompt.onShow = nullptr;
    // The status line named the step under way each time, the dropped replies counted beside
    // (beside a result, as the poll's between requests).
    ASSERT_FALSE(saidOnTheStatusLine.isEmpty());
    EXPECT_EQ(saidOnTheStatusLine.filter("spoiled").size(), 0)
        << saidOnTheStatusLine.join('\n').toStdString();
    EXPECT_FALSE(saidOnTheStatusLine.filter("Uploading ").isEmpty())
        << saidOnTheStatusLine.join('\n').toStdString();
    EXPECT_EQ(droppedCounted.size(), saidOnTheStatusLine.size() - 1)
        << "the reply that opened the box is read as it opens";
    EXPECT_EQ(droppedCounted
                  .filter(QRegularExpression("^[1-9][0-9]* spoiled repl(y|ies) dropped( while "
                                             "polling the instrument)?, asked for again$"))
                  .size(),
              droppedCounted.size())
        << droppedCounted.join('\n').toStdString();
    // The program goes on: another session, and the one on screen stays until it arrives.
    QTreeWidgetItem* next = FindSession("", session->data(0, Qt::UserRole).toInt() + 1);
    if (next == nullptr) {
        next = FindSession("Alm");
    }
    ASSERT_NE(next, nullptr);
    Tree()->setCurrentItem(next);
    EXPECT_EQ(Child<RtfView>("reportView")->Rtf(), first.toStdString());
    bool ok = false;
    ASSERT_TRUE(WaitEnded(UploadRequest::Session, &ok));
    EXPECT_TRUE(ok);
    EXPECT_EQ(QByteArray::fromStdString(Report().ReportText),
              Render(simDump, {next->data(0, Qt::UserRole).toString()}));
}

TEST_F(EndToEnd, StalledInstrumentGivesTheRecoveryMessageAndGoAgain) {
    // Enough frames for the start-up uploads, then silence in the middle of the index.
    StartProgram({"--fault", "stall-after:200"});
    bool ok = false;
    ASSERT_TRUE(WaitEnded(UploadRequest::StartUp, &ok));
    ASSERT_TRUE(ok);
    Child<QPushButton>("goButton")->click();
    ASSERT_TRUE(WaitEnded(UploadRequest::Index, &ok));
    EXPECT_FALSE(ok);
    EXPECT_TRUE(prompt.Saw(UploadMachine::kNoAnswerText));
    EXPECT_TRUE(Child<QPushButton>("goButton")->isEnabled());
    EXPECT_TRUE(Tree()->isEnabled());
    EXPECT_EQ(Child<QProgressBar>("progressBar")->value(), 0);
}

TEST_F(EndToEnd, WatchdogQuietWhileAModalDialogIsOpenAndFiresWhenTheTickStops) {
    std::atomic<int> fired{0};
    // 10 ms period, limit 20: 200 ms without a tick ends "the process".
    Watchdog watchdog(std::chrono::milliseconds(10), 20, [&] { ++fired; });
    StartProgram({}, &watchdog);
    bool ok = false;
    ASSERT_TRUE(WaitEnded(UploadRequest::StartUp, &ok));

    // The About box stays open for a second, ten times the watchdog's limit; the tick goes on
    // in its event loop.
    bool aboutSeen = false;
    QTimer::singleShot(1000, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            aboutSeen = modal->windowTitle() == "About Tavon Datalogging";
            modal->close();
        }
    });
    dialog->ShowAbout();
    EXPECT_TRUE(aboutSeen);
    EXPECT_EQ(fired.load(), 0);

    // A box of the session browser stops the tick and holds the watchdog instead.
    QSignalSpy ticked(&dialog->Session(), &InstrumentSession::Ticked);
    prompt.onShow = [&](const std::string&, const std::string&) {
        EXPECT_EQ(watchdog.Counter(), Watchdog::kHeld);
        const int before = ticked.count();
        WaitFor([] { return false; }, 500);
        EXPECT_EQ(ticked.count(), before) << "a tick while the box was open";
    };
    dialog->Session().SuspendTicks();
    dialog->ShowMessage(MessageKind::Error, "held");
    dialog->Session().ResumeTicks();
    EXPECT_EQ(fired.load(), 0);
    prompt.onShow = nullptr;
    const int afterBox = ticked.count();
    EXPECT_TRUE(WaitFor([&] { return ticked.count() > afterBox; }, 5000)) << "ticking again";

    // The program hangs, so no tick comes any more: the watchdog ends it.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (fired.load() == 0 && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(fired.load(), 1);
    // The dialog goes before the watchdog it resets.
    dialog->OnOk();
    dialog.reset();
}

TEST_F(EndToEnd, RightClickChoosesTheLinkAgainAndTheProgramCarriesOn) {
    const QString log = QDir::current().absoluteFilePath("instrument.log");
    StartProgram({"--log", log});
    bool ok = false;
    ASSERT_TRUE(WaitEnded(UploadRequest::StartUp, &ok));
    ASSERT_TRUE(ok);
    EXPECT_EQ(ReadFileBytes(log).count("client connected"), 1);
    // The companion pipe is there, so choosing again takes it without a dialog.
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, QPoint(50, 40), QPoint(50, 40));
    QApplication::sendEvent(Child<QTreeWidget>("sessionTree"), &rightClick);
    Child<QPushButton>("goButton")->click();
    ASSERT_TRUE(WaitEnded(UploadRequest::Index, &ok));
    EXPECT_TRUE(ok);
    EXPECT_GT(Tree()->topLevelItemCount(), 0);
    EXPECT_EQ(ReadFileBytes(log).count("client connected"), 2);
}

// The companion program goes away and GO is pressed before a tick has noticed: the next tick
// does, the request ends at once (failed, the link lost) and the window goes offline.
TEST_F(EndToEnd, TheCompanionProgramGoingAwayEndsTheRequestAndShowsOfflineWithinATick) {
    StartProgram({});
    bool ok = false;
    ASSERT_TRUE(WaitEnded(UploadRequest::StartUp, &ok));
    ASSERT_TRUE(WaitFor([&] { return Child<QPushButton>("goButton")->isEnabled(); }, 5000));
    // Who it is, once it has said so.
    EXPECT_EQ(dialog->Status().Connection(),
              QString("Connected over the pipe \"RAK Pipe\": serial number %1, firmware 4.12.0003")
                  .arg(QString::fromStdString(dialog->Session().Facts().serialNumber)));
    EXPECT_FALSE(dialog->Session().Facts().serialNumber.empty());
    // What the status line says as the session reports the loss.
    QStringList saidWhenLost;
    QObject scope;
    QObject::connect(&dialog->Session(), &InstrumentSession::LinkLost, &scope,
                     [&] { saidWhenLost << dialog->Status().Connection(); });
    simulator.Stop();
    Child<QPushButton>("goButton")->click(); // before any tick has run
    ASSERT_TRUE(WaitEnded(UploadRequest::Index, &ok, 10000));
    EXPECT_FALSE(ok);
    EXPECT_EQ(dialog->Session().LastFailure(), RequestFailure::LinkLost);
    EXPECT_EQ(saidWhenLost, QStringList{"Offline"});
    EXPECT_FALSE(dialog->Connected());
    EXPECT_FALSE(Child<QPushButton>("goButton")->isEnabled());
    EXPECT_TRUE(dialog->Status().Activity().startsWith(
        "The companion program has closed the pipe: no instrument is connected."))
        << dialog->Status().Activity().toStdString();
    EXPECT_TRUE(prompt.shown.empty()) << prompt.shown.front().first;
    // Nothing more is said on the ticks that follow.
    ASSERT_TRUE(WaitTicks(3));
    EXPECT_EQ(saidWhenLost.size(), 1);
    EXPECT_EQ(dialog->Status().Connection(), QString("Offline"));
}

// The companion program goes away in the middle of a session's upload: GO follows the link (as
// after an offline start, a dump opened then enables it no more), and the status line names the
// session whose upload was lost.
TEST_F(EndToEnd, ALinkLostMidUploadDisablesGoAndNamesTheSessionLost) {
    StartProgram({});
    StartUpAndGo();
    QTreeWidgetItem* session = FindSession("");
    ASSERT_NE(session, nullptr);
    const QString label = session->text(0).left(8);
    QObject scope;
    QObject::connect(&dialog->Session(), &InstrumentSession::Progress, &scope,
                     [&](UploadRequest request, int done, int total) {
                         if (request == UploadRequest::Session && total > 0 && done == 1) {
                             simulator.Stop();
                         }
                     });
    Tree()->setCurrentItem(session);
    bool ok = true;
    ASSERT_TRUE(WaitEnded(UploadRequest::Session, &ok, 10000));
    EXPECT_FALSE(ok);
    ASSERT_TRUE(WaitFor([&] { return !dialog->Connected(); }, 10000));
    ASSERT_TRUE(WaitTicks(3));
    EXPECT_FALSE(Child<QPushButton>("goButton")->isEnabled());
    EXPECT_FALSE(dialog->Action("actionGo")->isEnabled());
    const QString said = dialog->Status().Activity();
    EXPECT_TRUE(said.startsWith("The companion program has closed the pipe")) << said.toStdString();
    EXPECT_TRUE(said.contains("The upload of the session " + label + " of ")) << said.toStdString();
    EXPECT_TRUE(said.contains(" did not finish")) << said.toStdString();
    // Browsing a dump offline does not bring GO back.
    ASSERT_TRUE(dialog->OpenDumpFrom(SimulatorDump()));
    EXPECT_FALSE(Child<QPushButton>("goButton")->isEnabled());
    EXPECT_FALSE(dialog->Action("actionGo")->isEnabled());
}

TEST_F(EndToEnd, StartedOfflineThenConnectedWorksAsAfterANormalStart) {
    CancellingHost host;
    CLinkSelect().SetDialogHost(&host);
    MakeDialog();
    EXPECT_FALSE(dialog->Initialise());
    dialog->show();
    EXPECT_EQ(host.runs, 1);
    EXPECT_FALSE(Child<QPushButton>("goButton")->isEnabled());

    // The companion program comes up; a right click finds its pipe.
    ASSERT_TRUE(simulator.Start({})) << simulator.Errors().toStdString();
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, QPoint(50, 40), QPoint(50, 40));
    QApplication::sendEvent(Child<QTreeWidget>("sessionTree"), &rightClick);
    CLinkSelect().SetDialogHost(nullptr);
    EXPECT_EQ(host.runs, 1) << "the pipe needs no dialog";
    EXPECT_TRUE(dialog->Connected());
    EXPECT_EQ(dialog->Status().Connection().left(9), QString("Connected"));
    StartUpAndGo();
    EXPECT_GT(Tree()->topLevelItemCount(), 0);
    Choose(FindSession(""));
    EXPECT_NE(Report().ReportText.find("Switch ON"), std::string::npos);
}

TEST_F(EndToEnd, OpenDumpBrowsesNextAndFullDayWithoutTheInstrument) {
    StartProgram({});
    bool ok = false;
    ASSERT_TRUE(WaitEnded(UploadRequest::StartUp, &ok));
    const QString simDump = SimulatorDump();

    // A malformed dump changes nothing and names the bad line.
    QFile bad("bad-dump.txt");
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("00 11 zz\r\n");
    bad.close();
    EXPECT_FALSE(dialog->OpenDumpFrom(QDir::current().absoluteFilePath("bad-dump.txt")));
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_NE(prompt.shown[0].first.find("bad-dump.txt"), std::string::npos);
    EXPECT_EQ(Tree()->topLevelItemCount(), 0);
    EXPECT_EQ(dialog->windowTitle(), QString("Tavon Datalogger"));

    ASSERT_TRUE(dialog->OpenDumpFrom(simDump));
    EXPECT_TRUE(dialog->windowTitle().contains("simulator-dump.txt"));
    ASSERT_GT(Tree()->topLevelItemCount(), 1);

    // A day with at least three sessions.
    QTreeWidgetItem* day = nullptr;
    for (int m = 0; m < Tree()->topLevelItemCount() && day == nullptr; ++m) {
        for (int d = 0; d < Tree()->topLevelItem(m)->childCount(); ++d) {
            if (Tree()->topLevelItem(m)->child(d)->childCount() >= 3) {
                day = Tree()->topLevelItem(m)->child(d);
                break;
            }
        }
    }
    ASSERT_NE(day, nullptr);
    QStringList daySlots;
    for (int i = 0; i < day->childCount(); ++i) {
        daySlots << QString::number(day->child(i)->data(0, Qt::UserRole).toInt());
    }

    Choose(day->child(0));
    EXPECT_EQ(QByteArray::fromStdString(Report().ReportText), Render(simDump, {daySlots[0]}));

    // Next: the following session of the day, as a report of its own.
    Child<QPushButton>("nextButton")->click();
    WaitFor([] { return false; }, 100);
    EXPECT_EQ(Tree()->currentItem(), day->child(1));
    EXPECT_EQ(QByteArray::fromStdString(Report().ReportText), Render(simDump, {daySlots[1]}));

    // Full Day: Next is disabled and choosing the first session collects the whole day.
    Child<QCheckBox>("fullDayBox")->click();
    EXPECT_FALSE(Child<QPushButton>("nextButton")->isEnabled());
    Tree()->setCurrentItem(day->child(0));
    WaitFor([] { return false; }, 200);
    EXPECT_EQ(Tree()->currentItem(), day->child(day->childCount() - 1));
    EXPECT_EQ(QByteArray::fromStdString(Report().ReportText), Render(simDump, daySlots));

    // A filter change shows the same day's report filtered: each session once.
    const int renders = dialog->RenderCount();
    dialog->Filter().findChild<QCheckBox*>("manualBox")->click();
    EXPECT_EQ(dialog->RenderCount(), renders + 1);
    EXPECT_EQ(QByteArray::fromStdString(Report().ReportText),
              Render(simDump, daySlots + QStringList{"--hide", "manual"}));
    EXPECT_EQ(Child<RtfView>("reportView")->Rtf(), Report().ReportText);

    // The chart beside it draws the same filtered day, as the chart library does in process.
    dialog->Chart().Finish();
    std::vector<int16_t> slotNumbers;
    for (const QString& slot : daySlots) {
        slotNumbers.push_back(static_cast<int16_t>(slot.toInt()));
    }
    const charts::SessionChart expected = charts::ChartOfSessions(
        dialog->Image(), slotNumbers, Report().ModeNames, ReportFilter(Report()));
    const charts::SessionChart& shown = dialog->Chart().Plot().Chart();
    ASSERT_FALSE(expected.gases.empty());
    ASSERT_EQ(shown.gases.size(), expected.gases.size());
    for (size_t i = 0; i < expected.gases.size(); ++i) {
        EXPECT_EQ(shown.gases[i].gas, expected.gases[i].gas);
        EXPECT_EQ(shown.gases[i].runs.size(), expected.gases[i].runs.size());
        EXPECT_EQ(shown.gases[i].PointCount(), expected.gases[i].PointCount());
    }
    EXPECT_EQ(shown.marks.size(), expected.marks.size());
    // A record in the middle of the day's second session (a calibration bench's) chosen on the
    // map: the report goes to its line and the chart's cursor to its time, the tab shown stays.
    const SessionValues second =
        DecodeSessionValues(dialog->Image(), slotNumbers[1], Report().ModeNames);
    std::vector<size_t> timed;
    for (size_t r = 0; r < second.Records.size(); ++r) {
        const RecordValue& record = second.Records[r];
        if (record.Stamped && record.Kind != RecordKind::JobNumber &&
            record.Kind != RecordKind::Unrecognised &&
            FilterShows(ReportFilter(Report()), record)) {
            timed.push_back(r);
        }
    }
    ASSERT_FALSE(timed.empty());
    mapping::SceneRecord chosen;
    chosen.session = 1;
    chosen.record = static_cast<int32_t>(timed[timed.size() / 2]);
    chosen.stamped = true;
    chosen.stamp = second.Records[timed[timed.size() / 2]].Stamp;
    auto* reportTabs = dialog->findChild<QTabWidget*>("reportTabs");
    reportTabs->setCurrentWidget(&dialog->Chart());
    emit dialog->Map().placeChosen(chosen);
    const auto* view = Child<RtfView>("reportView");
    const QString line = view->document()->findBlockByNumber(view->MarkedLine()).text();
    EXPECT_TRUE(line.contains(QString::fromStdString(
        FormatTime(second.Records[static_cast<size_t>(chosen.record)].Time, "%X"))))
        << line.toStdString();
    EXPECT_EQ(view->textCursor().blockNumber(), view->MarkedLine());
    dialog->Chart().Plot().toPixmap(900, 600);
    const QString clock = charts::ClockText(charts::ChartTime(chosen.stamp));
    const std::vector<PlotLabel> labels = dialog->Chart().Plot().Labels();
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [&](const PlotLabel& label) {
        return label.text.startsWith(clock);
    })) << clock.toStdString();
    EXPECT_EQ(reportTabs->currentWidget(), &dialog->Chart());
    // Scrolled while behind the chart: in view when its tab comes to the front.
    EXPECT_GT(view->verticalScrollBar()->value(), 0);
    reportTabs->setCurrentWidget(Child<RtfView>("reportView"));
    EXPECT_TRUE(view->viewport()->rect().contains(view->cursorRect()));
    // File > Save as PDF...: the report's lines as text, then the chart. A dump names no
    // instrument, not even the one connected.
    const std::string serial = dialog->Session().Facts().serialNumber;
    ASSERT_FALSE(serial.empty());
    pdfName = QDir::current().absoluteFilePath("day.pdf");
    dialog->Action("actionSavePdf")->trigger();
    const std::string pdfText = PdfText(pdfName);
    EXPECT_NE(pdfText.find("Switch ON by"), std::string::npos) << pdfText;
    EXPECT_EQ(pdfText.find("Instrument " + serial), std::string::npos) << pdfText;
    EXPECT_NE(pdfText.find("Time (instrument clock)"), std::string::npos);
    // The day's sessions have positions: their map page with the survey record follows.
    EXPECT_NE(pdfText.find("Route walked:"), std::string::npos);
    // File > Export...: the day's sessions, filtered as shown, in the format of the file type.
    for (const char* format : {"csv", "geojson", "gpx"}) {
        exportName = QDir::current().absoluteFilePath(QStringLiteral("day.") + format);
        dialog->Action("actionExport")->trigger();
        const QString expected = QDir::current().absoluteFilePath("expected.out");
        QByteArray errors;
        EXPECT_EQ(RunBuildProgram("tavon-datalog",
                                  QStringList{"export", simDump} + daySlots +
                                      QStringList{"--format", format, "--hide", "manual",
                                                  "--mode-names", kModeNames, "-o", expected},
                                  nullptr, &errors),
                  0)
            << errors.toStdString();
        EXPECT_EQ(ReadFileBytes(exportName), ReadFileBytes(expected)) << format;
    }

    // Unticked: back to the session the day began with, still filtered.
    Child<QCheckBox>("fullDayBox")->click();
    EXPECT_TRUE(Child<QPushButton>("nextButton")->isEnabled());
    EXPECT_EQ(Tree()->currentItem(), day->child(0));
    EXPECT_EQ(QByteArray::fromStdString(Report().ReportText),
              Render(simDump, QStringList{daySlots[0], "--hide", "manual"}));
    EXPECT_EQ(Child<RtfView>("reportView")->Rtf(), Report().ReportText);
    EXPECT_TRUE(dialog->Status().Activity().endsWith(", 1 session"))
        << dialog->Status().Activity().toStdString();
    // Ticked again with that session shown: the rest of the day at once.
    Child<QCheckBox>("fullDayBox")->click();
    EXPECT_EQ(Tree()->currentItem(), day->child(day->childCount() - 1));
    EXPECT_EQ(QByteArray::fromStdString(Report().ReportText),
              Render(simDump, daySlots + QStringList{"--hide", "manual"}));
    EXPECT_TRUE(
        dialog->Status().Activity().endsWith(QString(", %1 sessions").arg(day->childCount())))
        << dialog->Status().Activity().toStdString();

    // GO goes back to the instrument.
    Child<QPushButton>("goButton")->click();
    EXPECT_EQ(dialog->windowTitle(), QString("Tavon Datalogger"));
    ASSERT_TRUE(WaitEnded(UploadRequest::Index, &ok));
    EXPECT_TRUE(ok);
}

} // namespace
