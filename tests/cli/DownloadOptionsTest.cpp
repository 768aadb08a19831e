// The download's arguments, the plan of its reports and its progress line, without a process.
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "ParseArgs.h"
#include "core/LogImage.h"
#include "core/SessionTable.h"
#include "core/SessionTree.h"
#include "download/DownloadOptions.h"
#include "download/DownloadPlan.h"
#include "download/ProgressBar.h"
#include "testsupport/EnvGuard.h"
#include "testsupport/InstrumentStamp.h"

namespace {

using testsupport::InstrumentStamp;

bool Parse(std::vector<std::string> args, DownloadOptions& options, std::string& message) {
    return ParseWith(ParseDownloadOptions, std::move(args), options, message);
}

TEST(DownloadOptionsTest, DefaultsWithoutArguments) {
    DownloadOptions o;
    std::string message;
    ASSERT_TRUE(Parse({}, o, message));
    EXPECT_TRUE(o.links.empty()); // the default choice
    EXPECT_FALSE(o.allPorts);
    EXPECT_EQ(o.dumpPath, "FlashData.txt");
    EXPECT_EQ(o.outDir, ".");
    EXPECT_TRUE(o.boxes.all);
    EXPECT_TRUE(o.sessionSlots.empty());
    EXPECT_TRUE(o.days.empty());
    EXPECT_FALSE(o.modeNamesGiven);
    EXPECT_FALSE(o.graph);
    EXPECT_FALSE(o.fast);
    EXPECT_FALSE(o.quiet);
    EXPECT_FALSE(o.newOnly);
}

TEST(DownloadOptionsTest, LinksInTheOrderGivenEachOnce) {
    using Kind = DownloadLink::Kind;
    struct Case {
        std::vector<std::string> args;
        std::vector<DownloadLink> links;
        bool allPorts;
    };
    const std::vector<Case> cases = {
        {{"--pipe"}, {{Kind::Pipe, "RAK Pipe"}}, false},
        {{"--pipe", "--quiet"}, {{Kind::Pipe, "RAK Pipe"}}, false},
        {{"--pipe", "Other Pipe"}, {{Kind::Pipe, "Other Pipe"}}, false},
        {{"--pipe=x"}, {{Kind::Pipe, "x"}}, false},
        {{"--port", "ttyUSB0"}, {{Kind::Port, "ttyUSB0"}}, false},
        {{"--port=/dev/pts/7"}, {{Kind::Port, "pts/7"}}, false},
        {{"--port", "/tmp/dev/x"}, {{Kind::Port, "/tmp/dev/x"}}, false},
        {{"--port", "pts/3", "--pipe", "--port", "pts/4", "--pipe", "b", "--pipe", "a"},
         {{Kind::Port, "pts/3"},
          {Kind::Pipe, "RAK Pipe"},
          {Kind::Port, "pts/4"},
          {Kind::Pipe, "b"},
          {Kind::Pipe, "a"}},
         false},
        {{"--port", "/dev/pts/3", "--port=pts/3", "--pipe", "--pipe=RAK Pipe"},
         {{Kind::Port, "pts/3"}, {Kind::Pipe, "RAK Pipe"}},
         false},
        {{"--ports", "all"}, {}, true},
        {{"--pipe", "--ports=all", "--port", "COM3", "--ports", "all"},
         {{Kind::Pipe, "RAK Pipe"}, {Kind::Port, "COM3"}},
         true},
        // --ports names several ports as --port names each, as the watcher takes it.
        {{"--ports", "pts/3", "/dev/pts/4"}, {{Kind::Port, "pts/3"}, {Kind::Port, "pts/4"}}, false},
        {{"--ports=ttyUSB0", "all", "--port", "/dev/ttyUSB0"}, {{Kind::Port, "ttyUSB0"}}, true},
        {{"--port", "a", "--ports", "b", "c", "--pipe", "--ports", "a"},
         {{Kind::Port, "a"}, {Kind::Port, "b"}, {Kind::Port, "c"}, {Kind::Pipe, "RAK Pipe"}},
         false},
    };
    for (const Case& c : cases) {
        DownloadOptions o;
        std::string message;
        ASSERT_TRUE(Parse(c.args, o, message)) << c.args[0] << ": " << message;
        EXPECT_EQ(o.links, c.links) << c.args.size() << " arguments from " << c.args[0];
        EXPECT_EQ(o.allPorts, c.allPorts) << c.args[0];
    }
}

TEST(DownloadOptionsTest, NewOnlyAndTheInstrumentsName) {
    DownloadOptions o;
    std::string message;
    ASSERT_TRUE(Parse({"--new-only", "--instrument", "van 3"}, o, message)) << message;
    EXPECT_TRUE(o.newOnly);
    EXPECT_FALSE(o.all);
    EXPECT_EQ(o.instrumentName, "van 3");
    EXPECT_FALSE(Parse({"--new-only", "--all"}, o, message));
    EXPECT_EQ(message, "download: --all and --new-only exclude each other");
}

TEST(DownloadOptionsTest, ListsOfSlotsAndDays) {
    DownloadOptions o;
    std::string message;
    ASSERT_TRUE(
        Parse({"--slot", "7", "3", "--graph", "--slot=7", "--slot", "499", "0"}, o, message))
        << message;
    EXPECT_EQ(o.sessionSlots, (std::vector<int16_t>{7, 3, 499, 0}));
    EXPECT_TRUE(o.graph);

    DownloadOptions d;
    ASSERT_TRUE(Parse(
        {"--day", "2026-08-17", "2024-02-29", "--quiet", "--fast", "--day=2026-08-17"}, d, message))
        << message;
    EXPECT_EQ(d.days, (std::vector<std::string>{"2026-08-17", "2024-02-29"}));
    EXPECT_TRUE(d.quiet);
    EXPECT_TRUE(d.fast);
}

TEST(DownloadOptionsTest, BoxesModeNamesAndPaths) {
    DownloadOptions o;
    std::string message;
    ASSERT_TRUE(Parse({"--sessions", "alarm,cal", "--mode-names", "A,[b],,D", "--dump", "x/d.txt",
                       "--out=r", "-q", "--export", "gpx,csv,gpx"},
                      o, message))
        << message;
    EXPECT_FALSE(o.boxes.all);
    EXPECT_TRUE(o.boxes.alarm);
    EXPECT_TRUE(o.boxes.cal);
    EXPECT_TRUE(o.modeNamesGiven);
    EXPECT_EQ(o.modeNames[0], "A");
    EXPECT_EQ(o.modeNames[1], "\xE9"
                              "b\xEA");
    EXPECT_EQ(o.modeNames[2], "");
    EXPECT_EQ(o.modeNames[3], "D");
    EXPECT_EQ(o.dumpPath, "x/d.txt");
    EXPECT_EQ(o.outDir, "r");
    EXPECT_TRUE(o.quiet);
    EXPECT_EQ(o.exportFormats, (std::vector<ExportFormat>{ExportFormat::Gpx, ExportFormat::Csv}));
}

TEST(DownloadOptionsTest, ArchiveChoices) {
    DownloadOptions o;
    std::string message;
    ASSERT_TRUE(Parse({}, o, message));
    EXPECT_TRUE(o.archive);
    EXPECT_FALSE(o.all);
    ASSERT_TRUE(
        Parse({"--archive", "postgresql://a@b/c", "--instrument=van 3", "--all"}, o, message))
        << message;
    EXPECT_EQ(o.archiveAt, "postgresql://a@b/c");
    EXPECT_EQ(o.instrumentName, "van 3");
    EXPECT_TRUE(o.all);
    EXPECT_TRUE(o.archive);
    DownloadOptions off;
    ASSERT_TRUE(Parse({"--no-archive"}, off, message));
    EXPECT_FALSE(off.archive);
}

TEST(DownloadOptionsTest, RefusedArguments) {
    const std::vector<std::vector<std::string>> cases = {
        {"--pipe="},
        {"--pipe", "a", "--pipe="},
        {"--ports"},
        {"--ports="},
        {"--ports", "pts/3", "/dev/"},
        {"--port", "a", "--port"},
        {"--port"},
        {"--port", "/dev/"},
        {"--slot"},
        {"--slot", "500"},
        {"--slot", "-1"},
        {"--slot", "3", "x"},
        {"--slot", "1", "--day", "2026-01-01"},
        {"--day", "2026-13-01"},
        {"--day", "2026-02-29"},
        {"--day", "2026-1-01"},
        {"--day", "20260101"},
        {"--sessions", "alarm,,cal"},
        {"--sessions"},
        {"--mode-names", "a,b,c,d,e"},
        {"--dump"},
        {"--out", ""},
        {"--export"},
        {"--export", "kml"},
        {"--export", "csv,"},
        {"--archive"},
        {"--instrument", ""},
        {"--frobnicate"},
        {"--new-only=yes"},
        {"7"},
    };
    for (const std::vector<std::string>& args : cases) {
        DownloadOptions o;
        std::string message;
        EXPECT_FALSE(Parse(args, o, message)) << args[0];
        EXPECT_EQ(message.rfind("download: ", 0), 0u) << message;
    }
}

TEST(DownloadOptionsTest, IsoDates) {
    EXPECT_TRUE(IsIsoDate("2026-12-07"));
    EXPECT_TRUE(IsIsoDate("2000-02-29"));
    EXPECT_TRUE(IsIsoDate("2026-01-31"));
    EXPECT_FALSE(IsIsoDate("1900-02-29"));
    EXPECT_FALSE(IsIsoDate("2026-04-31"));
    EXPECT_FALSE(IsIsoDate("2026-00-10"));
    EXPECT_FALSE(IsIsoDate("2026-01-00"));
    EXPECT_FALSE(IsIsoDate("2026/01/01"));
    EXPECT_FALSE(IsIsoDate("2026-01-01 "));
    EXPECT_FALSE(IsIsoDate("+026-01-01"));
}

TEST(ProgressBarTest, LinesAndBounds) {
    EXPECT_EQ(ProgressBar::Line("Index", 0, 10, "sector 1 of 10"),
              "Index [....................] sector 1 of 10");
    EXPECT_EQ(ProgressBar::Line("Index", 5, 10, "sector 6 of 10"),
              "Index [##########..........] sector 6 of 10");
    EXPECT_EQ(ProgressBar::Line("S", 12, 4, ""), "S [####################] ");
    EXPECT_EQ(ProgressBar::Line("S", -3, 0, ""), "S [....................] ");
}

TEST(ProgressBarTest, DisabledWritesNothing) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    ProgressBar off(file, false);
    off.Draw("Index", 1, 10, "x");
    off.Clear();
    EXPECT_EQ(std::ftell(file), 0);
    ProgressBar on(file, true);
    on.Draw("Index", 1, 10, "sector 2 of 10");
    on.Draw("Index", 2, 10, "x");
    on.Clear();
    std::rewind(file);
    char text[256] = {};
    const size_t n = std::fread(text, 1, sizeof text - 1, file);
    std::fclose(file);
    const std::string written(text, n);
    const std::string first = "Index [##..................] sector 2 of 10";
    const std::string second = "Index [####................] x";
    // The shorter line rubs out the rest of the longer one; the clearing covers the longer one.
    EXPECT_EQ(written, "\r" + first + "\r" + second +
                           std::string(first.size() - second.size(), ' ') + "\r" +
                           std::string(first.size(), ' ') + "\r");
}

