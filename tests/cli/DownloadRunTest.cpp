// The download's sequence in process: the download core's reader and DownloadRun against a scripted
// instrument that answers every Ask and Set at once (no link, no timer), so that orders of slots,
// the memory image and the ways a download ends are checked exactly and fast.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ScriptedInstrument.h"
#include "core/LogImage.h"
#include "download/DownloadRun.h"
#include "download/ExitStatus.h"
#include "download/ProgressBar.h"
#include "report/Report.h"
#include "session/SessionReader.h"
#include "testsupport/EnvGuard.h"
#include "testsupport/Files.h"
#include "testsupport/InstrumentStamp.h"
#include "testsupport/Processes.h"
#include "testsupport/TempDir.h"

namespace {

using testsupport::InstrumentStamp;
using testsupport::ListFolder;
using testsupport::MakeTempFolder;
using testsupport::ReadFile;
using testsupport::RemoveTree;
using testsupport::WriteFile;

class DownloadRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = MakeTempFolder("dlrun");
        ASSERT_FALSE(dir.empty());
        memory = std::make_unique<LogImage>();
        EraseMemory(*memory);
        image = std::make_unique<LogImage>();
        options.outDir = dir;
        options.dumpPath = dir + "/FlashData.txt";
    }
    void TearDown() override { RemoveTree(dir); }

    const testsupport::ZoneGuard zone{"UTC0"};

    void Session(int slot, unsigned int stamp, const char* tags = "____") {
        PutSession(*memory, slot, stamp, tags, withSwitchOn);
    }

    // Runs the download to its end (or until nothing more happens).
    void Run() {
        instrument = std::make_unique<ScriptedInstrument>(*memory);
        instrument->silentAfter = silentAfter;
        instrument->checksumAt = checksumAt;
        instrument->checksumFrom = checksumFrom;
        tree = std::tmpfile();
        ASSERT_NE(tree, nullptr);
        progress = std::make_unique<ProgressBar>(stderr, false);
        run = std::make_unique<DownloadRun>(options, *image, report, *progress, tree);
        reader = std::make_unique<SessionReader>(*instrument, *image, report);
        reader->SetEvents(run.get());
        run->Attach(*reader);
        run->Prepare();
        reader->Start();
        PumpAnswers(
            *instrument, *reader,
            [this] {
                run->OnTick();
                if (instrumentHook && !run->Finished()) {
                    instrumentHook();
                }
            },
            [this] { return run->Finished(); });
        std::rewind(tree);
        char buffer[4096];
        treeText.clear();
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, tree)) > 0;) {
            treeText.append(buffer, n);
        }
        std::fclose(tree);
    }

    // The report render gives for these slots of the instrument's memory, from a fresh start.
    std::string Expected(const std::vector<int16_t>& slotList, const char* day, const char* month) {
        ReportState state;
        state.ModeNames[0] = "Survey";
        state.ModeNames[1] = "Leak";
        for (int16_t slot : slotList) {
            state.HeadingDay = day;
            state.HeadingMonth = month;
            RenderSession(state, *memory, slot);
        }
        return state.ReportText;
    }

    std::string File(const std::string& name) { return ReadFile(dir + "/" + name); }

    bool withSwitchOn = true;
    std::function<void()> instrumentHook; // runs after every notification
    std::string dir;
    std::unique_ptr<LogImage> memory;
    std::unique_ptr<LogImage> image;
    ReportState report;
    DownloadOptions options;
    long silentAfter = -1;
    long checksumAt = -1;
    long checksumFrom = -1;
    std::unique_ptr<ScriptedInstrument> instrument;
    std::FILE* tree = nullptr;
    std::unique_ptr<ProgressBar> progress;
    std::unique_ptr<DownloadRun> run;
    std::unique_ptr<SessionReader> reader;
    std::string treeText;
};

