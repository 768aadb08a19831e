// The pictures of the user manual, taken from the program itself, offscreen: the main window
// started without an instrument and browsing a dump, then against tavon-instrument after GO (a
// Full Day with alarm lines filtered out, the Chart tab of a session with alarms, the Map tab of
// the busiest survey), the dialogs of View > Map Background... and File > Download
// Automatically..., and the archive window (its Chart tab, its Sign Off...) and the Instruments
// window over an archive that scripts/screenshots.sh downloaded, and Help > User Guide itself.
// Usage: manual_shots OUTPUT_FOLDER DAY_DUMP ARCHIVE
//   DAY_DUMP  a dump holding the index and one day's sessions (download --day)
//   ARCHIVE   an archive of the simulator's instruments, with a personal key of this user
#include "GuiTestSupport.h"
#include "gui/ArchiveDialog.h"
#include "gui/ChartPanel.h"
#include "gui/FilterDialog.h"
#include "gui/InstrumentsWindow.h"
#include "gui/MainDialog.h"
#include "gui/MapBackground.h"
#include "gui/MapBackgroundDialog.h"
#include "gui/MapPanel.h"
#include "gui/SignOffDialog.h"
#include "gui/UserGuide.h"
#include "gui/WatchSettingsDialog.h"

#include "app/BrowserView.h"
#include "linkselect/LinkSelect.h"
#include "map/SurveyRecord.h"
#include "report/Report.h"
#include "sim/LogMemory.h"
#include "testsupport/SessionStreams.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextEdit>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

// The window as it looks, with a window of its own that stands over it (the filter panel) drawn
// where it stands: a grab holds one window only.
bool Grab(QWidget& widget, const QDir& folder, const char* name, QWidget* over = nullptr) {
    widget.show();
    WaitFor([] { return false; }, 300);
    const QString path = folder.absoluteFilePath(QString::fromLatin1(name) + ".png");
    QPixmap picture = widget.grab();
    if (over != nullptr && over->isVisible()) {
        QPainter painter(&picture);
        painter.drawPixmap(widget.mapFromGlobal(over->mapToGlobal(QPoint(0, 0))), over->grab());
    }
    const bool saved = picture.save(path, "PNG");
    std::fprintf(stderr, "%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
    return saved;
}

// The slot of the simulator's session with the most survey positions: the Map tab's picture is
// of a survey.
int BusiestSurvey() {
    sim::LogMemory memory;
    memory.Generate(sim::MemoryOptions());
    int best = -1;
    size_t most = 0;
    const std::string modes[4] = {"", "", "", ""};
    for (const sim::GeneratedSession& generated : memory.Sessions()) {
        testsupport::SessionStreams source;
        source.streams[static_cast<int16_t>(generated.slot)] = generated.stream;
        const SessionValues session =
            DecodeSessionValues(source, static_cast<int16_t>(generated.slot), modes);
        size_t located = 0;
        for (const TrackPiece& piece : TrackPieces(session)) {
            located += piece.size();
        }
        if (located > most) {
            most = located;
            best = generated.slot;
        }
    }
    return best;
}

int SlotOf(const QTreeWidgetItem* session) {
    return static_cast<int>(session->data(0, Qt::UserRole).toUInt() & 0xFFFF);
}

// The first session node the test accepts, month by month and day by day.
QTreeWidgetItem* FindSession(QTreeWidget& tree,
                             const std::function<bool(QTreeWidgetItem* day, int index)>& wanted) {
    for (int m = 0; m < tree.topLevelItemCount(); ++m) {
        QTreeWidgetItem* month = tree.topLevelItem(m);
        for (int d = 0; d < month->childCount(); ++d) {
            QTreeWidgetItem* day = month->child(d);
            for (int s = 0; s < day->childCount(); ++s) {
                if (wanted(day, s)) {
                    return day->child(s);
                }
            }
        }
    }
    return nullptr;
}

void ShowOnly(QTreeWidget& tree, QTreeWidgetItem* session) {
    for (int m = 0; m < tree.topLevelItemCount(); ++m) {
        tree.topLevelItem(m)->setExpanded(false);
    }
    session->parent()->parent()->setExpanded(true);
    session->parent()->setExpanded(true);
}

// The report from a few lines above its first marked line (an alarm's time, red on yellow).
void ScrollToFirstMark(QTextEdit& view) {
    for (QTextBlock block = view.document()->begin(); block.isValid(); block = block.next()) {
        bool marked = false;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            marked = marked || it.fragment().charFormat().background().style() != Qt::NoBrush;
        }
        if (marked) {
            QTextCursor end(view.document());
            end.movePosition(QTextCursor::End);
            view.setTextCursor(end);
            view.ensureCursorVisible();
            view.setTextCursor(QTextCursor(
                view.document()->findBlockByNumber(std::max(0, block.blockNumber() - 4))));
            view.ensureCursorVisible();
            return;
        }
    }
}