// ---------------------------------------------------------------------------------------------
// The plan

class PlanTest : public ::testing::Test {
protected:
    void SetUp() override {
        image = std::make_unique<LogImage>();
        std::vector<uint8_t> erased(LogImage::kIndexSectors * LogImage::kSectorSize, 0xFF);
        image->Store(0, erased.data(), static_cast<uint32_t>(erased.size()));
        table = std::make_unique<SessionTable>();
    }
    void Name(int slot, const std::string& name) {
        std::vector<uint8_t> bytes(LogImage::kEntrySize, 0);
        std::copy(name.begin(), name.end(), bytes.begin());
        image->Store(LogImage::IndexEntryOffset(static_cast<int16_t>(slot)), bytes.data(),
                     LogImage::kEntrySize);
    }
    void Name(int slot, unsigned int stamp, const char* tags) {
        char text[32];
        std::snprintf(text, sizeof text, "%08X_%.4s______", stamp, tags);
        Name(slot, std::string(text, 19));
    }
    DownloadPlan Plan(const DownloadOptions& options) {
        table->Build(*image);
        tree.Build(*table, options.boxes);
        return PlanDownload(*table, tree, options);
    }

    std::unique_ptr<LogImage> image;
    std::unique_ptr<SessionTable> table;
    SessionTree tree;
};