TEST_F(DownloadRunTest, DaysInTreeOrderEachFromAFreshStartAndTheWholeMemoryInTheDump) {
    // Slots out of time order: the day's first session sits in the higher slot, so the second
    // one's upload ends just before the first one's sector.
    withSwitchOn = false;
    Session(5, InstrumentStamp(2026, 12, 7, 9, 0));
    Session(4, InstrumentStamp(2026, 12, 7, 11, 0), "_A__");
    Session(9, InstrumentStamp(2026, 12, 8, 8, 30));
    Run();
    ASSERT_TRUE(run->Finished());
    EXPECT_EQ(run->Status(), kExitOk);
    EXPECT_EQ(treeText, "Dec 2026\n"
                        "  Monday 07\n"
                        "    slot 5: 09:00:00     \n"
                        "    slot 4: 11:00:00     Alm \n"
                        "  Tuesday 08\n"
                        "    slot 9: 08:30:00     \n");
    EXPECT_EQ(ListFolder(dir),
              (std::vector<std::string>{"2026-12-07.rtf", "2026-12-08.rtf", "FlashData.txt"}));
    EXPECT_EQ(File("2026-12-07.rtf"), Expected({5, 4}, "Monday 07 ", "Dec 2026"));
    EXPECT_EQ(File("2026-12-08.rtf"), Expected({9}, "Tuesday 08 ", "Dec 2026"));
    EXPECT_EQ(run->ReportsWritten(), 2);
    // Every sector as the instrument holds it: no stray zero after a sector's upload.
    EXPECT_EQ(std::memcmp(image->Bytes(), memory->Bytes(), LogImage::kImageSize), 0);
    std::string message;
    auto dumped = std::make_unique<LogImage>();
    ASSERT_EQ(dumped->LoadDump(options.dumpPath.c_str(), message), 1) << message;
    EXPECT_EQ(std::memcmp(dumped->Bytes(), memory->Bytes(), LogImage::kImageSize), 0);
}

TEST_F(DownloadRunTest, ModeNamesGivenReplaceTheInstrumentsAndTheBoxesChooseTheSessions) {
    Session(0, InstrumentStamp(2026, 12, 7, 9, 0), "_A__");
    Session(1, InstrumentStamp(2026, 12, 7, 10, 0));
    Session(2, InstrumentStamp(2026, 12, 8, 9, 0));
    options.boxes.all = false;
    options.boxes.alarm = true;
    options.modeNamesGiven = true;
    options.modeNames[0] = "Mine";
    Run();
    EXPECT_EQ(run->Status(), kExitOk);
    EXPECT_EQ(ListFolder(dir), (std::vector<std::string>{"2026-12-07.rtf", "FlashData.txt"}));
    ReportState state;
    state.ModeNames[0] = "Mine";
    state.HeadingDay = "Monday 07 ";
    state.HeadingMonth = "Dec 2026";
    RenderSession(state, *memory, 0);
    EXPECT_EQ(File("2026-12-07.rtf"), state.ReportText);
    // Sessions the boxes left out were not downloaded.
    EXPECT_EQ(image->Bytes()[SessionOffset(1) + 1], 0xFF);
}

TEST_F(DownloadRunTest, SlotsWhateverTheTreeListsAndAnEmptyOneIsReported) {
    Session(3, InstrumentStamp(2026, 12, 7, 9, 0));
    Session(2, InstrumentStamp(2026, 12, 7, 10, 0));
    options.sessionSlots = {2, 7, 3};
    options.boxes.all = false;
    Run();
    EXPECT_EQ(run->Status(), kExitUsage);
    EXPECT_EQ(ListFolder(dir),
              (std::vector<std::string>{"FlashData.txt", "slot-2.rtf", "slot-3.rtf"}));
    EXPECT_EQ(File("slot-2.rtf"), Expected({2}, "Monday 07 ", "Dec 2026"));
    EXPECT_EQ(File("slot-3.rtf"), Expected({3}, "Monday 07 ", "Dec 2026"));
}

