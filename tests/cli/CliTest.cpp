// tavon-datalog end to end: the tests write a dump, run the program as a process and compare its
// output bytes with the texts the session table and the report library give in process.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/LogImage.h"
#include "core/SessionTable.h"
#include "export/SessionExport.h"
#include "report/Report.h"
#include "testsupport/EnvGuard.h"
#include "testsupport/Files.h"
#include "testsupport/InstrumentStamp.h"
#include "testsupport/Processes.h"
#include "testsupport/TempDir.h"

namespace {

using testsupport::InstrumentStamp;
using testsupport::ReadFile;
using testsupport::WriteFile;

using Bytes = std::vector<uint8_t>;

std::string Name(unsigned int stamp, const char* tags) {
    char text[32];
    std::snprintf(text, sizeof text, "%08X_%.4s______", stamp, tags);
    return std::string(text, 19);
}

// A log record: '<', its length, type, version, the stamp high word first, then the payload.
Bytes Record(char type, char version, unsigned int stamp, const Bytes& payload) {
    Bytes r = {'<', static_cast<uint8_t>(8 + payload.size()), static_cast<uint8_t>(type),
               static_cast<uint8_t>(version)};
    const unsigned int high = stamp >> 16, low = stamp & 0xFFFF;
    r.insert(r.end(), {static_cast<uint8_t>(high & 0xFF), static_cast<uint8_t>(high >> 8),
                       static_cast<uint8_t>(low & 0xFF), static_cast<uint8_t>(low >> 8)});
    r.insert(r.end(), payload.begin(), payload.end());
    return r;
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) {
        all.insert(all.end(), p.begin(), p.end());
    }
    all.push_back(0xFF); // the erased rest of the sector ends the stream
    return all;
}

// The stored form of a stream: every 0x55 written as the pair 0x55 0x55.
Bytes Escape(const Bytes& stream) {
    Bytes stored;
    for (uint8_t b : stream) {
        if (b == 0x55) {
            stored.push_back(0x55);
        }
        stored.push_back(b);
    }
    return stored;
}

using Result = testsupport::RunResult;

const unsigned int kT0 = InstrumentStamp(2026, 12, 7, 9, 0, 0);
const unsigned int kT1 = InstrumentStamp(2026, 12, 7, 10, 0, 0);
const unsigned int kT2 = InstrumentStamp(2026, 12, 8, 8, 15, 30);
const unsigned int kT4 = InstrumentStamp(2027, 1, 5, 12, 0, 0);

const char kWarning[] =
    "Warning: This session contains some logs which are not recognised by this version of the "
    "Orv datalogger. You should check whether a new version of the datalogger is available which "
    "will process these logs.\n";

class CliTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        zone = new testsupport::ZoneGuard("UTC0");
        dir = new std::string(testsupport::MakeTempFolder("clitest"));
        ASSERT_FALSE(dir->empty());
        image = new LogImage();
        BuildImage(*image);
        ASSERT_EQ(image->DumpImage((*dir + "/FlashData.txt").c_str()), 1);
        table = new SessionTable();
        table->Build(*image);
    }
    static void TearDownTestSuite() {
        testsupport::RemoveTree(*dir);
        EXPECT_FALSE(testsupport::FileExists(*dir));
        delete table;
        delete image;
        delete dir;
        delete zone;
    }

    static void SetName(LogImage& img, int slot, const std::string& name) {
        Bytes bytes(LogImage::kEntrySize, 0);
        const size_t room = LogImage::kEntrySize - 1;
        std::memcpy(bytes.data(), name.data(), name.size() < room ? name.size() : room);
        img.Store(LogImage::IndexEntryOffset(static_cast<int16_t>(slot)), bytes.data(),
                  LogImage::kEntrySize);
    }
    static void SetStream(LogImage& img, int slot, const Bytes& stream) {
        const Bytes stored = Escape(stream);
        img.Store(LogImage::DataSector(static_cast<int16_t>(slot)) * LogImage::kSectorSize,
                  stored.data(), static_cast<uint32_t>(stored.size()));
    }

    static void BuildImage(LogImage& img) {
        Bytes erased(LogImage::kIndexSectors * LogImage::kSectorSize, 0xFF);
        img.Store(0, erased.data(), static_cast<uint32_t>(erased.size()));
        SetName(img, 0, Name(kT0, "F___"));
        SetName(img, 1, Name(kT1, "_A__"));
        SetName(img, 2, Name(kT2, "___C"));
        SetName(img, 3, "FFFFFFFF_F__C");
        SetName(img, 4, Name(kT4, "FA_C"));
        Bytes profile = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        profile.push_back(0); // offset 33
        Bytes barhole = {1, 10, 0, 'L', 5, 0, 'L', 0, 0, 0};
        barhole.insert(barhole.end(), profile.begin(), profile.end());
        // Slot 0: every kind of line the options change; the mode code holds 'U' (0x55), which
        // the memory stores escaped.
        SetStream(
            img, 0,
            Join({Record('O', '1', kT0, {'A', 'U', 'X'}), Record('Q', '1', kT0 + 1, {1, 2, 3}),
                  Record('A', '1', kT0 + 2, {0, 0xFE}), Record('M', '1', kT0 + 3, {0xFE}),
                  Record('L', '1', kT0 + 4, {0xFE}), Record('H', '4', kT0 + 5, barhole),
                  Record('C', '1', kT0 + 6, {0xFF}), Record('Z', '2', kT0 + 7, {0xFF}),
                  Record('F', '1', kT0 + 8, {0xFF}), Record('B', '1', kT0 + 9, {0xFF})}));
        SetStream(img, 1, Join({Record('Y', '1', kT1, {})}));
        SetStream(img, 2, Join({Record('O', '1', kT2, {'M', 'O', 'D'})}));
        SetStream(img, 3, Join({Record('Y', '1', 0, {})}));
        SetStream(img, 4, Join({Record('Y', '1', kT4, {})}));
    }

    // Runs tavon-datalog in the test folder (or workDir) with these variables (NAME=value,
    // separated by blanks) in its environment.
    static Result Run(const std::vector<std::string>& args, const std::string& workDir = "",
                      const std::string& environment = "TZ=UTC0") {
        std::vector<std::string> variables;
        std::istringstream words(environment);
        for (std::string word; words >> word;) {
            variables.push_back(word);
        }
        return testsupport::RunProgram("tavon-datalog", args, workDir.empty() ? *dir : workDir, 180,
                                       variables);
    }

    // What the program's report gives for these slots, rendered in this process.
    static std::string Expected(const std::vector<int16_t>& slots,
                                const std::function<void(ReportState&)>& configure = nullptr) {
        ReportState state;
        if (configure) {
            configure(state);
        }
        for (int16_t slot : slots) {
            const SessionEntry* entry = table->FindDated(slot);
            state.HeadingDay = entry ? std::string(entry->dayLabel) + " " : std::string();
            state.HeadingMonth = entry ? std::string(entry->monthLabel) : std::string();
            RenderSession(state, *image, slot);
        }
        return state.ReportText;
    }

    static std::string Dump() { return *dir + "/FlashData.txt"; }

    static testsupport::ZoneGuard* zone;
    static std::string* dir;
    static LogImage* image;
    static SessionTable* table;
};

testsupport::ZoneGuard* CliTest::zone = nullptr;
std::string* CliTest::dir = nullptr;
LogImage* CliTest::image = nullptr;
SessionTable* CliTest::table = nullptr;

