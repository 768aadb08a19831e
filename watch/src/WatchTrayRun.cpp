#include "watch/WatchTrayRun.h"

#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QMessageBox>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "download/ExitStatus.h"
#include "tavon/Version.h"
#include "watch/WatchDriver.h"
#include "watch/WatchOptions.h"
#include "watch/WatchTray.h"

namespace {

const char kUsage[] =
    "Usage: tavon-watch [OPTIONS]\n"
    "Downloads every instrument that connects, as `tavon-datalog watch` does, with an icon in\n"
    "the notification area whose menu shows the last events and quits. The options are those\n"
    "of tavon-datalog watch (tavon-datalog watch --help).\n";

std::string SettingsText() {
    std::ifstream in("Settings.ini", std::ios::binary);
    if (!in) {
        return std::string();
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// On standard output or error, and in a box where a screen shows one.
void Say(const std::string& text, bool error) {
    std::fputs(text.c_str(), error ? stderr : stdout);
    const QString platform = QGuiApplication::platformName();
    if (platform == "offscreen" || platform == "minimal") {
        return;
    }
    if (error) {
        QMessageBox::critical(nullptr, "tavon-watch", QString::fromLocal8Bit(text.c_str()));
    } else {
        QMessageBox::information(nullptr, "tavon-watch", QString::fromLocal8Bit(text.c_str()));
    }
}

} // namespace

int RunWatchInTray(const WatchOptions& options, WatchTray& tray) {
    WatchHost host;
    host.line = [&tray](const std::string& line) { tray.AddEvent(line); };
    host.running = [&tray](std::function<void()> stop) { tray.SetStop(std::move(stop)); };
    const int status = RunWatchSession(options, RegisterCheck(options), host);
    tray.SetStop(nullptr);
    return status;
}

int RunWatchTrayProgram(int argc, char** argv) {
#ifndef _WIN32
    // Without a display there is no notification area either: the watcher runs all the same.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
#endif
    QApplication app(argc, argv);
    QApplication::setApplicationName("tavon-watch");
    // Its menu is the only window it opens, and closing it ends nothing.
    QApplication::setQuitOnLastWindowClosed(false);
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) {
            break;
        }
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            Say(kUsage, false);
            return kExitOk;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            Say(std::string("tavon-watch ") + TAVON_VERSION + "\n", false);
            return kExitOk;
        }
    }
    WatchOptions options;
    std::string message;
    if (!ParseWatchOptions(argc - 1, argv + 1, SettingsText(), options, message)) {
        Say("tavon-watch: " + message + "\n", true);
        return kExitUsage;
    }
    WatchTray tray;
    tray.ShowIcon(QIcon(":/tray/tavon.xpm"));
    return RunWatchInTray(options, tray);
}
