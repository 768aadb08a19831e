#include "MainDialog.h"
#include "Watchdog.h"
#include "WindowMemory.h"

#include "app/LogImage.h"
#include "report/Report.h"

#include <QApplication>
#include <QStringList>

namespace {

// Live for the whole run, as the instrument's memory copy and the report do.
LogImage g_image;
ReportState g_report;

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tavon Datalogging");

    MainDialogEnvironment environment;
    environment.app.name = "Tavon Datalogging";
    QStringList arguments = QApplication::arguments();
    if (!arguments.isEmpty()) {
        arguments.removeFirst();
    }
    environment.app.commandLine = arguments.join(' ').toStdString();

    // Declared before the dialog so that it outlives it: a shutdown that hangs is still ended.
    Watchdog watchdog;
    environment.watchdog = &watchdog;

    environment.windowFile = WindowMemory::DefaultFile();

    MainDialog dialog(g_image, g_report, environment);
    // Without an instrument the window opens all the same, offline.
    dialog.Initialise();
    dialog.exec();
    return 0;
}
