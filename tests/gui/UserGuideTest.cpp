#include "gui/UserGuide.h"
#include "GuiTestSupport.h"
#include "gui/MainDialog.h"

#include "app/SessionBrowser.h"

#include <QAction>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

// The guide as Help opens it from the main window, with no manual anywhere to be found.
class UserGuideTest : public ::testing::Test {
protected:
    UserGuideTest() {
        MainDialogEnvironment env;
        env.prompt = &prompt;
        env.openUrl = [this](const QUrl& url) {
            opened.push_back(url);
            return true;
        };
        dialog = std::make_unique<MainDialog>(env);
        dialog->Action("actionHelp")->trigger();
    }

    const QTextDocument* Document() const {
        const auto* text = NamedChild<QTextBrowser>(*dialog->Guide(), "userGuideText");
        return text != nullptr ? text->document() : nullptr;
    }

    // Each heading with the text of the section under it, up to the next heading.
    std::vector<std::pair<QString, QString>> Sections() const {
        std::vector<std::pair<QString, QString>> sections;
        for (QTextBlock b = Document()->begin(); b.isValid(); b = b.next()) {
            if (b.blockFormat().headingLevel() > 0) {
                sections.emplace_back(b.text(), QString());
            } else if (!sections.empty()) {
                sections.back().second += b.text() + '\n';
            }
        }
        return sections;
    }

    PrivatePlace place;
    RecordingPrompt prompt;
    std::unique_ptr<MainDialog> dialog;
    std::vector<QUrl> opened;
};

TEST_F(UserGuideTest, HelpOpensTheGuideBesideTheWindow) {
    ASSERT_NE(dialog->Guide(), nullptr);
    EXPECT_TRUE(dialog->Guide()->isVisible());
    EXPECT_FALSE(dialog->Guide()->isModal());
    EXPECT_TRUE(opened.empty());
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(UserGuideTest, EverySubjectHasASectionThatSaysHowToDoIt) {
    // Each subject's heading, and what its section must name for the engineer to find the thing.
    const struct {
        const char* heading;
        std::vector<const char*> names;
    } subjects[] = {
        {"The Chart tab",
         {"Chart", "Whole Session", "double click", "nearest recorded sample",
          "barhole test's profile"}},
        {"Save as PDF", {"File > Save as PDF...", "A4 landscape", "Page n of m"}},
        {"Export: CSV, GeoJSON and GPX",
         {"File > Export...", "CSV", "GeoJSON", "GPX", "one column per sensor position",
          "CO (ppm) 2"}},
        {"Another instrument", {"serial number", "greyed", "GO", SessionReader::kMismatchText}},
        {"The archive: File > Open Archive...",
         {"File > Open Archive...", "Archive=", "Job number", "Search", "Full Day", "Export..."}},
        {"Fast Upload", {"View > Fast Upload", "Fast Upload=TRUE"}},
        {"Connecting the instrument", {"held by", "stays offline"}},
        {"Keys", {"print dialog", "Save as PDF...", "Shift+Enter", "Escape"}},
        {"Instruments: tests due and the compliance report",
         {"View > Instruments...", "Overdue and failed only", "Intervals...",
          "Save Compliance Report as PDF...", "firmware"}},
        {"The archive on the command line: tavon-datalog archive",
         {"tavon-datalog archive", "--archive LOCATION", "archive import", "archive list",
          "archive render", "archive export", "archive plot", "archive stats",
          "archive rename-instrument OLD NEW"}},
    };
    const auto sections = Sections();
    for (const auto& subject : subjects) {
        const auto section = std::find_if(sections.begin(), sections.end(), [&](const auto& s) {
            return s.first == QString(subject.heading);
        });
        ASSERT_NE(section, sections.end()) << subject.heading;
        for (const char* name : subject.names) {
            EXPECT_TRUE(section->second.contains(QString(name))) << subject.heading << ": " << name;
        }
    }
}

TEST_F(UserGuideTest, MenuItemsTheGuideNamesAreTheProgramsOwn) {
    const struct {
        const char* action;
        const char* path;
    } items[] = {
        {"actionSavePdf", "File > %1"},
        {"actionExport", "File > %1"},
        {"actionOpenArchive", "File > %1"},
        {"actionArchiveUploads", "File > %1"},
        {"actionInstrumentName", "File > %1"},
        {"actionFastUpload", "View > %1"},
        {"actionConnect", "File > %1"},
        {"actionInstruments", "View > %1"},
        {"actionGo", "File > %1"},
        {"actionPrint", "File > %1"},
        {"actionFind", "View > %1"},
    };
    const QString text = dialog->Guide()->Text();
    for (const auto& item : items) {
        QAction* action = dialog->Action(item.action);
        ASSERT_NE(action, nullptr) << item.action;
        EXPECT_TRUE(text.contains(QString(item.path).arg(action->text()))) << item.action;
    }
}

TEST_F(UserGuideTest, TheKeysSectionGivesEachActionsOwnKey) {
    const auto sections = Sections();
    const auto keys = std::find_if(sections.begin(), sections.end(),
                                   [](const auto& s) { return s.first == QString("Keys"); });
    ASSERT_NE(keys, sections.end());
    for (const char* name : {"actionGo", "actionSave", "actionPrint", "actionFind"}) {
        QAction* action = dialog->Action(name);
        ASSERT_NE(action, nullptr) << name;
        ASSERT_FALSE(action->shortcut().isEmpty()) << name;
        EXPECT_TRUE(keys->second.contains(action->shortcut().toString() + ": ")) << name;
    }
}

} // namespace
