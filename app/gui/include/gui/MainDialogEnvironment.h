#pragma once

#include "linkselect/Platform.h"

#include <QString>

#include <functional>
#include <string>

class QPrinter;
class QUrl;
class QWidget;
class Watchdog;
struct MapBackgroundChoice;

// What the main dialog needs from its surroundings. The program takes the defaults; tests
// replace them so that nothing blocks, opens a desktop application or ends the test process.
struct MainDialogEnvironment {
    AppInfo app{"Tavon Datalogging", ""};
    // Every message box of the program, the libraries' included. Null: QMessageBox.
    UserPrompt* prompt = nullptr;
    // Null: no watchdog (the program passes its own, started by the dialog).
    Watchdog* watchdog = nullptr;
    // Opens a local file with the desktop. Null: QDesktopServices.
    std::function<bool(const QUrl&)> openUrl;
    // Ask for the file names of Save and Open Dump...; an empty result means cancelled.
    // Null: the file dialogs.
    std::function<QString(QWidget*)> askSaveName;
    std::function<QString(QWidget*)> askDumpName;
    std::function<QString(QWidget*)> askPdfName;
    std::function<QString(QWidget*)> askExportName;
    // Sets up the printer for Print... (the print dialog); false means cancelled. Null: Qt's
    // print dialog.
    std::function<bool(QPrinter&, QWidget*)> askPrinter;
    int tickMs = 100;
    std::string manualFile = "50312_04.pdf";
    // Where the window's size and place are remembered between runs; empty: nowhere.
    QString windowFile;
    // An MBTiles file under the map for this run (--tiles), over what Settings.ini chose.
    QString tiles;
    // View > Map Background...: changes the choice, false when cancelled. Null: the dialog.
    std::function<bool(MapBackgroundChoice&, QWidget*)> askMapBackground;
};
