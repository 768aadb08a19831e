// tavon-datalog download against the simulated instrument: both run as processes, on a private
// pipe (TMPDIR pinned to a folder of the test's own) or a pseudo-terminal, each run in a working
// folder of its own. The reports are compared byte for byte with what `tavon-datalog render`
// gives for the same slots of the simulator's own dump.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/LogImage.h"
#include "core/SessionTable.h"
#include "report/Report.h"
#include "session/UploadMachine.h"
#include "testsupport/EnvGuard.h"
#include "testsupport/Files.h"
#include "testsupport/Processes.h"
#include "testsupport/TempDir.h"
#include "testsupport/TestPace.h"

namespace {

using testsupport::FileExists;
using testsupport::ListFolder;
using testsupport::MakeTempFolder;
using testsupport::ReadFile;
using testsupport::RemoveTree;
using testsupport::RunProgram;
using testsupport::RunResult;
using testsupport::StartProgram;
using testsupport::StopProgram;

// The mode names in the simulated instrument's configuration block, as render is given them.
const char kSimModeNames[] = "Survey,Leak Search,Barhole,R[seau Enqu]te";

const char kWarningLine[] =
    "tavon-datalog: Warning: This session contains some logs which are not recognised by this "
    "version of the "
    "Orv datalogger. You should check whether a new version of the datalogger is available which "
    "will process these logs.\n";

// Frames the simulator sends before the first session: the start-up uploads, the ten index
// sectors and the polls between them; and the frames of one session (four pieces, their three
// acknowledgements each, the closing answers and a poll). Measured on the simulator's log; the
// stall test aims at the middle of a session so that a few polls more or less do not matter.
constexpr long kFramesBeforeSessions = 1009;
constexpr long kFramesPerSession = 113;

struct Day {
    std::string date; // YYYY-MM-DD of the instrument's clock
    std::vector<int16_t> slotList;
};

// The date of a session name's stamp, worked out here independently of the program.
std::string StampDate(const char* name) {
    unsigned int stamp = 0;
    std::sscanf(name, "%8x", &stamp);
    const time_t t = static_cast<time_t>(946684800) + stamp; // 2000-01-01 00:00:00 UTC
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &tm);
    return text;
}

// The days of a dump's tree, each with its sessions in tree order.
std::vector<Day> DaysOf(LogImage& image) {
    auto table = std::make_unique<SessionTable>();
    table->Build(image);
    std::vector<Day> days;
    SessionBoxes all;
    for (const SessionNode& node : table->Nodes(all)) {
        if (node.level == SessionNode::Day) {
            days.push_back(Day());
        } else if (node.level == SessionNode::Session) {
            const int16_t slot = static_cast<int16_t>(node.itemData);
            if (days.back().slotList.empty()) {
                days.back().date = StampDate(table->FindDated(slot)->name);
            }
            days.back().slotList.push_back(slot);
        }
    }
    return days;
}

void CopySlot(const LogImage& from, LogImage& to, int16_t slot) {
    const uint32_t entry = LogImage::IndexEntryOffset(slot);
    to.Store(entry, from.Bytes() + entry, LogImage::kEntrySize);
    const uint32_t sector = LogImage::DataSector(slot) * LogImage::kSectorSize;
    to.Store(sector, from.Bytes() + sector, LogImage::kSectorSize);
}

class DownloadTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        zone = new testsupport::ZoneGuard("UTC0");
        // The local pipes of these tests live here, out of the way of any other instrument.
        pipes = new testsupport::PrivateTmpDir("tavon-dl", "/tmp");
        ASSERT_TRUE(pipes->Ok());
        root = new std::string(pipes->Path());

        // The simulator's generated memory, cut down to its first two days so that a whole
        // download stays short, served from a dump.
        const RunResult generated =
            RunProgram("tavon-instrument", {"--dump", "generated.txt"}, *root);
        ASSERT_EQ(generated.status, 0) << generated.err;
        auto full = std::make_unique<LogImage>();
        std::string message;
        ASSERT_EQ(full->LoadDump((*root + "/generated.txt").c_str(), message), 1) << message;
        const std::vector<Day> all = DaysOf(*full);
        ASSERT_GE(all.size(), 2u);
        auto small = std::make_unique<LogImage>();
        std::vector<uint8_t> erased(LogImage::kImageSize, 0xFF);
        small->Store(0, erased.data(), LogImage::kImageSize);
        for (size_t d = 0; d < 2; ++d) {
            for (int16_t slot : all[d].slotList) {
                CopySlot(*full, *small, slot);
            }
        }
        ASSERT_EQ(small->DumpImage((*root + "/small.txt").c_str()), 1);
        // What the simulator holds when it serves that dump, in its own words.
        const RunResult served =
            RunProgram("tavon-instrument", {"--image", "small.txt", "--dump", "served.txt"}, *root);
        ASSERT_EQ(served.status, 0) << served.err;
        days = new std::vector<Day>(DaysOf(*small));
        ASSERT_EQ(days->size(), 2u);
        ASSERT_GE((*days)[0].slotList.size(), 1u);
        ASSERT_GE((*days)[1].slotList.size(), 2u);
    }

    static void TearDownTestSuite() {
        delete root;
        delete days;
        delete pipes;
        delete zone;
    }

    void SetUp() override {
        work = MakeTempFolder("run");
        ASSERT_FALSE(work.empty());
    }
    void TearDown() override {
        StopProgram(sim);
        RemoveTree(work);
    }

    // Starts the simulator on a pipe named after the test, or on a pseudo-terminal.
    std::string StartSimulator(std::vector<std::string> args, bool pty = false) {
        if (pty) {
            args.push_back("--pty");
        } else {
            pipeName = std::string("dl-") +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name();
            args.push_back("--pipe");
            args.push_back(pipeName);
        }
        std::string ready;
        sim = StartProgram("tavon-instrument", args, *root, ready);
        EXPECT_GT(sim, 0) << "the simulator did not start";
        return ready;
    }

    RunResult Download(std::vector<std::string> args) {
        args.insert(args.begin(), "download");
        // Downloads keep their sessions in the archive: each test has its own.
        const std::string data =
            *root + "/data-" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        return RunProgram(
            "tavon-datalog", args, work, 180,
            {"TAVON_TICK_MS=" + std::to_string(testsupport::kTestTickMs), "XDG_DATA_HOME=" + data});
    }

    // What `tavon-datalog render` gives for these slots of the simulator's dump.
    std::string Rendered(const std::vector<int16_t>& slotList, const std::string& dump) {
        std::vector<std::string> args = {"render", dump};
        for (int16_t slot : slotList) {
            args.push_back(std::to_string(slot));
        }
        args.push_back("--mode-names");
        args.push_back(kSimModeNames);
        const RunResult r = RunProgram("tavon-datalog", args, work);
        EXPECT_EQ(r.status, 0) << r.err;
        return r.out;
    }

    // A download of every day: the tree on standard output, one report per day as render gives
    // it, and the dump equal to the instrument's memory.
    void ExpectEveryDay(const RunResult& r) {
        ASSERT_EQ(r.status, 0) << r.err;
        size_t sessions = 0;
        for (const Day& day : *days) {
            sessions += day.slotList.size();
        }
        EXPECT_EQ(r.err, "tavon-datalog: 2 days: " + std::to_string(sessions) +
                             " sessions uploaded, 0 from the archive; 2 reports in reports, the "
                             "memory dump in FlashData.txt\n");

        // The tree as `sessions` prints it.
        const RunResult tree = RunProgram("tavon-datalog", {"sessions", Served()}, work);
        EXPECT_EQ(r.out, tree.out);

        // One report per day, named by the instrument's date, equal to render of that day's slots.
        const std::vector<std::string> expectedNames = {(*days)[0].date + ".rtf",
                                                        (*days)[1].date + ".rtf"};
        EXPECT_EQ(ListFolder(work + "/reports"), expectedNames);
        for (const Day& day : *days) {
            EXPECT_EQ(ReadFile(work + "/reports/" + day.date + ".rtf"),
                      Rendered(day.slotList, Served()))
                << day.date;
        }
        // Every session was downloaded, so the dump is the instrument's memory byte for byte.
        EXPECT_TRUE(ReadFile(work + "/FlashData.txt") == ReadFile(Served()));
        EXPECT_EQ(ListFolder(work), (std::vector<std::string>{"FlashData.txt", "reports"}));
    }

    // A download that keeps its sessions in a local archive and syncs it into `target` after
    // (--sync, or "Sync" in Settings.ini): the target then holds them, and each archive verifies
    // against the other.
    void ExpectSyncedAfterTheDownload(const std::string& target, bool bySetting,
                                      const std::string& local) {
        std::vector<std::string> args = {"--pipe", pipeName,    "--out", "out-" + NameOfPath(local),
                                         "-q",     "--archive", local};
        if (bySetting) {
            ASSERT_TRUE(testsupport::WriteFile(work + "/Settings.ini", "Sync=" + target + "\r\n"));
        } else {
            args.insert(args.end(), {"--sync", target});
        }
        const RunResult r = Download(args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find("synced into "), std::string::npos) << r.err;
        for (const auto& pair : {std::make_pair(local, target), std::make_pair(target, local)}) {
            const RunResult v = RunProgram(
                "tavon-datalog",
                {"archive", "verify", "--archive", pair.first, "--against", pair.second}, work);
            EXPECT_EQ(v.status, 0) << v.out << v.err;
            EXPECT_NE(v.out.find("Verified against archive "), std::string::npos) << v.out;
        }
    }
    static std::string NameOfPath(const std::string& path) {
        return path.substr(path.rfind('/') + 1);
    }

    static std::string Served() { return *root + "/served.txt"; }

    // A dump holds sixteen bytes to a line.
    static constexpr size_t kLinesPerSector = LogImage::kSectorSize / 16;

    // The lines of one sector in a dump's text (empty when the dump ends before it).
    static std::string SectorText(const std::string& dump, uint32_t sector) {
        const size_t lineSize = 16 * 3 + 2;
        const size_t start = sector * kLinesPerSector * lineSize;
        return dump.size() >= start + kLinesPerSector * lineSize
                   ? dump.substr(start, kLinesPerSector * lineSize)
                   : std::string();
    }
    static std::string ErasedSectorText() {
        std::string line;
        for (int i = 0; i < 16; ++i) {
            line += "FF ";
        }
        line += "\r\n";
        std::string text;
        for (size_t i = 0; i < kLinesPerSector; ++i) {
            text += line;
        }
        return text;
    }

    static testsupport::ZoneGuard* zone;
    static testsupport::PrivateTmpDir* pipes;
    static std::string* root;
    static std::vector<Day>* days;
    std::string work;
    std::string pipeName;
    pid_t sim = -1;
};