// Started without an instrument, then browsing a dump of one day.
bool OfflineShots(const QDir& folder, const QString& dayDump) {
    PrivatePlace place;
    RecordingPrompt prompt;
    MainDialogEnvironment env;
    env.prompt = &prompt;
    CancellingHost host;
    CLinkSelect().SetDialogHost(&host);
    MainDialog dialog(env);
    dialog.Initialise();
    CLinkSelect().SetDialogHost(nullptr);
    dialog.resize(1020, 506);
    bool ok = Grab(dialog, folder, "offline-start");
    ok = dialog.OpenDumpFrom(dayDump) && ok;
    auto* tree = dialog.findChild<QTreeWidget*>("sessionTree");
    if (tree->topLevelItemCount() > 0) {
        QTreeWidgetItem* month = tree->topLevelItem(0);
        month->setExpanded(true);
        for (int d = 0; d < std::min(2, month->childCount()); ++d) {
            month->child(d)->setExpanded(true);
        }
    }
    ok = Grab(dialog, folder, "offline-dump") && ok;
    dialog.OnOk();
    return ok;
}

class ConnectedWindow {
public:
    bool Start() {
        if (!simulator_.Start({})) {
            std::fprintf(stderr, "tavon-instrument did not start\n");
            return false;
        }
        env_.prompt = &prompt_;
        env_.tickMs = 20;
        dialog_ = std::make_unique<MainDialog>(env_);
        QObject::connect(dialog_.get(), &MainDialog::requestEnded,
                         [this](int request, bool) { ended_.push_back(request); });
        QObject::connect(dialog_.get(), &MainDialog::reportShown, [this] { ++reports_; });
        if (!dialog_->Initialise()) {
            return false;
        }
        dialog_->show();
        if (!WaitEnded(UploadRequest::StartUp)) {
            return false;
        }
        dialog_->findChild<QPushButton*>("goButton")->click();
        return WaitEnded(UploadRequest::Index);
    }

    // A session chosen in the tree and shown: uploaded, or from the memory where it is there.
    bool Choose(QTreeWidgetItem* session) {
        if (session == nullptr) {
            std::fprintf(stderr, "manual_shots: the session to show is not in the tree\n");
            return false;
        }
        ShowOnly(*Tree(), session);
        if (Tree()->currentItem() == session) {
            return true; // on screen already
        }
        const int shown = reports_;
        Tree()->setCurrentItem(session);
        const bool ok = WaitFor([&] { return reports_ > shown; }, 120000);
        Tree()->scrollToItem(session);
        if (!ok) {
            std::fprintf(stderr, "manual_shots: %s was not shown\n", qPrintable(session->text(0)));
        }
        return ok;
    }

    bool WaitEnded(UploadRequest request) {
        return WaitFor(
            [&] {
                const auto it = std::find(ended_.begin(), ended_.end(), static_cast<int>(request));
                if (it == ended_.end()) {
                    return false;
                }
                ended_.erase(it);
                return true;
            },
            120000);
    }

    MainDialog& Dialog() { return *dialog_; }
    QTreeWidget* Tree() { return dialog_->findChild<QTreeWidget*>("sessionTree"); }

private:
    PrivatePlace place_;
    Simulator simulator_;
    RecordingPrompt prompt_;
    MainDialogEnvironment env_;
    std::unique_ptr<MainDialog> dialog_;
    std::vector<int> ended_;
    int reports_ = 0; // reports put on screen
};