TEST_F(CliTest, SessionsListsTheTree) {
    const Result r = Run({"sessions", Dump()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "Dec 2026\n"
                     "  Monday 07\n"
                     "    slot 0: 09:00:00FC   \n"
                     "    slot 1: 10:00:00     Alm \n"
                     "  Tuesday 08\n"
                     "    slot 2: 08:15:30   C \n"
                     "Jan 2027\n"
                     "  Tuesday 05\n"
                     "    slot 4: 12:00:00FC C Alm \n");
    EXPECT_EQ(Run({"sessions", "--show", "all", Dump()}).out, r.out);
    EXPECT_EQ(Run({"sessions", Dump(), "--show=all"}).out, r.out);
}

TEST_F(CliTest, SessionsShowFollowsTheBoxes) {
    EXPECT_EQ(Run({"sessions", Dump(), "--show", "alarm"}).out, "Dec 2026\n"
                                                                "  Monday 07\n"
                                                                "    slot 1: 10:00:00     Alm \n"
                                                                "Jan 2027\n"
                                                                "  Tuesday 05\n"
                                                                "    slot 4: 12:00:00FC C Alm \n");
    EXPECT_EQ(Run({"sessions", Dump(), "--show", "cal"}).out, "Dec 2026\n"
                                                              "  Monday 07\n"
                                                              "    slot 0: 09:00:00FC   \n"
                                                              "  Tuesday 08\n"
                                                              "    slot 2: 08:15:30   C \n"
                                                              "Jan 2027\n"
                                                              "  Tuesday 05\n"
                                                              "    slot 4: 12:00:00FC C Alm \n");
    EXPECT_EQ(Run({"sessions", Dump(), "--show", "alarm,cal"}).out,
              "Dec 2026\n"
              "  Monday 07\n"
              "    slot 0: 09:00:00FC   \n"
              "    slot 1: 10:00:00     Alm \n"
              "  Tuesday 08\n"
              "    slot 2: 08:15:30   C \n"
              "Jan 2027\n"
              "  Tuesday 05\n"
              "    slot 4: 12:00:00FC C Alm \n");
}

TEST_F(CliTest, UndatedSlotsHaveEmptyHeadings) {
    const Result r = Run({"render", Dump(), "3", "3"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind(std::string(RtfHeader) + " \\par ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\\par --------  --------- \\par "), std::string::npos) << r.out;
    EXPECT_EQ(r.out, Expected({3, 3}));
}

TEST_F(CliTest, SlotsTheDumpDoesNotHoldAreNamedAndNothingIsWritten) {
    // A report, an export or a chart of a session the dump never received would look like a
    // session without records.
    const std::vector<std::vector<std::string>> tails = {{"-o", "none.rtf"},
                                                         {"--format", "csv", "-o", "none.csv"},
                                                         {"-o", "none.png"},
                                                         {"--format", "json", "-o", "none.json"},
                                                         {"-o", "none-map.png"}};
    const char* commands[] = {"render", "export", "plot", "survey", "map"};
    for (size_t i = 0; i < tails.size(); ++i) {
        std::vector<std::string> words = {commands[i], Dump(), "7", "2", "9"};
        words.insert(words.end(), tails[i].begin(), tails[i].end());
        const Result r = Run(words);
        EXPECT_EQ(r.status, 2) << commands[i];
        EXPECT_EQ(r.err, "tavon-datalog: slot 7: the dump does not hold this session (it was never "
                         "uploaded into it)\n"
                         "tavon-datalog: slot 9: the dump does not hold this session (it was never "
                         "uploaded into it)\n")
            << commands[i];
        EXPECT_EQ(r.out, "") << commands[i];
        EXPECT_FALSE(testsupport::FileExists(*dir + "/" + tails[i].back())) << commands[i];
    }
}

// The program saves its dump as the index arrives: sessions read since are in its archive only.
// A slot the dump lacks and the archive holds (the same instrument, slot and start) is still
// refused, and its line names the archive's command that shows it; a slot neither holds, and
// one whose start the archive never saw, keep the plain line.
TEST_F(CliTest, ASlotTheDumpLacksButTheArchiveHoldsNamesTheCommandThatShowsIt) {
    const std::string work = *dir + "/kept";
    ASSERT_EQ(mkdir(work.c_str(), 0700), 0);
    WriteFile(work + "/Settings.ini", "Archive=" + work + "/kept.sqlite\r\n");
    const Result imported = Run({"archive", "import", Dump()}, work);
    ASSERT_EQ(imported.status, 0) << imported.err;
    LogImage indexOnly;
    indexOnly.Store(0, image->Bytes(), LogImage::kImageSize);
    const Bytes zeros(LogImage::kSectorSize, 0);
    for (int slot : {0, 2, 3}) {
        indexOnly.Store(LogImage::DataSector(static_cast<int16_t>(slot)) * LogImage::kSectorSize,
                        zeros.data(), LogImage::kSectorSize);
    }
    SetName(indexOnly, 7, Name(kT4 + 3600, "____"));
    ASSERT_EQ(indexOnly.DumpImage((work + "/FlashData.txt").c_str()), 1);
    const Result r = Run({"render", "FlashData.txt", "0", "1", "3", "7", "-o", "none.rtf"}, work);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(testsupport::FileExists(work + "/none.rtf"));
    const std::string lacks =
        ": the dump does not hold this session (it was never uploaded into it)";
    std::istringstream lines(r.err);
    std::vector<std::string> said;
    for (std::string line; std::getline(lines, line);) {
        said.push_back(line);
    }
    ASSERT_EQ(said.size(), 3u) << r.err;
    const std::string named = "tavon-datalog: slot 0" + lacks + "; the archive holds it: ";
    ASSERT_EQ(said[0].rfind(named, 0), 0u) << said[0];
    EXPECT_EQ(said[1], "tavon-datalog: slot 3" + lacks) << "undated: no start tells it";
    EXPECT_EQ(said[2], "tavon-datalog: slot 7" + lacks);
    // The command named shows the session as the whole dump does.
    const std::string command = said[0].substr(named.size());
    ASSERT_EQ(command.rfind("tavon-datalog archive render ", 0), 0u) << command;
    const Result shown = Run(
        {"archive", "render", command.substr(std::string("tavon-datalog archive render ").size())},
        work);
    EXPECT_EQ(shown.status, 0) << shown.err;
    EXPECT_EQ(shown.out, Expected({0}));
    // The other dump commands name their own.
    const Result exported = Run({"export", "FlashData.txt", "2", "--format", "csv"}, work);
    EXPECT_EQ(exported.status, 2);
    EXPECT_NE(
        exported.err.find("; the archive holds it: tavon-datalog archive export --format csv "),
        std::string::npos)
        << exported.err;
}

TEST_F(CliTest, SeveralSlotsMakeOneReportWithSeparators) {
    const Result r = Run({"render", Dump(), "2", "1", "0"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, Expected({2, 1, 0}));
    const std::string& out = r.out;
    const size_t first = out.find("Tuesday 08 Dec 2026 \\par ");
    const size_t second = out.find("\\par -------- Monday 07 Dec 2026 --------- \\par ");
    EXPECT_EQ(first, std::strlen(RtfHeader));
    EXPECT_NE(second, std::string::npos);
    EXPECT_NE(out.find("\\par -------- Monday 07 Dec 2026 --------- \\par ", second + 1),
              std::string::npos);
    EXPECT_EQ(out.substr(out.size() - 2), "}}");
}

TEST_F(CliTest, UnrecognisedRecordsGiveTheWarningAndStillTheReport) {
    const Result r = Run({"render", Dump(), "0"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, kWarning);
    EXPECT_NE(r.out.find("\\par Unrecognised log.\\par "), std::string::npos);
    EXPECT_NE(r.out.find(" in AUX mode.\\par "), std::string::npos); // escaped 'U' read back
    EXPECT_EQ(r.out, Expected({0}));
    EXPECT_EQ(Run({"render", Dump(), "2"}).err, "");
}

struct OptionCase {
    const char* name;
    std::vector<std::string> options;
    std::function<void(ReportState&)> configure;
};

class CliOptionTest : public CliTest, public ::testing::WithParamInterface<OptionCase> {};

TEST_P(CliOptionTest, MatchesTheProgramsReportAndChangesIt) {
    std::vector<std::string> args = {"render", Dump(), "0", "2"};
    args.insert(args.end(), GetParam().options.begin(), GetParam().options.end());
    const Result r = Run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, Expected({0, 2}, GetParam().configure));
    EXPECT_NE(r.out, Expected({0, 2})); // the option made a difference
}

INSTANTIATE_TEST_SUITE_P(
    Options, CliOptionTest,
    ::testing::Values(
        OptionCase{"graph", {"--graph"}, [](ReportState& s) { s.ShowBarholeGraph = 1; }},
        OptionCase{"hideAlarm", {"--hide", "alarm"}, [](ReportState& s) { s.ShowAlarmLogs = 0; }},
        OptionCase{"hideManual", {"--hide=manual"}, [](ReportState& s) { s.ShowManualLogs = 0; }},
        OptionCase{"hideCalibration",
                   {"--hide", "calibration"},
                   [](ReportState& s) { s.ShowCalibrationLogs = 0; }},
        OptionCase{"hideBump", {"--hide=bump"}, [](ReportState& s) { s.ShowBumpLogs = 0; }},
        OptionCase{
            "hideReadings",
            {"--hide", "timed,alarm,manual"},
            [](ReportState& s) { s.ShowAlarmLogs = s.ShowManualLogs = s.ShowTimedLogs = 0; }},
        OptionCase{"hideAll",
                   {"--hide", "bump,timed,calibration,alarm,manual"},
                   [](ReportState& s) {
                       s.ShowAlarmLogs = s.ShowManualLogs = s.ShowTimedLogs = 0;
                       s.ShowCalibrationLogs = s.ShowBumpLogs = 0;
                   }},
        OptionCase{"modeNames",
                   {"--mode-names", "Le[a]k,Two,Three,Four"},
                   [](ReportState& s) {
                       s.ModeNames[0] = "Le\xE9"
                                        "a\xEAk";
                       s.ModeNames[1] = "Two";
                       s.ModeNames[2] = "Three";
                       s.ModeNames[3] = "Four";
                   }}),
    [](const ::testing::TestParamInfo<OptionCase>& info) { return std::string(info.param.name); });

TEST_F(CliTest, HideCalibrationAndBumpLeaveOutExactlyThoseRecords) {
    const std::string all = Run({"render", Dump(), "0"}).out;
    for (const char* heading :
         {" Calibration\\par ", " Zero\\par ", " Field Cal\\par ", " Bump Test\\par "}) {
        EXPECT_NE(all.find(heading), std::string::npos) << heading;
    }
    const Result cal = Run({"render", Dump(), "0", "--hide", "calibration"});
    EXPECT_EQ(cal.status, 0);
    EXPECT_EQ(cal.out.find(" Calibration\\par "), std::string::npos);
    EXPECT_EQ(cal.out.find(" Zero\\par "), std::string::npos);
    EXPECT_EQ(cal.out.find(" Field Cal\\par "), std::string::npos);
    EXPECT_NE(cal.out.find(" Bump Test\\par "), std::string::npos);
    const Result bump = Run({"render", Dump(), "0", "--hide", "bump"});
    EXPECT_EQ(bump.out.find(" Bump Test\\par "), std::string::npos);
    EXPECT_NE(bump.out.find(" Calibration\\par "), std::string::npos);
}

TEST_F(CliTest, ModeNamesShowInTheSwitchOnLine) {
    const Result r = Run({"render", Dump(), "2", "--mode-names", "Le[a]k"});
    EXPECT_NE(r.out.find(" in Le\xE9"
                         "a\xEAk mode.\\par "),
              std::string::npos)
        << r.out;
}

TEST_F(CliTest, SettingsFileTurnsTheGraphOn) {
    const std::string work = *dir + "/graph";
    ASSERT_EQ(mkdir(work.c_str(), 0700), 0);
    WriteFile(work + "/Settings.ini", "Show Barhole Graph=TRUE\r\n");
    const std::string withSetting = Run({"render", Dump(), "0"}, work).out;
    EXPECT_EQ(withSetting, Run({"render", Dump(), "0", "--graph"}).out);
    WriteFile(work + "/Settings.ini", "Show Barhole Graph=true\r\n");
    EXPECT_EQ(Run({"render", Dump(), "0"}, work).out, Expected({0}));
}

TEST_F(CliTest, OutputFileHoldsTheSameBytes) {
    const std::string path = *dir + "/report.rtf";
    const Result r = Run({"render", Dump(), "0", "2", "-o", path});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(ReadFile(path), Expected({0, 2}));
    EXPECT_NE(access((path + ".part").c_str(), F_OK), 0);
}

TEST_F(CliTest, UnwritableOutputNamesTheMissingFolder) {
    const std::string folder = *dir + "/no/such/dir";
    const Result r = Run({"render", Dump(), "1", "-o", folder + "/report.rtf"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "tavon-datalog: cannot write " + folder + "/report.rtf: the folder " + folder +
                         " does not exist\n");
    WriteFile(*dir + "/plain", "x");
    const Result underFile = Run({"export", Dump(), "1", "--format=csv", "-o", "plain/out.csv"});
    EXPECT_EQ(underFile.status, 1);
    EXPECT_EQ(underFile.err, "tavon-datalog: cannot write plain/out.csv: plain is not a folder\n");
}

TEST_F(CliTest, HelpDescribesEveryOption) {
    const Result r = Run({"--help"});
    EXPECT_EQ(r.status, 0);
    for (const char* word :
         {"sessions", "render", "--show", "--graph", "--mode-names", "--hide",
          "--hide alarm,manual,timed,calibration,bump", "-o FILE", "--help", "Exit status",
          "--ports all", "--new-only", "archive list", "--archive LOCATION"}) {
        EXPECT_NE(r.out.find(word), std::string::npos) << word;
    }
    EXPECT_EQ(Run({"--", "--help"}).status, 2);
}

// A command's own help: its usage and options, none of another command's.
struct CommandHelp {
    std::vector<std::string> command;
    std::vector<std::string> mentions;
    std::vector<std::string> leavesOut;
};

TEST_F(CliTest, EachCommandsHelpIsItsOwn) {
    const std::vector<CommandHelp> cases = {
        {{"sessions"},
         {"--show LIST", "only when it holds a session the choice lists"},
         {"--pdf", "--ports", "--format", "archive import"}},
        {{"render"},
         {"--graph", "--pdf FILE", "--mode-names", "-o FILE"},
         {"--show", "--ports", "archive import"}},
        {{"export"}, {"--format csv", "--format gpx", "-o FILE"}, {"--show", "--pdf", "--ports"}},
        {{"plot"}, {"--size WxH", "--hide LIST"}, {"--show", "--pdf", "--ports"}},
        {{"survey"},
         {"--format json", "--format csv", "--instrument NAME", "-o FILE"},
         {"--show", "--pdf", "--hide"}},
        {{"map"},
         {"--tiles FILE", "--gas NAME", "--size WxH", "grid", "Exit status: 0 done (also"},
         {"--show", "--pdf", "--format"}},
        {{"download"},
         {"--pipe [NAME]", "--port DEVICE", "--ports all", "--new-only", "--instrument NAME",
          "more than once", "130"},
         {"--show", "--pdf", "archive import"}},
        {{"archive"},
         {"archive import", "archive stats", "--archive LOCATION"},
         {"--show", "--pdf", "--ports", "only sessions on this day or later"}},
        {{"archive", "list"},
         {"--from YYYY-MM-DD", "only sessions on this day or later", "--archive LOCATION"},
         {"archive import", "archive stats", "--pdf", "--show"}},
        {{"archive", "plot"}, {"--size WxH", "--archive LOCATION"}, {"archive list", "--from"}},
        {{"archive", "map"},
         {"--tiles FILE", "--gas NAME", "--from YYYY-MM-DD", "--instrument NAME", "ID... | SEARCH"},
         {"archive list", "--format"}},
        {{"archive", "survey"},
         {"--format FORMAT", "register status", "--from YYYY-MM-DD", "--alarm", "-o FILE"},
         {"archive list", "--tiles"}},
        {{"archive", "stats"},
         {"What the archive holds", "--archive LOCATION"},
         {"archive list", "archive import", "--from"}},
        {{"archive", "history"},
         {"--format FORMAT", "chained to the one before by its", "--archive LOCATION"},
         {"archive list", "archive import", "--from"}},
        {{"archive", "verify"},
         {"Exit status 1 on any mismatch", "verify found a mismatch", "--archive LOCATION"},
         {"archive list", "--format", "--from"}},
    };
    for (const CommandHelp& c : cases) {
        std::string usage = "Usage: tavon-datalog";
        for (const std::string& word : c.command) {
            usage += " " + word;
        }
        for (const char* help : {"--help", "-h"}) {
            std::vector<std::string> args = c.command;
            args.push_back(help);
            const Result r = Run(args);
            EXPECT_EQ(r.status, 0) << usage;
            EXPECT_EQ(r.err, "");
            EXPECT_EQ(r.out.rfind(usage, 0), 0u) << r.out;
            EXPECT_NE(std::string(" \n").find(r.out[usage.size()]), std::string::npos) << r.out;
            EXPECT_EQ(r.out.find("Usage:", 1), std::string::npos) << r.out;
            EXPECT_NE(r.out.find("Exit status"), std::string::npos) << usage;
            EXPECT_LT(std::count(r.out.begin(), r.out.end(), '\n'), 100) << usage;
            for (const std::string& word : c.mentions) {
                EXPECT_NE(r.out.find(word), std::string::npos) << usage << ": " << word;
            }
            for (const std::string& word : c.leavesOut) {
                EXPECT_EQ(r.out.find(word), std::string::npos) << usage << ": " << word;
            }
            EXPECT_EQ(r.out.find("whatever the choice"), std::string::npos) << usage;
        }
    }
    // After the arguments too, as anywhere before "--".
    EXPECT_EQ(Run({"render", Dump(), "0", "--help"}).out, Run({"render", "-h"}).out);
}

struct BadArgs {
    const char* name;
    std::vector<std::string> args; // "DUMP" stands for the test dump, "BAD" for a malformed one
};

class CliBadArgsTest : public CliTest, public ::testing::WithParamInterface<BadArgs> {};

TEST_P(CliBadArgsTest, OneLineOnStandardErrorAndStatusTwo) {
    WriteFile(*dir + "/bad.txt", "00 11 22\r\n");
    const std::string out = *dir + "/out.rtf";
    std::remove(out.c_str());
    std::vector<std::string> args;
    for (const std::string& a : GetParam().args) {
        args.push_back(a == "DUMP" ? Dump() : a == "BAD" ? *dir + "/bad.txt" : a);
    }
    args.push_back("-o");
    args.push_back(out);
    if (args[0] == "sessions" || args.size() == 2 || args[0] == "archive") {
        args.resize(args.size() - 2); // sessions has no -o; archive cases give their own
    }
    // An archive command that went wrong would make its default archive here.
    const Result r = Run(args, "", "TZ=UTC0 XDG_DATA_HOME=" + *dir + "/data");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.rfind("tavon-datalog: ", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    EXPECT_NE(access(out.c_str(), F_OK), 0) << "nothing written";
    EXPECT_FALSE(testsupport::FileExists(*dir + "/data")) << "no archive opened";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliBadArgsTest,
    ::testing::Values(
        BadArgs{"noCommand", {}}, BadArgs{"unknownCommand", {"print", "DUMP"}},
        BadArgs{"sessionsNoDump", {"sessions"}},
        BadArgs{"sessionsTwoDumps", {"sessions", "DUMP", "DUMP"}},
        BadArgs{"sessionsBadShow", {"sessions", "DUMP", "--show", "some"}},
        BadArgs{"sessionsEmptyShow", {"sessions", "DUMP", "--show", ""}},
        BadArgs{"sessionsShowNoValue", {"sessions", "DUMP", "--show"}},
        BadArgs{"sessionsUnknownOption", {"sessions", "DUMP", "--tree"}},
        BadArgs{"sessionsMissingDump", {"sessions", "/nonexistent/FlashData.txt"}},
        BadArgs{"sessionsMalformedDump", {"sessions", "BAD"}},
        BadArgs{"renderNoSlot", {"render", "DUMP"}}, BadArgs{"renderNothing", {"render"}},
        BadArgs{"renderSlot500", {"render", "DUMP", "0", "500"}},
        BadArgs{"renderSlotNegative", {"render", "DUMP", "-1"}},
        BadArgs{"renderSlotHuge", {"render", "DUMP", "99999999999999999999"}},
        BadArgs{"renderSlotText", {"render", "DUMP", "first"}},
        BadArgs{"renderSlotHex", {"render", "DUMP", "0x10"}},
        BadArgs{"renderBadHide", {"render", "DUMP", "0", "--hide", "survey"}},
        BadArgs{"renderHideEmptyWord", {"render", "DUMP", "0", "--hide", "alarm,"}},
        BadArgs{"renderHideZero", {"render", "DUMP", "0", "--hide", "zero"}},
        BadArgs{"renderHideUpperCase", {"render", "DUMP", "0", "--hide", "Bump"}},
        BadArgs{"renderFiveModeNames", {"render", "DUMP", "0", "--mode-names", "a,b,c,d,e"}},
        BadArgs{"renderUnknownOption", {"render", "DUMP", "0", "--full-day"}},
        BadArgs{"renderMalformedDump", {"render", "BAD", "0"}},
        BadArgs{"renderMissingDump", {"render", "/nonexistent/x.txt", "0"}},
        BadArgs{"exportNoFormat", {"export", "DUMP", "0"}},
        BadArgs{"exportKml", {"export", "DUMP", "0", "--format", "kml"}},
        BadArgs{"exportTwoFormats", {"export", "DUMP", "0", "--format", "csv,gpx"}},
        BadArgs{"exportNoSlot", {"export", "DUMP", "--format", "csv"}},
        BadArgs{"exportBadHide", {"export", "DUMP", "0", "--format", "csv", "--hide", "x"}},
        BadArgs{"renderSingleDashOption", {"render", "DUMP", "0", "-graph"}},
        BadArgs{"downloadSingleDashOption", {"download", "-quiet"}},
        BadArgs{"downloadBadPorts", {"download", "--ports="}},
        BadArgs{"archiveNoSubcommand", {"archive"}},
        BadArgs{"archiveUnknownSubcommand", {"archive", "show"}},
        BadArgs{"archiveRenderSingleDashOption", {"archive", "render", "-graph", "1"}},
        BadArgs{"archiveStatsEmptyArchive", {"archive", "stats", "--archive="}},
        BadArgs{"archiveListEmptyArchive", {"archive", "list", "--archive="}},
        BadArgs{"archiveListUnknownOption", {"archive", "list", "--graph"}},
        BadArgs{"archiveListBadDate", {"archive", "list", "--from", "2026-02-30"}},
        BadArgs{"archiveImportEmptyInstrument", {"archive", "import", "--instrument=", "DUMP"}},
        BadArgs{"archivePlotNoValue", {"archive", "plot", "1", "-o"}},
        BadArgs{"mapNoOutput", {"map", "DUMP", "0"}},
        BadArgs{"mapSvg", {"map", "DUMP", "0", "-o", "map.svg"}},
        BadArgs{"mapEmptyGas", {"map", "DUMP", "0", "--gas="}},
        BadArgs{"archiveMapIdsAndSearch", {"archive", "map", "-o", "m.png", "--cal", "1"}},
        BadArgs{"archiveSurveyNothingChosen", {"archive", "survey", "--format", "json"}},
        BadArgs{"archiveSurveyBadFormat", {"archive", "survey", "--format", "xml", "1"}},
        BadArgs{"archiveExportNoId", {"archive", "export", "--format", "csv"}}),
    [](const ::testing::TestParamInfo<BadArgs>& info) { return std::string(info.param.name); });

TEST_F(CliTest, OutputOptionWithoutAFileIsABadArgument) {
    const Result r = Run({"render", Dump(), "0", "-o"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
}

TEST_F(CliTest, MalformedDumpNamesTheBadLine) {
    std::string text = ReadFile(Dump());
    text[50 * 41 + 3] = 'Q';
    WriteFile(*dir + "/spoilt.txt", text);
    const Result r = Run({"sessions", *dir + "/spoilt.txt"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("line 42"), std::string::npos) << r.err;
}

TEST_F(CliTest, TimeZoneAndLocaleDoNotChangeTheOutput) {
    // The instrument's clock shows wall-clock time: the same labels in every zone of the PC.
    const std::vector<std::string> sessions = {"sessions", Dump()};
    const std::vector<std::string> render = {"render", Dump(), "0", "2", "--graph"};
    for (const char* environment :
         {"TZ=America/New_York", "TZ=Asia/Kolkata LC_ALL=de_DE.UTF-8 LANG=de_DE.UTF-8"}) {
        EXPECT_EQ(Run(sessions, "", environment).out, Run(sessions).out) << environment;
        EXPECT_EQ(Run(render, "", environment).out, Run(render).out) << environment;
    }
}

TEST_F(CliTest, SlotsWithLeadingZerosAreAccepted) {
    const Result r = Run({"render", Dump(), "001"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, Expected({1}));
}

// A map of sessions without positions is the grid alone, with a message that says so.
TEST_F(CliTest, MapOfSessionsWithoutPositionsIsTheGridAndAMessage) {
    const std::string path = *dir + "/nowhere.png";
    const Result r = Run({"map", Dump(), "1", "2", "-o", path, "--size", "320x200"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("tavon-datalog: the sessions have no positions: " + path +
                         " shows the latitude and longitude grid alone\n"),
              std::string::npos)
        << r.err;
    const std::string png = ReadFile(path);
    ASSERT_GE(png.size(), 24u);
    // The picture's width and height, big-endian in the PNG header.
    EXPECT_EQ(png.substr(16, 8), std::string("\0\0\x01\x40\0\0\0\xc8", 8));
}

// The command writes exactly what the export library gives for the same slots.
TEST_F(CliTest, ExportWritesEachFormatToAFile) {
    std::string noNames[4];
    const std::vector<SessionValues> sessions = {DecodeSessionValues(*image, 0, noNames),
                                                 DecodeSessionValues(*image, 2, noNames)};
    for (ExportFormat format : {ExportFormat::Csv, ExportFormat::GeoJson, ExportFormat::Gpx}) {
        const std::string path = *dir + "/out" + ExportFormatSuffix(format);
        const Result r =
            Run({"export", Dump(), "0", "2", "--format", ExportFormatWord(format), "-o", path});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(ReadFile(path), ExportSessions(sessions, format, LogFilter()).toStdString());
        EXPECT_NE(access((path + ".part").c_str(), F_OK), 0);
    }
}

TEST_F(CliTest, ExportHonoursHide) {
    const std::string all = Run({"export", Dump(), "0", "--format", "csv"}).out;
    const Result hidden =
        Run({"export", Dump(), "0", "--format", "csv", "--hide", "calibration,bump"});
    EXPECT_EQ(hidden.status, 0);
    for (const char* kind : {",calibration,", ",zero,", ",field calibration,", ",bump test,"}) {
        EXPECT_NE(all.find(kind), std::string::npos) << kind;
        EXPECT_EQ(hidden.out.find(kind), std::string::npos) << kind;
    }
    EXPECT_NE(hidden.out.find(",barhole,"), std::string::npos);
}

} // namespace
