#include "gui/MainDialog.h"
#include "gui/MapBackground.h"
#include "gui/Watchdog.h"
#include "gui/WindowMemory.h"

#include "tavon/Version.h"

#include <QApplication>
#include <QStringList>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    // Answered before Qt starts, so that it needs no display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("tavon-datalogging %s\n", TAVON_VERSION);
            return 0;
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tavon Datalogging");

    MainDialogEnvironment environment;
    environment.app.name = "Tavon Datalogging";
    QStringList arguments = QApplication::arguments();
    if (!arguments.isEmpty()) {
        arguments.removeFirst();
    }
    environment.tiles = TakeTilesOption(arguments);
    environment.app.commandLine = arguments.join(' ').toStdString();

    // Declared before the dialog so that it outlives it: a shutdown that hangs is still ended.
    Watchdog watchdog;
    environment.watchdog = &watchdog;

    environment.windowFile = WindowMemory::DefaultFile();

    MainDialog dialog(environment);
    // Without an instrument the window opens all the same, offline.
    dialog.Initialise();
    dialog.exec();
    return 0;
}