testsupport::ZoneGuard* DownloadTest::zone = nullptr;
testsupport::PrivateTmpDir* DownloadTest::pipes = nullptr;
std::string* DownloadTest::root = nullptr;
std::vector<Day>* DownloadTest::days = nullptr;

TEST_F(DownloadTest, EveryDayAsOneReportAndTheDumpAsTheInstrumentHoldsIt) {
    StartSimulator({"--image", "small.txt"});
    ExpectEveryDay(Download({"--pipe", pipeName, "--out", "reports"}));
}

// Fast uploads, against an instrument paced as a real line (a fast one, to keep the test short),
// bring the same reports and dump.
TEST_F(DownloadTest, FastUploadsBringTheSameReportsAndDump) {
    StartSimulator({"--image", "small.txt", "--baud", "460800"});
    ExpectEveryDay(Download({"--pipe", pipeName, "--out", "reports", "--fast"}));
}

TEST_F(DownloadTest, SlotsOneReportEachAndOnlyTheirSectorsInTheDump) {
    StartSimulator({"--image", "small.txt"});
    const int16_t second = (*days)[1].slotList[1];
    const int16_t first = (*days)[0].slotList[0];
    const RunResult r = Download({"--pipe", pipeName, "--slot", std::to_string(second),
                                  std::to_string(first), "--dump", "copy.txt", "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(work + "/slot-" + std::to_string(second) + ".rtf"),
              Rendered({second}, Served()));
    EXPECT_EQ(ReadFile(work + "/slot-" + std::to_string(first) + ".rtf"),
              Rendered({first}, Served()));
    EXPECT_FALSE(FileExists(work + "/FlashData.txt"));

    const std::string dump = ReadFile(work + "/copy.txt");
    const std::string served = ReadFile(Served());
    ASSERT_EQ(dump.size(), served.size());
    for (uint32_t sector = 0; sector < LogImage::kIndexSectors; ++sector) {
        EXPECT_TRUE(SectorText(dump, sector) == SectorText(served, sector)) << sector;
    }
    for (const Day& day : *days) {
        for (int16_t slot : day.slotList) {
            const uint32_t sector = LogImage::DataSector(slot);
            if (slot == first || slot == second) {
                EXPECT_TRUE(SectorText(dump, sector) == SectorText(served, sector)) << slot;
            } else {
                EXPECT_TRUE(SectorText(dump, sector) == ErasedSectorText()) << slot;
            }
        }
    }
}

TEST_F(DownloadTest, ChosenDayOnlyAndAnAbsentOneIsReported) {
    StartSimulator({"--image", "small.txt"});
    const RunResult r = Download({"--pipe", pipeName, "--day", (*days)[1].date, "2001-01-01"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("no sessions listed on 2001-01-01"), std::string::npos) << r.err;
    EXPECT_EQ(ListFolder(work),
              (std::vector<std::string>{(*days)[1].date + ".rtf", "FlashData.txt"}));
    EXPECT_EQ(ReadFile(work + "/" + (*days)[1].date + ".rtf"),
              Rendered((*days)[1].slotList, Served()));
}

TEST_F(DownloadTest, SeveralInstrumentsWithNothingToWriteLeaveNoFolderBehind) {
    StartSimulator({"--image", "small.txt"});
    std::string ready;
    const pid_t other =
        StartProgram("tavon-instrument", {"--seed", "2", "--pipe", pipeName + "-2"}, *root, ready);
    ASSERT_GT(other, 0);
    const RunResult r = Download(
        {"--pipe", pipeName, "--pipe", pipeName + "-2", "--out", "fleet", "--day", "2001-01-01"});
    StopProgram(other);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("no sessions listed on 2001-01-01"), std::string::npos) << r.err;
    EXPECT_TRUE(ListFolder(work).empty()) << r.err;
}

// Two instruments at once: each one's tree under a line naming it, the link and the serial number
// (the closing line's words), and the two never mixed.
TEST_F(DownloadTest, SeveralInstrumentsPrintEachTreeUnderALineNamingIt) {
    StartSimulator({"--image", "small.txt", "--serial", "FIRST"});
    std::string ready;
    const pid_t other = StartProgram(
        "tavon-instrument",
        {"--image", "small.txt", "--serial", "SECOND", "--pipe", pipeName + "-2"}, *root, ready);
    ASSERT_GT(other, 0);
    const RunResult r = Download({"--pipe", pipeName, "--pipe", pipeName + "-2", "--out", "fleet",
                                  "--day", (*days)[0].date});
    StopProgram(other);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string tree = RunProgram("tavon-datalog", {"sessions", Served()}, work).out;
    ASSERT_FALSE(tree.empty());
    const std::string first = pipeName + " (FIRST):\n" + tree;
    const std::string second = pipeName + "-2 (SECOND):\n" + tree;
    EXPECT_TRUE(r.out == first + second || r.out == second + first) << r.out;
    EXPECT_NE(r.err.find(pipeName + " (FIRST): done\n"), std::string::npos) << r.err;
    EXPECT_EQ(ListFolder(work + "/fleet"), (std::vector<std::string>{"FIRST", "SECOND"}));
}

// The download knows the instrument by its serial number; the dump names none unless told.
TEST_F(DownloadTest, ExportsBesideEachReportAsTheExportCommandWritesThem) {
    StartSimulator({"--image", "small.txt", "--serial", "TV-0042"});
    const Day& day = (*days)[1];
    const RunResult r =
        Download({"--pipe", pipeName, "--day", day.date, "--export", "gpx,csv,geojson"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ListFolder(work),
              (std::vector<std::string>{day.date + ".csv", day.date + ".geojson", day.date + ".gpx",
                                        day.date + ".rtf", "FlashData.txt"}));
    for (const char* format : {"csv", "geojson", "gpx"}) {
        std::vector<std::string> args = {"export", Served()};
        for (int16_t slot : day.slotList) {
            args.push_back(std::to_string(slot));
        }
        args.insert(args.end(),
                    {"--format", format, "--mode-names", kSimModeNames, "--instrument", "TV-0042"});
        const RunResult exported = RunProgram("tavon-datalog", args, work);
        EXPECT_EQ(exported.status, 0) << exported.err;
        EXPECT_EQ(ReadFile(work + "/" + day.date + "." + format), exported.out) << format;
    }
    EXPECT_NE(ReadFile(work + "/" + day.date + ".csv").find(",TV-0042,"), std::string::npos);
}

// The map beside each report is the one the map command draws of the same sessions.
TEST_F(DownloadTest, MapsBesideEachReportAsTheMapCommandDrawsThem) {
    StartSimulator({"--image", "small.txt"});
    const RunResult r = Download({"--pipe", pipeName, "--map", "png", "--plot", "png"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> expected = {"FlashData.txt"};
    for (const Day& day : *days) {
        for (const char* ending : {"-map.png", ".png", ".rtf"}) {
            expected.push_back(day.date + ending);
        }
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(ListFolder(work), expected);
    for (const Day& day : *days) {
        std::vector<std::string> args = {"map", Served()};
        for (int16_t slot : day.slotList) {
            args.push_back(std::to_string(slot));
        }
        args.insert(args.end(), {"--mode-names", kSimModeNames, "-o", "drawn.png"});
        const RunResult drawn = RunProgram("tavon-datalog", args, work);
        ASSERT_EQ(drawn.status, 0) << drawn.err;
        EXPECT_TRUE(ReadFile(work + "/" + day.date + "-map.png") == ReadFile(work + "/drawn.png"))
            << day.date;
        std::remove((work + "/drawn.png").c_str());
    }
}

TEST_F(DownloadTest, StalledInstrumentEndsWithStatus4KeepingTheEarlierReports) {
    // Silent from the middle of the second day's second session on.
    const long stall = kFramesBeforeSessions +
                       kFramesPerSession * static_cast<long>((*days)[0].slotList.size() + 1) +
                       kFramesPerSession / 2;
    StartSimulator({"--image", "small.txt", "--fault", "stall-after:" + std::to_string(stall)});
    const RunResult r = Download({"--pipe", pipeName});
    EXPECT_EQ(r.status, 4) << r.err;
    EXPECT_NE(r.err.find("The instrument stopped answering."), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("1 of 2 reports written"), std::string::npos) << r.err;

    EXPECT_EQ(ListFolder(work),
              (std::vector<std::string>{(*days)[0].date + ".rtf", "FlashData.txt"}));
    EXPECT_EQ(ReadFile(work + "/" + (*days)[0].date + ".rtf"),
              Rendered((*days)[0].slotList, Served()));
    // The dump holds the index, the first day and the second day's first session; the session
    // cut off half-way reads as erased rather than as a shorter log.
    const std::string dump = ReadFile(work + "/FlashData.txt");
    const std::string served = ReadFile(Served());
    for (uint32_t sector = 0; sector < LogImage::kIndexSectors; ++sector) {
        EXPECT_TRUE(SectorText(dump, sector) == SectorText(served, sector)) << sector;
    }
    for (int16_t slot : (*days)[0].slotList) {
        EXPECT_TRUE(SectorText(dump, LogImage::DataSector(slot)) ==
                    SectorText(served, LogImage::DataSector(slot)))
            << slot;
    }
    const int16_t done = (*days)[1].slotList[0];
    const int16_t cut = (*days)[1].slotList[1];
    EXPECT_TRUE(SectorText(dump, LogImage::DataSector(done)) ==
                SectorText(served, LogImage::DataSector(done)));
    EXPECT_TRUE(SectorText(dump, LogImage::DataSector(cut)) == ErasedSectorText());
}

// Replies that keep arriving spoiled end the download with status 5 and their own words, never
// "stopped answering" (an occasional one, asked again, costs nothing: DownloadRunTest).
TEST_F(DownloadTest, RepliesThatKeepArrivingSpoiledEndWithStatus5) {
    StartSimulator({"--image", "small.txt", "--fault", "checksum:1"});
    const RunResult spoiled = Download({"--pipe", pipeName});
    EXPECT_EQ(spoiled.status, 5) << spoiled.err;
    EXPECT_NE(spoiled.err.find("tavon-datalog: the instrument's replies kept arriving spoiled "
                               "during its start-up"),
              std::string::npos)
        << spoiled.err;
    EXPECT_EQ(spoiled.err.find("stopped answering"), std::string::npos) << spoiled.err;
    EXPECT_EQ(spoiled.out, "");
    EXPECT_TRUE(ListFolder(work).empty());
}

TEST_F(DownloadTest, UnrecognisedRecordsWarnAndStillWriteTheReport) {
    // Find the slot whose records this version cannot decode in the simulator's memory.
    const RunResult dumped =
        RunProgram("tavon-instrument", {"--with-unknown-records", "--dump", "unknown.txt"}, work);
    ASSERT_EQ(dumped.status, 0) << dumped.err;
    auto image = std::make_unique<LogImage>();
    std::string message;
    ASSERT_EQ(image->LoadDump((work + "/unknown.txt").c_str(), message), 1) << message;
    int16_t unknown = -1;
    for (int16_t slot = 0; slot < LogImage::kSlotCount && unknown < 0; ++slot) {
        ReportState state;
        RenderSession(state, *image, slot);
        if (state.UnrecognisedLogFlag) {
            unknown = slot;
        }
    }
    ASSERT_GE(unknown, 0);

    StartSimulator({"--with-unknown-records"});
    const RunResult r = Download({"--pipe", pipeName, "--slot", std::to_string(unknown)});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, kWarningLine + std::string("tavon-datalog: 1 slot: 1 session uploaded, 0 from "
                                                "the archive; 1 report in the working folder, "
                                                "the memory dump in FlashData.txt\n"));
    EXPECT_EQ(ReadFile(work + "/slot-" + std::to_string(unknown) + ".rtf"),
              Rendered({unknown}, work + "/unknown.txt"));
}

TEST_F(DownloadTest, SerialPortBroughtUpThroughTheConnectionSteps) {
    const std::string ready = StartSimulator({"--image", "small.txt"}, true);
    const std::string prefix = "ready: pty ";
    ASSERT_EQ(ready.compare(0, prefix.size(), prefix), 0) << ready;
    const std::string device = ready.substr(prefix.size());
    const int16_t slot = (*days)[0].slotList[0];
    const RunResult r = Download({"--port", device, "--slot", std::to_string(slot)});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(work + "/slot-" + std::to_string(slot) + ".rtf"),
              Rendered({slot}, Served()));
    // The port is remembered under the name the port list gives it, as the dialog does.
    const std::string bare = device.compare(0, 5, "/dev/") == 0 ? device.substr(5) : device;
    const std::string settings = ReadFile(work + "/Settings.ini");
    EXPECT_NE(settings.find("Com Port=IrDA Port " + bare + "\r\n"), std::string::npos) << settings;
}

TEST_F(DownloadTest, NoLinkSaysWhatItTriedInOneLineAndLeavesNothing) {
    const std::string device = work + "/no-such-device";
    const struct {
        std::vector<std::string> args;
        std::string line;
    } cases[] = {
        {{"--pipe", "nobody-serves-this", "--out", "reports"},
         "tavon-datalog: no instrument: nothing serves the pipe \"nobody-serves-this\"\n"},
        {{"--port", device, "--out", "reports"},
         "tavon-datalog: no instrument: the serial port " + device +
             " cannot be opened and brought up\n"},
        // Neither: no "RAK Pipe" under this TMPDIR and no port remembered in the working folder.
        {{"--out", "reports"},
         "tavon-datalog: no instrument: nothing serves the pipe \"RAK Pipe\" and no serial port "
         "is remembered in Settings.ini (name one with --port)\n"},
    };
    for (const auto& c : cases) {
        const RunResult r = Download(c.args);
        EXPECT_EQ(r.status, 3) << c.line;
        EXPECT_EQ(r.err, c.line);
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(ListFolder(work).empty()) << "no report folder, no Settings.ini: " << c.line;
    }
}

TEST_F(DownloadTest, BadArgumentsTouchNothing) {
    const std::vector<std::vector<std::string>> cases = {
        {"--ports", "/dev/"},
        {"--slot", "500"},
        {"--slot", "1", "--day", "2026-01-01"},
        {"--day", "2026-02-30"},
        {"--sessions", "none"},
        {"--port"},
        {"stray"},
        {"--mode-names", "a,b,c,d,e"},
        {"--out"},
    };
    for (const std::vector<std::string>& args : cases) {
        const RunResult r = Download(args);
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_NE(r.err.find("see tavon-datalog download --help"), std::string::npos) << r.err;
    }
    EXPECT_TRUE(ListFolder(work).empty());
}

// A download asks for each index sector, and for each piece of a session's sector, by number.
constexpr int kIndexRequests = LogImage::kIndexSectors;
constexpr int kSessionRequests = UploadMachine::kPiecesPerSector;

// How many sector numbers the instrument was asked for, as its log shows them.
int SectorRequests(const std::string& log) {
    int count = 0;
    for (size_t at = log.find("OW  0C "); at != std::string::npos;
         at = log.find("OW  0C ", at + 1)) {
        ++count;
    }
    return count;
}

TEST_F(DownloadTest, ASecondDownloadOfAnUnchangedInstrumentUploadsTheIndexOnly) {
    const std::string log = work + "-sim.log";
    StartSimulator({"--image", "small.txt", "--log", log});
    const std::string archive = work + "-archive.sqlite";
    RunResult first = Download({"--pipe", pipeName, "--out", "one", "-q", "--archive", archive});
    ASSERT_EQ(first.status, 0) << first.err;
    const int sessions = static_cast<int>((*days)[0].slotList.size() + (*days)[1].slotList.size());
    EXPECT_EQ(SectorRequests(ReadFile(log)), kIndexRequests + kSessionRequests * sessions);

    // Every day is written again, from the archive's copies: only the index is uploaded.
    const RunResult second =
        Download({"--pipe", pipeName, "--out", "two", "-q", "--archive", archive});
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(SectorRequests(ReadFile(log)),
              kIndexRequests + kSessionRequests * sessions + kIndexRequests)
        << "only the index again";
    EXPECT_NE(second.err.find("2 days: 0 sessions uploaded, " + std::to_string(sessions) +
                              " from the archive; 2 reports in two"),
              std::string::npos)
        << second.err;
    EXPECT_NE(second.out.find(" archived\n"), std::string::npos) << second.out;
    for (const Day& day : *days) {
        EXPECT_EQ(ReadFile(work + "/two/" + day.date + ".rtf"),
                  ReadFile(work + "/one/" + day.date + ".rtf"))
            << day.date;
    }

    // --new-only writes only days with something new: here nothing, and it changes no file.
    const std::string dump = ReadFile(work + "/FlashData.txt");
    const RunResult newOnly =
        Download({"--pipe", pipeName, "--out", "none", "-q", "--archive", archive, "--new-only"});
    ASSERT_EQ(newOnly.status, 0) << newOnly.err;
    EXPECT_NE(newOnly.err.find("0 days: 0 sessions uploaded, 0 from the archive; nothing new to "
                               "write, no file changed"),
              std::string::npos)
        << newOnly.err;
    EXPECT_FALSE(FileExists(work + "/none"));
    EXPECT_EQ(ReadFile(work + "/FlashData.txt"), dump);

    // --all uploads them again; the archive still holds each once.
    const RunResult all = Download({"--pipe", pipeName, "--out", "three", "-q", "--archive",
                                    archive, "--all", "--instrument", "van 3"});
    ASSERT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(ListFolder(work + "/three").size(), 2u);
    const RunResult listed = RunProgram(
        "tavon-datalog", {"archive", "list", "--archive", archive, "--instrument", "van 3"}, work);
    EXPECT_EQ(std::count(listed.out.begin(), listed.out.end(), '\n'), sessions) << listed.out;
}

// Alone, a download names an instrument that reports no serial number in the archive as the
// program does: by Settings.ini's "Archive Instrument".
TEST_F(DownloadTest, AloneItNamesTheInstrumentAsTheProgramDoes) {
    StartSimulator({"--image", "small.txt"});
    const std::string archive = work + "-archive.sqlite";
    ASSERT_TRUE(testsupport::WriteFile(work + "/Settings.ini", "Archive Instrument=Van 7\r\n"));
    const int16_t slot = (*days)[0].slotList[0];
    const RunResult r =
        Download({"--pipe", pipeName, "--slot", std::to_string(slot), "-q", "--archive", archive});
    ASSERT_EQ(r.status, 0) << r.err;
    const RunResult listed = RunProgram(
        "tavon-datalog", {"archive", "list", "--archive", archive, "--instrument", "Van 7"}, work);
    EXPECT_EQ(std::count(listed.out.begin(), listed.out.end(), '\n'), 1) << listed.out;
}

// Days that hold archived sessions beside new ones: only the new ones are uploaded, and each
// day's report, read partly from the archive, is the one a full download writes.
TEST_F(DownloadTest, AMixedDayUploadsItsNewSessionsOnlyAndWritesTheWholeDay) {
    const std::string log = work + "-sim.log";
    StartSimulator({"--image", "small.txt", "--log", log});
    const std::string archive = work + "-archive.sqlite";
    const int16_t held[] = {(*days)[0].slotList[0], (*days)[1].slotList[1]};
    const RunResult first =
        Download({"--pipe", pipeName, "--slot", std::to_string(held[0]), std::to_string(held[1]),
                  "--out", "one", "-q", "--archive", archive});
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(SectorRequests(ReadFile(log)), kIndexRequests + kSessionRequests * 2);

    const RunResult r =
        Download({"--pipe", pipeName, "--out", "reports", "-q", "--archive", archive});
    ASSERT_EQ(r.status, 0) << r.err;
    const int sessions = static_cast<int>((*days)[0].slotList.size() + (*days)[1].slotList.size());
    EXPECT_EQ(SectorRequests(ReadFile(log)), kIndexRequests + kSessionRequests * 2 +
                                                 kIndexRequests +
                                                 kSessionRequests * (sessions - 2));
    EXPECT_NE(r.err.find(std::to_string(sessions - 2) + " sessions uploaded, 2 from the archive"),
              std::string::npos)
        << r.err;
    for (const Day& day : *days) {
        EXPECT_EQ(ReadFile(work + "/reports/" + day.date + ".rtf"),
                  Rendered(day.slotList, Served()))
            << day.date;
    }
}

TEST_F(DownloadTest, AnArchiveThatCannotBeWrittenLeavesTheReportsAndTheDump) {
    StartSimulator({"--image", "small.txt"});
    ASSERT_TRUE(testsupport::WriteFile(work + "/junk.sqlite", std::string(4096, 'j')));
    const RunResult r =
        Download({"--pipe", pipeName, "--out", "reports", "-q", "--archive", "junk.sqlite"});
    EXPECT_EQ(r.status, 6) << r.err;
    EXPECT_NE(r.err.find("archive: "), std::string::npos) << r.err;
    EXPECT_EQ(ListFolder(work + "/reports").size(), 2u);
    EXPECT_TRUE(ReadFile(work + "/FlashData.txt") == ReadFile(Served()));

    const RunResult off = Download(
        {"--pipe", pipeName, "--out", "off", "-q", "--no-archive", "--archive", "junk.sqlite"});
    EXPECT_EQ(off.status, 0) << off.err;
}

// Two engineers downloading the same instrument into one server archive at the same time.
TEST_F(DownloadTest, TwoConcurrentDownloadsIntoAPostgreSQLArchiveLoseAndDuplicateNothing) {
    const char* server = std::getenv("TAVON_TEST_POSTGRES");
    if (server == nullptr || *server == '\0') {
        GTEST_SKIP() << "no PostgreSQL server: run under scripts/with-postgres.sh";
    }
    StartSimulator({"--image", "small.txt"});
    const std::string firstPipe = pipeName;
    const pid_t firstSim = sim;
    pipeName += "-2";
    std::string ready;
    sim = StartProgram("tavon-instrument", {"--image", "small.txt", "--pipe", pipeName}, *root,
                       ready);
    ASSERT_GT(sim, 0);
    RunResult a, b;
    std::thread other([&] {
        a = Download(
            {"--pipe", firstPipe, "--out", "a", "--dump", "a.txt", "-q", "--archive", server});
    });
    b = Download({"--pipe", pipeName, "--out", "b", "--dump", "b.txt", "-q", "--archive", server});
    other.join();
    StopProgram(firstSim);
    EXPECT_EQ(a.status, 0) << a.err;
    EXPECT_EQ(b.status, 0) << b.err;
    const int sessions = static_cast<int>((*days)[0].slotList.size() + (*days)[1].slotList.size());
    const RunResult stats =
        RunProgram("tavon-datalog", {"archive", "stats", "--archive", server}, work);
    EXPECT_NE(stats.out.find("sessions: " + std::to_string(sessions) + " "), std::string::npos)
        << stats.out;
    EXPECT_NE(stats.out.find("instruments: 1\n"), std::string::npos) << stats.out;
    // Two writers at once, one unforked history: each session in a download row of its own.
    const RunResult verified =
        RunProgram("tavon-datalog", {"archive", "verify", "--archive", server}, work);
    EXPECT_EQ(verified.status, 0) << verified.out << verified.err;
    const RunResult history = RunProgram(
        "tavon-datalog", {"archive", "history", "--format", "csv", "--archive", server}, work);
    int rows = 0;
    for (size_t at = history.out.find(",download,"); at != std::string::npos;
         at = history.out.find(",download,", at + 1)) {
        ++rows;
    }
    EXPECT_EQ(rows, sessions) << history.out;
}

// Offline first: a download keeps its sessions in its own archive and syncs it into a second one
// after, named by --sync or by "Sync" in Settings.ini; a second archive that does not answer is
// said once, the download's status and its local archive untouched.
TEST_F(DownloadTest, ADownloadSyncsItsArchiveOnwardOrSaysOnceThatItCannot) {
    StartSimulator({"--image", "small.txt"});
    const int sessions = static_cast<int>((*days)[0].slotList.size() + (*days)[1].slotList.size());
    for (const bool bySetting : {false, true}) {
        SCOPED_TRACE(bySetting ? "Sync=" : "--sync");
        const std::string team = work + (bySetting ? "-team2.sqlite" : "-team.sqlite");
        ExpectSyncedAfterTheDownload(team, bySetting,
                                     work + (bySetting ? "-van2.sqlite" : "-van.sqlite"));
        const RunResult listed =
            RunProgram("tavon-datalog", {"archive", "list", "--archive", team}, work);
        EXPECT_EQ(std::count(listed.out.begin(), listed.out.end(), '\n'), sessions) << listed.out;
    }
    std::remove((work + "/Settings.ini").c_str());
    const std::string local = work + "-alone.sqlite";
    const RunResult r =
        Download({"--pipe", pipeName, "--out", "alone", "-q", "--archive", local, "--sync",
                  "postgresql://tavon:secret@%2Fno-such-folder:5432/team"});
    ASSERT_EQ(r.status, 0) << r.err;
    const size_t said = r.err.find("does not answer");
    EXPECT_NE(said, std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("does not answer", said + 1), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("secret"), std::string::npos) << r.err;
    const RunResult listed =
        RunProgram("tavon-datalog", {"archive", "list", "--archive", local}, work);
    EXPECT_EQ(std::count(listed.out.begin(), listed.out.end(), '\n'), sessions) << listed.out;
}

// The same into the team's PostgreSQL server.
TEST_F(DownloadTest, ADownloadSyncsItsArchiveIntoAPostgreSQLServer) {
    const char* server = std::getenv("TAVON_TEST_POSTGRES");
    if (server == nullptr || *server == '\0') {
        GTEST_SKIP() << "no PostgreSQL server: run under scripts/with-postgres.sh";
    }
    StartSimulator({"--image", "small.txt"});
    ExpectSyncedAfterTheDownload(server, false, work + "-van.sqlite");
}

} // namespace
