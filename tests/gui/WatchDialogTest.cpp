// File > Download Automatically...: the [Watch] settings of the working folder's Settings.ini,
// and whether a watcher runs.
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "WatchDialog.h"
#include "session/LinkClaim.h"
#include "testsupport/EnvGuard.h"
#include "testsupport/TempDir.h"

namespace {

class WatchDialogTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(tmp.Ok() && work.Ok()); }
    void WriteSettings(const std::string& text) {
        std::ofstream(tmp.File("Settings.ini"), std::ios::binary) << text;
    }

    testsupport::TempDir tmp;
    testsupport::EnvGuard runtime{"XDG_RUNTIME_DIR", tmp.Path()};
    testsupport::WorkDirGuard work{tmp.Path()};
};

TEST_F(WatchDialogTest, ShowsTheWatchSettingsOrWhyTheyAreWrong) {
    const struct {
        const char* settings;
        std::vector<std::string> shown;
    } cases[] = {
        {"", {"Instruments on: every port of a known driver, pipe RAK Pipe", "PDF reports: no"}},
        {"[Watch]\nOut=reports/{instrument}/{month}\nPDF=TRUE\nEvery=15\n",
         {"Files go to: reports/{instrument}/{month}", "PDF reports: yes",
          "Downloaded again: every 15 minutes"}},
        {"[Watch]\nOut=reports/{serial}\n", {"not usable", "{serial}"}},
    };
    for (const auto& c : cases) {
        WriteSettings(c.settings);
        WatchDialog dialog;
        const std::string text = dialog.SettingsText().toStdString();
        for (const std::string& part : c.shown) {
            EXPECT_NE(text.find(part), std::string::npos) << c.settings << "\n" << text;
        }
    }
}

TEST_F(WatchDialogTest, SaysWhetherAWatcherRunsAndWhich) {
    WatchDialog dialog;
    EXPECT_EQ(dialog.RunningText().toStdString(), "No watcher is running.");
    std::string holder;
    auto claim = LinkClaim::Take("watcher", holder);
    ASSERT_TRUE(claim) << holder;
    dialog.Refresh();
    EXPECT_NE(dialog.RunningText().toStdString().find("A watcher is running: "), std::string::npos)
        << dialog.RunningText().toStdString();
    EXPECT_NE(dialog.RunningText().toStdString().find(", process "), std::string::npos);
    claim.reset();
    dialog.Refresh();
    EXPECT_EQ(dialog.RunningText().toStdString(), "No watcher is running.");
}

} // namespace
