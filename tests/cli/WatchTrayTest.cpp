// tavon-watch in process, offscreen: the events its menu lists, and Quit ending the watcher as
// SIGTERM ends the console one.
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTimer>

#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "session/LinkClaim.h"
#include "testsupport/EnvGuard.h"
#include "testsupport/Files.h"
#include "testsupport/TempDir.h"
#include "watch/WatchOptions.h"
#include "watch/WatchTray.h"
#include "watch/WatchTrayRun.h"

namespace {

// The menu's entries as text: "-" a separator, "(off)" after a greyed-out one.
std::vector<std::string> Entries(QMenu& menu) {
    std::vector<std::string> entries;
    for (QAction* action : menu.actions()) {
        if (action->isSeparator()) {
            entries.push_back("-");
        } else {
            entries.push_back(action->text().toStdString() + (action->isEnabled() ? "" : " (off)"));
        }
    }
    return entries;
}

QAction* Find(QMenu& menu, const QString& text) {
    for (QAction* action : menu.actions()) {
        if (action->text() == text) {
            return action;
        }
    }
    return nullptr;
}

bool Contains(QMenu& menu, const std::string& part) {
    for (QAction* action : menu.actions()) {
        if (action->text().toStdString().find(part) != std::string::npos) {
            return true;
        }
    }
    return false;
}

struct EventsCase {
    const char* name;
    std::vector<std::string> lines;
    std::vector<std::string> menu;
};

TEST(WatchTray, MenuListsTheLastTenEventsThenQuit) {
    std::vector<std::string> twelve;
    for (int i = 1; i <= 12; ++i) {
        twelve.push_back("event " + std::to_string(i));
    }
    std::vector<std::string> lastTen;
    for (int i = 3; i <= 12; ++i) {
        lastTen.push_back("event " + std::to_string(i) + " (off)");
    }
    lastTen.insert(lastTen.end(), {"-", "Quit"});
    const std::string wide(150, 'x');
    const std::vector<EventsCase> cases = {
        {"none", {}, {"No events yet (off)", "-", "Quit"}},
        {"two", {"a", "b"}, {"a (off)", "b (off)", "-", "Quit"}},
        {"twelve", twelve, lastTen},
        // "&" is not taken for a shortcut mark; a long line is cut short.
        {"marks", {"pts/3: held by A & B"}, {"pts/3: held by A && B (off)", "-", "Quit"}},
        {"wide", {wide}, {std::string(99, 'x') + "\xe2\x80\xa6 (off)", "-", "Quit"}},
    };
    for (const EventsCase& c : cases) {
        WatchTray tray;
        for (const std::string& line : c.lines) {
            tray.AddEvent(line);
        }
        EXPECT_EQ(Entries(tray.Menu()), c.menu) << c.name;
    }
}

// The watcher with nothing to visit runs until Quit; Quit ends it as SIGTERM does: status 0,
// "stopping" and "stopped" in its log and in the menu, and its claim gone.
TEST(WatchTray, QuitStopsTheWatcher) {
    testsupport::TempDir tmp;
    ASSERT_TRUE(tmp.Ok());
    testsupport::EnvGuard runtime("XDG_RUNTIME_DIR", tmp.Path());
    testsupport::EnvGuard temp("TMPDIR", tmp.Path());
    testsupport::EnvGuard data("XDG_DATA_HOME", tmp.File("data"));
    testsupport::EnvGuard poll("TAVON_WATCH_POLL_MS", "20");
    const std::string log = tmp.File("watch.log");
    std::vector<std::string> words = {"--pipe",    "absent",
                                      "--archive", tmp.File("archive.sqlite"),
                                      "--out",     tmp.File("out/{instrument}"),
                                      "--log",     log};
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(&word[0]);
    }
    WatchOptions options;
    std::string message;
    ASSERT_TRUE(ParseWatchOptions(static_cast<int>(argv.size()), argv.data(), "", options, message))
        << message;

    WatchTray tray;
    std::string holder;
    int polls = 0;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        ++polls;
        QAction* quit = Find(tray.Menu(), "Quit");
        if (Contains(tray.Menu(), "watching pipe absent") && quit != nullptr && quit->isEnabled()) {
            holder = LinkClaim::Holder("watcher");
            quit->trigger();
        }
        // A watcher that does not stop is ended some other way, so that the test fails, not hangs.
        if (polls > 3000) {
            QCoreApplication::exit(0);
        }
    });
    user.start(10);
    EXPECT_EQ(RunWatchInTray(options, tray), 0);
    user.stop();

    for (const char* line : {"stopping", "stopped"}) {
        EXPECT_TRUE(Contains(tray.Menu(), line)) << line;
        EXPECT_NE(testsupport::ReadFile(log).find(line), std::string::npos) << line;
    }
    EXPECT_FALSE(Contains(tray.Menu(), " done")) << "ended without Quit";
    EXPECT_FALSE(Find(tray.Menu(), "Quit")->isEnabled());
    // While it ran, the watcher's claim named the program that hosts it.
    EXPECT_EQ(holder, QCoreApplication::applicationName().toStdString() + ", process " +
                          std::to_string(getpid()));
    EXPECT_EQ(LinkClaim::Holder("watcher"), "");
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