TEST_F(DownloadRunTest, SilenceDuringASessionStopsWithStatus4AndErasesTheCutSession) {
    Session(0, InstrumentStamp(2026, 12, 7, 9, 0));
    Session(1, InstrumentStamp(2026, 12, 8, 9, 0));
    // Find how many answers reach the second session's second piece, then go silent there.
    Run();
    ASSERT_EQ(run->Status(), kExitOk);
    const long total = instrument->answers;
    RemoveTree(dir);
    dir = MakeTempFolder("dlrun");
    options.outDir = dir;
    options.dumpPath = dir + "/FlashData.txt";
    image = std::make_unique<LogImage>();
    report = ReportState();
    silentAfter = total - 10;
    Run();
    ASSERT_TRUE(run->Finished());
    EXPECT_EQ(run->Status(), kExitNoAnswer);
    EXPECT_EQ(ListFolder(dir), (std::vector<std::string>{"2026-12-07.rtf", "FlashData.txt"}));
    EXPECT_EQ(File("2026-12-07.rtf"), Expected({0}, "Monday 07 ", "Dec 2026"));
    auto dumped = std::make_unique<LogImage>();
    std::string message;
    ASSERT_EQ(dumped->LoadDump(options.dumpPath.c_str(), message), 1) << message;
    EXPECT_EQ(std::memcmp(dumped->Bytes(), memory->Bytes(), SessionOffset(1)), 0);
    for (uint32_t i = 0; i < LogImage::kSectorSize; ++i) {
        ASSERT_EQ(dumped->Bytes()[SessionOffset(1) + i], 0xFF) << i;
    }
}

TEST_F(DownloadRunTest, ASessionCutOffBeforeTheNextSlotLeavesThatSlotWhole) {
    // Slot 1 comes first in the tree; slot 0, just before it in memory, is cut off.
    Session(1, InstrumentStamp(2026, 12, 7, 9, 0));
    Session(0, InstrumentStamp(2026, 12, 8, 9, 0));
    Run();
    ASSERT_EQ(run->Status(), kExitOk);
    const long total = instrument->answers;
    RemoveTree(dir);
    dir = MakeTempFolder("dlrun");
    options.outDir = dir;
    options.dumpPath = dir + "/FlashData.txt";
    image = std::make_unique<LogImage>();
    report = ReportState();
    silentAfter = total - 10;
    Run();
    ASSERT_TRUE(run->Finished());
    EXPECT_EQ(run->Status(), kExitNoAnswer);
    EXPECT_EQ(File("2026-12-07.rtf"), Expected({1}, "Monday 07 ", "Dec 2026"));
    auto dumped = std::make_unique<LogImage>();
    std::string message;
    ASSERT_EQ(dumped->LoadDump(options.dumpPath.c_str(), message), 1) << message;
    EXPECT_EQ(std::memcmp(dumped->Bytes(), memory->Bytes(), SessionOffset(0)), 0);
    for (uint32_t i = 0; i < LogImage::kSectorSize; ++i) {
        ASSERT_EQ(dumped->Bytes()[SessionOffset(0) + i], 0xFF) << i;
    }
    EXPECT_EQ(std::memcmp(dumped->Bytes() + SessionOffset(1), memory->Bytes() + SessionOffset(1),
                          LogImage::kSectorSize),
              0);
}

TEST_F(DownloadRunTest, SilenceDuringTheIndexLeavesNoDump) {
    Session(0, InstrumentStamp(2026, 12, 7, 9, 0));
    silentAfter = 20;
    Run();
    EXPECT_EQ(run->Status(), kExitNoAnswer);
    EXPECT_TRUE(ListFolder(dir).empty());
}

TEST_F(DownloadRunTest, SilenceAtStartUpEndsWithStatus4) {
    silentAfter = 0;
    Run();
    EXPECT_EQ(run->Status(), kExitNoAnswer);
    EXPECT_TRUE(ListFolder(dir).empty());
}