TEST_F(PlanTest, OneReportPerDayInTreeOrder) {
    Name(4, InstrumentStamp(2026, 12, 7, 15), "____");
    Name(2, InstrumentStamp(2026, 12, 7, 9), "_A__");
    Name(9, InstrumentStamp(2026, 12, 8, 8), "F___");
    Name(1, InstrumentStamp(2027, 1, 5, 12), "___C");
    Name(3, "FFFFFFFF_F__C");
    DownloadOptions options;
    const DownloadPlan plan = Plan(options);
    ASSERT_EQ(plan.jobs.size(), 3u);
    EXPECT_EQ(plan.jobs[0].fileName, "2026-12-07.rtf");
    EXPECT_EQ(plan.jobs[0].sessionSlots, (std::vector<int16_t>{2, 4}));
    EXPECT_EQ(plan.jobs[0].headingDay, "Monday 07 ");
    EXPECT_EQ(plan.jobs[0].headingMonth, "Dec 2026");
    EXPECT_EQ(plan.jobs[1].fileName, "2026-12-08.rtf");
    EXPECT_EQ(plan.jobs[1].sessionSlots, (std::vector<int16_t>{9}));
    EXPECT_EQ(plan.jobs[2].fileName, "2027-01-05.rtf");
    EXPECT_EQ(plan.jobs[2].sessionSlots, (std::vector<int16_t>{1}));
    EXPECT_EQ(plan.SessionCount(), 4);
    EXPECT_TRUE(plan.missing.empty());
}

