// Grabs every dialog of the program, offscreen and without an instrument, to PNG files for a look
// at their texts under this machine's fonts: the main dialog with the filter shown, the filter on
// its own, the about box, the port dialog's template, the upload progress dialog, the archive
// window (a day of the simulated instrument's memory, its report and its chart) and the
// Instruments window over the same archive.
// Usage: gui_dialog_shots OUTPUT_FOLDER
#include "GuiTestSupport.h"
#include "gui/AboutDialog.h"
#include "gui/ArchiveDialog.h"
#include "gui/ChartPanel.h"
#include "gui/FilterDialog.h"
#include "gui/InstrumentsWindow.h"
#include "gui/MainDialog.h"
#include "gui/MapPanel.h"
#include "gui/UploadProgress.h"

#include "archive/InstrumentIdentity.h"
#include "archive/SessionArchive.h"
#include "archive/SessionCapture.h"
#include "core/LogImage.h"
#include "sim/LogMemory.h"
#include "ui_PortDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QPixmap>
#include <QTabWidget>
#include <QTreeWidget>

#include <cstdio>
#include <memory>

namespace {

bool Save(QWidget& widget, const QDir& folder, const char* name) {
    widget.show();
    WaitFor([] { return false; }, 200);
    const QString path = folder.absoluteFilePath(QString::fromLatin1(name) + ".png");
    const bool saved = widget.grab().save(path, "PNG");
    std::fprintf(stderr, "%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
    widget.hide();
    return saved;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: gui_dialog_shots OUTPUT_FOLDER\n");
        return 2;
    }
    const QDir folder(QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[1])));
    if (!folder.exists() && !QDir().mkpath(folder.path())) {
        std::fprintf(stderr, "cannot make %s\n", argv[1]);
        return 1;
    }
    bool ok = true;

    PrivatePlace place; // no instrument: the main dialog is shown as its template builds it
    RecordingPrompt prompt;
    MainDialogEnvironment env;
    env.prompt = &prompt;
    {
        MainDialog dialog(env);
        ok = Save(dialog, folder, "main-dialog") && ok;
        dialog.show();
        // Where the start-up places it; the dialog is not initialised here (no instrument).
        if (auto* filter = dialog.findChild<FilterDialog*>()) {
            filter->InitDialog();
            filter->move(329, 2);
        }
        dialog.ToggleFilter();
        ok = Save(dialog, folder, "main-dialog-filter") && ok;
    }
    {
        FilterDialog filter;
        filter.InitDialog();
        ok = Save(filter, folder, "filter") && ok;
    }
    {
        AboutDialog about;
        ok = Save(about, folder, "about") && ok;
    }
    {
        QDialog port;
        Ui::PortDialog ui;
        ui.setupUi(&port);
        ui.captionLine->setVisible(true);
        ui.portList->addItem("IrDA Port ttyUSB0");
        ok = Save(port, folder, "port-dialog") && ok;
        ui.statusLine->setText("Initialising communications...");
        ok = Save(port, folder, "port-dialog-initialising") && ok;
    }
    {
        CUploadProgress progress;
        progress.SetRange(100);
        progress.SetPosition(40);
        progress.SetCaption("Reading Instrument Information");
        ok = Save(progress, folder, "upload-progress") && ok;
    }
    {
        const QString at = place.work() + "/archive.sqlite";
        sim::LogMemory memory;
        memory.Generate(sim::MemoryOptions());
        const std::string dump = place.work().toStdString() + "/FlashData.txt";
        std::string error;
        auto dumped = std::make_unique<LogImage>();
        archive::SessionArchive store;
        archive::StoreCounts counts;
        ok = memory.WriteDump(dump, error) && dumped->LoadDump(dump.c_str(), error) == 1 &&
             store.Open(at) &&
             store.ImportDump(store.Instrument(archive::NamedInstrument("Van 7"), "Van 7"), "shots",
                              archive::IndexBytes(*dumped), archive::CaptureSessions(*dumped, {}),
                              counts) > 0 &&
             ok;
        store.Close();
        ArchiveDialog window(at);
        window.resize(1200, 700);
        ok = window.Open() && ok;
        window.FullDay()->setChecked(true);
        QTreeWidgetItem* day = window.Tree()->topLevelItem(0)->child(0);
        window.Tree()->setCurrentItem(day->child(0));
        ok = Save(window, folder, "archive-report") && ok;
        window.Chart()->Finish();
        window.findChild<QTabWidget*>("reportTabs")->setCurrentIndex(1);
        ok = Save(window, folder, "archive-chart") && ok;
        window.Map()->Finish();
        window.findChild<QTabWidget*>("reportTabs")->setCurrentIndex(2);
        ok = Save(window, folder, "archive-map") && ok;
        // The register of the same archive, at its smallest and at a large size.
        InstrumentsWindow instruments(at);
        ok = instruments.Open() && ok;
        instruments.resize(instruments.minimumSizeHint());
        ok = Save(instruments, folder, "instruments-small") && ok;
        instruments.resize(1600, 900);
        ok = Save(instruments, folder, "instruments-large") && ok;
        QDialog* history = instruments.OpenHistory(0);
        ok = history != nullptr && Save(*history, folder, "instrument-history") && ok;
    }
    return ok ? 0 : 1;
}
