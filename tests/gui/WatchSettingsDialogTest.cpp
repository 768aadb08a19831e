// File > Download Automatically...: the watcher's settings read and written as the watcher reads
// them, in the settings file of the watcher's service (the home folder's), the rest of that file
// kept, where it is, and whether a watcher runs.
#include "gui/WatchSettingsDialog.h"

#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

#include <gtest/gtest.h>

#include "session/LinkClaim.h"
#include "testsupport/EnvGuard.h"
#include "testsupport/Files.h"
#include "testsupport/TempDir.h"
#include "watch/WatchOptions.h"

namespace {

using testsupport::ReadFile;
using testsupport::WriteFile;

template <typename W> W* Find(WatchSettingsDialog& dialog, const char* name) {
    W* widget = dialog.findChild<W*>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

WatchOptions ReadBack(const std::string& path) {
    WatchOptions options;
    std::string message;
    EXPECT_TRUE(ParseWatchOptions(0, nullptr, ReadFile(path), options, message)) << message;
    return options;
}

// The program's working folder and the home folder the watcher's service runs in, apart.
struct Folders {
    testsupport::TempWorkDir work;
    testsupport::PrivateTmpDir runtime;
    testsupport::TempDir home{"tavon-home-"};
    testsupport::EnvGuard homeVariable{"HOME", home.Path()};
    std::string WatcherFile() const { return home.Path() + "/Settings.ini"; }
};

TEST(WatchSettingsDialog, ShowsAndWritesTheWatcherServicesFile) {
    Folders folders;
    ASSERT_TRUE(folders.work.Ok());
    // The working folder's file is the program's, not the one the service reads.
    const std::string programs = "[Watch]\r\nExport=csv\r\nEvery=5\r\n";
    ASSERT_TRUE(WriteFile("Settings.ini", programs));
    ASSERT_TRUE(WriteFile(folders.WatcherFile(),
                          "Archive=team.sqlite\r\n[Watch]\r\nExport=gpx\r\n"
                          "Every=15\r\nPorts=ttyUSB0\r\n[Other]\r\nOut=x\r\n"));
    WatchSettingsDialog dialog;
    EXPECT_TRUE(Find<QCheckBox>(dialog, "watchGpx")->isChecked());
    EXPECT_FALSE(Find<QCheckBox>(dialog, "watchCsv")->isChecked());
    EXPECT_EQ(Find<QSpinBox>(dialog, "watchEvery")->value(), 15);
    EXPECT_TRUE(Find<QLineEdit>(dialog, "watchOut")->text().isEmpty())
        << "another section's Out is not the watcher's";
    EXPECT_TRUE(Find<QLabel>(dialog, "watchRunning")->text().startsWith("No watcher is running"));
    const QString where = Find<QLabel>(dialog, "watchSettingsFile")->text();
    EXPECT_TRUE(where.contains(QString::fromStdString(folders.WatcherFile())))
        << where.toStdString();

    Find<QLineEdit>(dialog, "watchOut")->setText("/srv/{instrument}/{month}");
    Find<QCheckBox>(dialog, "watchCsv")->setChecked(true);
    Find<QComboBox>(dialog, "watchPlot")->setCurrentIndex(2);
    Find<QCheckBox>(dialog, "watchPdf")->setChecked(true);
    Find<QSpinBox>(dialog, "watchEvery")->setValue(0);
    ASSERT_TRUE(dialog.Save());

    const WatchOptions options = ReadBack(folders.WatcherFile());
    EXPECT_EQ(options.outTemplate, "/srv/{instrument}/{month}");
    EXPECT_EQ(options.download.exportFormats.size(), 2u);
    EXPECT_EQ(options.download.plot, "png");
    EXPECT_TRUE(options.pdf);
    EXPECT_FALSE(options.download.fast);
    EXPECT_EQ(options.everyMinutes, 0);
    EXPECT_EQ(options.ports, std::vector<std::string>{"ttyUSB0"}) << "what it does not show stays";
    const std::string text = ReadFile(folders.WatcherFile());
    EXPECT_EQ(text.rfind("Archive=team.sqlite\r\n[Watch]\r\n", 0), 0u) << text;
    EXPECT_NE(text.find("[Other]\r\nOut=x\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("Every="), std::string::npos) << "0 minutes: the key goes";
    EXPECT_EQ(ReadFile("Settings.ini"), programs) << "the working folder's file is left alone";
}

TEST(WatchSettingsDialog, AWrongTemplateIsNotWritten) {
    Folders folders;
    ASSERT_TRUE(folders.work.Ok());
    WatchSettingsDialog dialog;
    Find<QLineEdit>(dialog, "watchOut")->setText("{serial}");
    // The message box would wait for a click: it is closed as soon as it shows.
    QMetaObject::invokeMethod(
        &dialog,
        [] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                box->close();
            }
        },
        Qt::QueuedConnection);
    EXPECT_FALSE(dialog.Save());
    EXPECT_FALSE(testsupport::FileExists(folders.WatcherFile()));
}

TEST(WatchSettingsDialog, SaysWhichWatcherRuns) {
    Folders folders;
    std::string holder;
    const auto running = LinkClaim::Take("watcher", holder);
    ASSERT_TRUE(running) << holder;
    WatchSettingsDialog dialog;
    const QString text = Find<QLabel>(dialog, "watchRunning")->text();
    EXPECT_TRUE(text.startsWith("A watcher is running")) << text.toStdString();
    EXPECT_TRUE(text.contains("process " + QString::number(getpid()))) << text.toStdString();
}

} // namespace