TEST_F(PlanTest, BoxesLeaveOutSessionsAndEmptyDays) {
    Name(0, InstrumentStamp(2026, 12, 7, 9), "_A__");
    Name(1, InstrumentStamp(2026, 12, 7, 10), "____");
    Name(2, InstrumentStamp(2026, 12, 8, 8), "____");
    Name(3, InstrumentStamp(2026, 12, 9, 8), "F___");
    DownloadOptions options;
    options.boxes.all = false;
    options.boxes.alarm = true;
    DownloadPlan plan = Plan(options);
    ASSERT_EQ(plan.jobs.size(), 1u);
    EXPECT_EQ(plan.jobs[0].fileName, "2026-12-07.rtf");
    EXPECT_EQ(plan.jobs[0].sessionSlots, (std::vector<int16_t>{0}));

    options.boxes.cal = true;
    plan = Plan(options);
    ASSERT_EQ(plan.jobs.size(), 2u);
    EXPECT_EQ(plan.jobs[1].fileName, "2026-12-09.rtf");
}

TEST_F(PlanTest, HeldSessionsLeaveOnlyDaysWithSomethingNew) {
    Name(0, InstrumentStamp(2026, 12, 7, 9), "____");
    Name(1, InstrumentStamp(2026, 12, 7, 10), "____");
    Name(2, InstrumentStamp(2026, 12, 8, 8), "____");
    Name(3, InstrumentStamp(2026, 12, 8, 9), "____");
    DownloadOptions options;
    DownloadPlan plan = Plan(options);
    // The 7th is held whole; the 8th has one new session and is downloaded whole.
    EXPECT_EQ(DropHeld(plan, [](int16_t slot) { return slot != 3; }), 2);
    ASSERT_EQ(plan.jobs.size(), 1u);
    EXPECT_EQ(plan.jobs[0].fileName, "2026-12-08.rtf");
    EXPECT_EQ(plan.jobs[0].sessionSlots, (std::vector<int16_t>{2, 3}));
    EXPECT_EQ(DropHeld(plan, [](int16_t) { return true; }), 2);
    EXPECT_TRUE(plan.jobs.empty());

    // A day held whole stays when its files are not there, to be written from the archive.
    plan = Plan(options);
    EXPECT_EQ(DropHeld(
                  plan, [](int16_t) { return true; },
                  [](const ReportJob& job) { return job.fileName != "2026-12-08.rtf"; }),
              2);
    ASSERT_EQ(plan.jobs.size(), 1u);
    EXPECT_EQ(plan.jobs[0].fileName, "2026-12-08.rtf");
}