// A spoiled reply is dropped and asked for again, as the program does: one costs nothing, and
// replies that keep arriving spoiled end the download with status 5, the reports written kept.
TEST_F(DownloadRunTest, SpoiledRepliesAreAskedAgainUntilTheyKeepComing) {
    Session(0, InstrumentStamp(2026, 12, 7, 9, 0));
    Session(1, InstrumentStamp(2026, 12, 8, 9, 0));
    Run();
    const long total = instrument->answers;
    const struct {
        long at, from;
        int status;
        std::vector<std::string> files;
    } cases[] = {
        {total - 10, -1, kExitOk, {"2026-12-07.rtf", "2026-12-08.rtf", "FlashData.txt"}},
        {5, -1, kExitOk, {"2026-12-07.rtf", "2026-12-08.rtf", "FlashData.txt"}},
        {-1, total - 10, kExitCommsError, {"2026-12-07.rtf", "FlashData.txt"}},
    };
    for (const auto& c : cases) {
        RemoveTree(dir);
        dir = MakeTempFolder("dlrun");
        options.outDir = dir;
        options.dumpPath = dir + "/FlashData.txt";
        image = std::make_unique<LogImage>();
        report = ReportState();
        checksumAt = c.at;
        checksumFrom = c.from;
        Run();
        EXPECT_EQ(run->Status(), c.status) << c.at << " " << c.from;
        EXPECT_EQ(ListFolder(dir), c.files) << c.at << " " << c.from;
    }
}

TEST_F(DownloadRunTest, AReportThatCannotBeWrittenEndsWithStatus1AfterTheRest) {
    Session(0, InstrumentStamp(2026, 12, 7, 9, 0));
    Session(1, InstrumentStamp(2026, 12, 8, 9, 0));
    ASSERT_EQ(mkdir((dir + "/2026-12-07.rtf").c_str(), 0755), 0); // in the way of the report
    Run();
    EXPECT_EQ(run->Status(), kExitOutputFailed);
    EXPECT_EQ(File("2026-12-08.rtf"), Expected({1}, "Tuesday 08 ", "Dec 2026"));
    EXPECT_EQ(ListFolder(dir),
              (std::vector<std::string>{"2026-12-07.rtf", "2026-12-08.rtf", "FlashData.txt"}));
}

} // namespace

namespace {

TEST_F(DownloadRunTest, ADumpThatCannotBeWrittenLeavesTheOlderOneWhole) {
    Session(0, InstrumentStamp(2026, 12, 7, 9, 0));
    WriteFile(options.dumpPath, "an older dump\r\n");
    // In the way of the new one, under the temporary name this process gives it.
    const std::string part = options.dumpPath + "." + std::to_string(getpid()) + ".part";
    ASSERT_EQ(mkdir(part.c_str(), 0755), 0);
    Run();
    EXPECT_EQ(run->Status(), kExitOutputFailed);
    EXPECT_EQ(ReadFile(options.dumpPath), "an older dump\r\n");
    EXPECT_EQ(File("2026-12-07.rtf"), Expected({0}, "Monday 07 ", "Dec 2026"));
}

} // namespace

namespace {

TEST_F(DownloadRunTest, InterruptedBetweenReportsKeepsThemAndDumpsWhatArrived) {
    Session(0, InstrumentStamp(2026, 12, 7, 9, 0));
    Session(1, InstrumentStamp(2026, 12, 8, 9, 0));
    Session(2, InstrumentStamp(2026, 12, 9, 9, 0));
    // Interrupted as soon as the first report is on disk.
    instrumentHook = [this] {
        if (run->ReportsWritten() == 1) {
            run->Interrupt();
        }
    };
    Run();
    EXPECT_EQ(run->Status(), kExitInterrupted);
    EXPECT_EQ(ListFolder(dir), (std::vector<std::string>{"2026-12-07.rtf", "FlashData.txt"}));
    auto dumped = std::make_unique<LogImage>();
    std::string message;
    ASSERT_EQ(dumped->LoadDump(options.dumpPath.c_str(), message), 1) << message;
    EXPECT_EQ(std::memcmp(dumped->Bytes(), memory->Bytes(), SessionOffset(1)), 0);
    for (uint32_t i = 0; i < 2 * LogImage::kSectorSize; ++i) {
        ASSERT_EQ(dumped->Bytes()[SessionOffset(1) + i], 0xFF) << i;
    }
}

} // namespace
