// File > Download Automatically...: the watcher's settings read and written as the watcher reads
// them, the rest of Settings.ini kept, and whether a watcher runs.
#include "WatchSettingsDialog.h"

#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

#include <gtest/gtest.h>

#include "session/LinkClaim.h"
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

WatchOptions ReadBack() {
    WatchOptions options;
    std::string message;
    EXPECT_TRUE(ParseWatchOptions(0, nullptr, ReadFile("Settings.ini"), options, message))
        << message;
    return options;
}

TEST(WatchSettingsDialog, ShowsAndWritesTheWatchersSection) {
    testsupport::TempWorkDir work;
    testsupport::PrivateTmpDir runtime;
    ASSERT_TRUE(work.Ok());
    ASSERT_TRUE(WriteFile("Settings.ini", "Archive=team.sqlite\r\n[Watch]\r\nExport=gpx\r\n"
                                          "Every=15\r\nPorts=ttyUSB0\r\n[Other]\r\nOut=x\r\n"));
    WatchSettingsDialog dialog;
    EXPECT_TRUE(Find<QCheckBox>(dialog, "watchGpx")->isChecked());
    EXPECT_FALSE(Find<QCheckBox>(dialog, "watchCsv")->isChecked());
    EXPECT_EQ(Find<QSpinBox>(dialog, "watchEvery")->value(), 15);
    EXPECT_TRUE(Find<QLineEdit>(dialog, "watchOut")->text().isEmpty())
        << "another section's Out is not the watcher's";
    EXPECT_TRUE(Find<QLabel>(dialog, "watchRunning")->text().startsWith("No watcher is running"));

    Find<QLineEdit>(dialog, "watchOut")->setText("/srv/{instrument}/{month}");
    Find<QCheckBox>(dialog, "watchCsv")->setChecked(true);
    Find<QComboBox>(dialog, "watchPlot")->setCurrentIndex(2);
    Find<QCheckBox>(dialog, "watchPdf")->setChecked(true);
    Find<QSpinBox>(dialog, "watchEvery")->setValue(0);
    ASSERT_TRUE(dialog.Save());

    const WatchOptions options = ReadBack();
    EXPECT_EQ(options.outTemplate, "/srv/{instrument}/{month}");
    EXPECT_EQ(options.download.exportFormats.size(), 2u);
    EXPECT_EQ(options.download.plot, "png");
    EXPECT_TRUE(options.pdf);
    EXPECT_FALSE(options.download.fast);
    EXPECT_EQ(options.everyMinutes, 0);
    EXPECT_EQ(options.ports, std::vector<std::string>{"ttyUSB0"}) << "what it does not show stays";
    const std::string text = ReadFile("Settings.ini");
    EXPECT_EQ(text.rfind("Archive=team.sqlite\r\n[Watch]\r\n", 0), 0u) << text;
    EXPECT_NE(text.find("[Other]\r\nOut=x\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("Every="), std::string::npos) << "0 minutes: the key goes";
}

TEST(WatchSettingsDialog, AWrongTemplateIsNotWritten) {
    testsupport::TempWorkDir work;
    testsupport::PrivateTmpDir runtime;
    ASSERT_TRUE(work.Ok());
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
    EXPECT_FALSE(testsupport::FileExists("Settings.ini"));
}

TEST(WatchSettingsDialog, SaysWhichWatcherRuns) {
    testsupport::TempWorkDir work;
    testsupport::PrivateTmpDir runtime;
    std::string holder;
    const auto running = LinkClaim::Take("watcher", holder);
    ASSERT_TRUE(running) << holder;
    WatchSettingsDialog dialog;
    const QString text = Find<QLabel>(dialog, "watchRunning")->text();
    EXPECT_TRUE(text.startsWith("A watcher is running")) << text.toStdString();
    EXPECT_TRUE(text.contains("process " + QString::number(getpid()))) << text.toStdString();
}

} // namespace