TEST_F(PlanTest, ChosenDaysAndAbsentOnes) {
    Name(0, InstrumentStamp(2026, 12, 7, 9), "____");
    Name(1, InstrumentStamp(2026, 12, 8, 10), "____");
    DownloadOptions options;
    options.days = {"2026-12-08", "2026-12-09"};
    const DownloadPlan plan = Plan(options);
    ASSERT_EQ(plan.jobs.size(), 1u);
    EXPECT_EQ(plan.jobs[0].fileName, "2026-12-08.rtf");
    ASSERT_EQ(plan.missing.size(), 1u);
    EXPECT_EQ(plan.missing[0], "no sessions listed on 2026-12-09: no report for it");
}

TEST_F(PlanTest, ADateUnderTwoDayNodesNeverReplacesItsFirstReport) {
    // Lower-case stamps sort after upper-case ones, so the same day comes round twice.
    char lower[32];
    std::snprintf(lower, sizeof lower, "%08x_______________", InstrumentStamp(2026, 12, 7, 11));
    Name(0, InstrumentStamp(2026, 12, 7, 9), "____");
    Name(1, InstrumentStamp(2026, 12, 8, 9), "____");
    Name(2, std::string(lower, 19));
    DownloadOptions options;
    const DownloadPlan plan = Plan(options);
    std::vector<std::string> names;
    for (const ReportJob& job : plan.jobs) {
        names.push_back(job.fileName);
    }
    // Whatever order the sort gives, each report has a name of its own.
    std::vector<std::string> sorted = names;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::unique(sorted.begin(), sorted.end()), sorted.end());
    EXPECT_EQ(plan.SessionCount(), 3);
}

TEST_F(PlanTest, SlotsOneReportEachWithRenderHeadings) {
    Name(5, InstrumentStamp(2026, 12, 7, 9), "____");
    Name(6, "FFFFFFFF_F__C");
    DownloadOptions options;
    options.sessionSlots = {6, 5, 7};
    options.boxes.all = false; // the boxes do not filter chosen slots
    const DownloadPlan plan = Plan(options);
    ASSERT_EQ(plan.jobs.size(), 2u);
    EXPECT_EQ(plan.jobs[0].fileName, "slot-6.rtf");
    EXPECT_EQ(plan.jobs[0].headingDay, "");
    EXPECT_EQ(plan.jobs[0].headingMonth, "");
    EXPECT_EQ(plan.jobs[1].fileName, "slot-5.rtf");
    EXPECT_EQ(plan.jobs[1].headingDay, "Monday 07 ");
    EXPECT_EQ(plan.jobs[1].headingMonth, "Dec 2026");
    ASSERT_EQ(plan.missing.size(), 1u);
    EXPECT_EQ(plan.missing[0], "slot 7 holds no session: no report for it");
}

TEST_F(PlanTest, SessionDateFollowsTheInstrumentClockInAnyZone) {
    Name(0, InstrumentStamp(2026, 12, 7, 23), "____");
    table->Build(*image);
    const SessionEntry* entry = table->FindDated(0);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(SessionDate(*entry), "2026-12-07");
    const testsupport::ZoneGuard farEast("NZST-12");
    EXPECT_EQ(SessionDate(*entry), "2026-12-07");
}

} // namespace
