// Grabs the main window, offscreen, after GO and the choice of a session with an alarm, against
// tavon-instrument; with --chart its Chart tab (docs/chart-window.png), with --map its Map tab
// (docs/map-window.png).
// Usage: gui_screenshot OUTPUT.png [--chart|--map]
#include "GuiTestSupport.h"
#include "gui/ChartPanel.h"
#include "gui/MainDialog.h"
#include "gui/MapPanel.h"

#include "app/BrowserView.h"
#include "map/SurveyRecord.h"
#include "report/Report.h"
#include "sim/LogMemory.h"
#include "testsupport/SessionStreams.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextEdit>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

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

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const bool chart = argc == 3 && std::strcmp(argv[2], "--chart") == 0;
    const bool map = argc == 3 && std::strcmp(argv[2], "--map") == 0;
    if (argc != 2 && !chart && !map) {
        std::fprintf(stderr, "usage: gui_screenshot OUTPUT.png [--chart|--map]\n");
        return 2;
    }
    const QString output = QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[1]));
    if (qEnvironmentVariableIsEmpty("TAVON_BIN_DIR")) {
        qputenv("TAVON_BIN_DIR", QCoreApplication::applicationDirPath().toLocal8Bit());
    }

    PrivatePlace place;
    Simulator simulator;
    if (!simulator.Start({})) {
        std::fprintf(stderr, "tavon-instrument did not start\n");
        return 1;
    }
    RecordingPrompt prompt;
    MainDialogEnvironment env;
    env.prompt = &prompt;
    env.tickMs = 20;
    MainDialog dialog(env);
    std::vector<int> ended;
    QObject::connect(&dialog, &MainDialog::requestEnded,
                     [&](int request, bool) { ended.push_back(request); });
    if (!dialog.Initialise()) {
        return 1;
    }
    dialog.show();
    auto waitEnded = [&](UploadRequest r) {
        return WaitFor(
            [&] {
                for (int e : ended) {
                    if (e == static_cast<int>(r)) {
                        ended.clear();
                        return true;
                    }
                }
                return false;
            },
            120000);
    };
    if (!waitEnded(UploadRequest::StartUp)) {
        return 1;
    }
    dialog.findChild<QPushButton*>("goButton")->click();
    if (!waitEnded(UploadRequest::Index)) {
        return 1;
    }
    // The first session with an alarm (for the map, the busiest survey), its day expanded.
    auto* tree = dialog.findChild<QTreeWidget*>("sessionTree");
    QTreeWidgetItem* chosen = nullptr;
    const int surveySlot = map ? BusiestSurvey() : -1;
    for (int m = 0; m < tree->topLevelItemCount() && chosen == nullptr; ++m) {
        QTreeWidgetItem* month = tree->topLevelItem(m);
        for (int d = 0; d < month->childCount() && chosen == nullptr; ++d) {
            QTreeWidgetItem* day = month->child(d);
            for (int s = 0; s < day->childCount(); ++s) {
                const int slot =
                    static_cast<int>(day->child(s)->data(0, Qt::UserRole).toUInt() & 0xFFFF);
                if (map ? slot == surveySlot
                        : day->child(s)->text(0).contains("Alm") && day->childCount() > 2) {
                    chosen = day->child(s);
                    break;
                }
            }
        }
    }
    if (chosen == nullptr) {
        return 1;
    }
    for (int m = 0; m < tree->topLevelItemCount(); ++m) {
        tree->topLevelItem(m)->setExpanded(false);
    }
    chosen->parent()->parent()->setExpanded(true);
    chosen->parent()->setExpanded(true);
    tree->setCurrentItem(chosen);
    if (!waitEnded(UploadRequest::Session)) {
        return 1;
    }
    tree->scrollToItem(chosen);
    // Show the report from a few lines above its first alarm, whose time mark is red on yellow.
    auto* view = dialog.findChild<QTextEdit*>("reportView");
    for (QTextBlock block = view->document()->begin(); block.isValid(); block = block.next()) {
        bool marked = false;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            marked = marked || it.fragment().charFormat().background().style() != Qt::NoBrush;
        }
        if (marked) {
            QTextCursor end(view->document());
            end.movePosition(QTextCursor::End);
            view->setTextCursor(end);
            view->ensureCursorVisible();
            QTextCursor above(
                view->document()->findBlockByNumber(std::max(0, block.blockNumber() - 4)));
            view->setTextCursor(above);
            view->ensureCursorVisible();
            break;
        }
    }
    if (chart) {
        dialog.findChild<QTabWidget*>("reportTabs")->setCurrentIndex(1);
        dialog.Chart().Finish();
    }
    if (map) {
        dialog.findChild<QTabWidget*>("reportTabs")->setCurrentIndex(2);
        dialog.Map().Finish();
    }
    WaitFor([] { return false; }, 300);
    const bool saved = dialog.grab().save(output, "PNG");
    dialog.OnOk();
    std::fprintf(stderr, "%s %s\n", saved ? "wrote" : "could not write", argv[1]);
    return saved ? 0 : 1;
}