bool ConnectedShots(const QDir& folder) {
    ConnectedWindow window;
    if (!window.Start()) {
        return false;
    }
    MainDialog& dialog = window.Dialog();
    auto* tabs = dialog.findChild<QTabWidget*>("reportTabs");
    auto* view = dialog.findChild<QTextEdit*>("reportView");

    // Tuesday 18 as one report, its alarm lines hidden by the filter panel.
    dialog.resize(1272, 880);
    QTreeWidgetItem* tuesday = FindSession(*window.Tree(), [](QTreeWidgetItem* day, int s) {
        return s == 0 && day->text(0).startsWith("Tuesday 18");
    });
    bool ok = window.Choose(tuesday);
    auto* fullDay = dialog.findChild<QCheckBox*>("fullDayBox");
    fullDay->click();
    // The rest of the day is uploaded, session by session, into the one report.
    const size_t day = static_cast<size_t>(tuesday->parent()->childCount());
    ok = ok && WaitFor([&] { return dialog.Browser().ShownSlots().size() == day; }, 120000);
    if (!ok) {
        std::fprintf(stderr, "manual_shots: the Full Day of Tuesday 18 did not come\n");
    }
    dialog.ToggleFilter();
    dialog.Filter().findChild<QCheckBox*>("alarmBox")->click();
    ok = ok && Grab(dialog, folder, "window-large", &dialog.Filter());
    dialog.Filter().findChild<QCheckBox*>("alarmBox")->click();
    dialog.ToggleFilter();
    fullDay->click();

    // A session with an alarm in its Chart tab.
    dialog.resize(1536, 864);
    ok = window.Choose(FindSession(*window.Tree(),
                                   [](QTreeWidgetItem* day, int s) {
                                       return day->child(s)->text(0).contains("Alm") &&
                                              day->childCount() > 2;
                                   })) &&
         ok;
    ScrollToFirstMark(*view);
    tabs->setCurrentIndex(1);
    dialog.Chart().Finish();
    ok = Grab(dialog, folder, "chart-window") && ok;

    // The busiest survey in the Map tab.
    dialog.resize(1280, 800);
    const int survey = BusiestSurvey();
    ok = window.Choose(FindSession(
             *window.Tree(),
             [survey](QTreeWidgetItem* day, int s) { return SlotOf(day->child(s)) == survey; })) &&
         ok;
    tabs->setCurrentIndex(2);
    dialog.Map().Finish();
    ok = Grab(dialog, folder, "map-window") && ok;
    dialog.OnOk();
    return ok;
}

bool DialogShots(const QDir& folder) {
    PrivatePlace place;
    MapBackgroundChoice choice;
    choice.kind = MapBackgroundChoice::Kind::TileFile;
    choice.tileFile = QDir(place.work()).absoluteFilePath("town.mbtiles");
    MapBackgroundDialog background(choice);
    bool ok = Grab(background, folder, "map-background");
    WatchSettingsDialog watch;
    watch.findChild<QLineEdit*>("watchOut")->setText("/srv/reports/{instrument}/{month}/{date}");
    watch.findChild<QCheckBox*>("watchCsv")->setChecked(true);
    watch.findChild<QCheckBox*>("watchPdf")->setChecked(true);
    ok = Grab(watch, folder, "download-automatically") && ok;
    UserGuide guide;
    guide.resize(900, 640);
    guide.Open(QUrl("reports.md"));
    ok = Grab(guide, folder, "user-guide") && ok;
    return ok;
}

bool ArchiveShots(const QDir& folder, const QString& archive) {
    ArchiveDialog window(archive);
    window.resize(1200, 700);
    bool ok = window.Open();
    window.FullDay()->setChecked(true);
    QTreeWidgetItem* first =
        FindSession(*window.Tree(), [](QTreeWidgetItem*, int) { return true; });
    if (first == nullptr) {
        return false;
    }
    ShowOnly(*window.Tree(), first);
    window.Tree()->setCurrentItem(first);
    window.findChild<QTabWidget*>("reportTabs")->setCurrentIndex(1);
    window.Chart()->Finish();
    ok = Grab(window, folder, "archive-chart") && ok;

    if (auto* signOff = qobject_cast<SignOffDialog*>(window.OpenSignOff())) {
        signOff->MeaningField()->setText("reviewed, approved");
        signOff->InstrumentField()->setText("van 1");
        signOff->FromField()->setText("2026-11-01");
        signOff->ToField()->setText("2026-11-30");
        ok = Grab(*signOff, folder, "sign-off") && ok;
        signOff->close();
    } else {
        ok = false;
    }

    InstrumentsWindow instruments(archive);
    ok = instruments.Open() && ok;
    instruments.resize(1200, 420);
    ok = Grab(instruments, folder, "instruments") && ok;
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: manual_shots OUTPUT_FOLDER DAY_DUMP ARCHIVE\n");
        return 2;
    }
    const QDir folder(QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[1])));
    const QString dayDump = QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[2]));
    const QString archive = QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[3]));
    if (!folder.exists() && !QDir().mkpath(folder.path())) {
        std::fprintf(stderr, "cannot make %s\n", argv[1]);
        return 1;
    }
    if (qEnvironmentVariableIsEmpty("TAVON_BIN_DIR")) {
        qputenv("TAVON_BIN_DIR", QCoreApplication::applicationDirPath().toLocal8Bit());
    }
    bool ok = OfflineShots(folder, dayDump);
    ok = ConnectedShots(folder) && ok;
    ok = DialogShots(folder) && ok;
    ok = ArchiveShots(folder, archive) && ok;
    return ok ? 0 : 1;
}
