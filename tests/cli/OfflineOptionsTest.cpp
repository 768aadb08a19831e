// The arguments of every subcommand, read in process.
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "DeclaredOptions.h"
#include "ParseArgs.h"
#include "cli/ArchiveOptions.h"
#include "cli/ComplianceOptions.h"
#include "download/DownloadOptions.h"
#include "download/OfflineOptions.h"
#include "testsupport/Processes.h"
#include "testsupport/TempDir.h"

namespace {

TEST(OfflineOptionsTest, SessionsTakesOneDumpAndTheBoxes) {
    SessionsOptions o;
    std::string message;
    ASSERT_TRUE(
        ParseWith(ParseSessionsOptions, {"--show=alarm", "d.txt", "--show", "cal"}, o, message))
        << message;
    EXPECT_EQ(o.dump, "d.txt");
    EXPECT_FALSE(o.boxes.all || o.boxes.alarm);
    EXPECT_TRUE(o.boxes.cal);
    SessionsOptions dashed;
    ASSERT_TRUE(ParseWith(ParseSessionsOptions, {"--", "--show"}, dashed, message));
    EXPECT_EQ(dashed.dump, "--show");
    EXPECT_TRUE(dashed.boxes.all);
}

TEST(OfflineOptionsTest, RenderReadsItsOptionsBetweenAndAfterTheSlots) {
    RenderOptions o;
    std::string message;
    ASSERT_TRUE(ParseWith(ParseRenderOptions,
                          {"d.txt", "3", "--graph", "0", "--hide", "alarm,bump", "-o", "r.rtf",
                           "--mode-names=A,[b]", "499"},
                          o, message))
        << message;
    EXPECT_EQ(o.dump, "d.txt");
    EXPECT_EQ(o.sessionSlots, (std::vector<int16_t>{3, 0, 499}));
    EXPECT_TRUE(o.graph);
    EXPECT_EQ(o.output, "r.rtf");
    EXPECT_EQ(o.modeNames[1], "\xE9"
                              "b\xEA");
    EXPECT_EQ(o.modeNames[2], "");
    EXPECT_FALSE(o.filter.Alarm || o.filter.Bump);
    EXPECT_TRUE(o.filter.Manual && o.filter.Timed && o.filter.Calibration);
}

TEST(OfflineOptionsTest, ExportNeedsExactlyOneFormat) {
    ExportCommandOptions o;
    std::string message;
    ASSERT_TRUE(
        ParseWith(ParseExportCommandOptions,
                  {"d.txt", "4", "--format", "gpx", "--hide=timed", "7", "--instrument", "unit 7"},
                  o, message))
        << message;
    EXPECT_EQ(o.format, ExportFormat::Gpx);
    EXPECT_EQ(o.instrument, "unit 7");
    EXPECT_EQ(o.sessionSlots, (std::vector<int16_t>{4, 7}));
    EXPECT_FALSE(o.filter.Timed);
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"d.txt", "4"}, "export needs --format"},
        {{"d.txt", "4", "--format", "csv,gpx"}, "--format takes one of"},
        {{"d.txt", "4", "--format", "kml"}, "--format takes one of"},
        {{"d.txt", "--format", "csv"}, "export needs at least one slot"},
    };
    for (const auto& c : cases) {
        ExportCommandOptions refused;
        EXPECT_FALSE(ParseWith(ParseExportCommandOptions, c.first, refused, message));
        EXPECT_NE(message.find(c.second), std::string::npos) << message;
    }
}

TEST(OfflineOptionsTest, SurveyWritesTextUnlessAFormatIsGiven) {
    SurveyOptions o;
    std::string message;
    ASSERT_TRUE(ParseWith(ParseSurveyOptions, {"d.txt", "4", "9"}, o, message)) << message;
    EXPECT_EQ(o.format, SurveyFormat::Text);
    EXPECT_EQ(o.sessionSlots, (std::vector<int16_t>{4, 9}));
    ASSERT_TRUE(
        ParseWith(ParseSurveyOptions, {"d.txt", "4", "--format=json", "-o", "s.json"}, o, message))
        << message;
    EXPECT_EQ(o.format, SurveyFormat::Json);
    EXPECT_EQ(o.output, "s.json");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"d.txt", "4", "--format", "gpx"}, "--format takes text, csv or json"},
        {{"d.txt", "--format", "csv"}, "survey needs at least one slot"},
        {{"d.txt", "4", "--hide", "timed"}, "survey: unknown option --hide"},
    };
    for (const auto& c : cases) {
        SurveyOptions refused;
        EXPECT_FALSE(ParseWith(ParseSurveyOptions, c.first, refused, message));
        EXPECT_NE(message.find(c.second), std::string::npos) << message;
    }
}

TEST(OfflineOptionsTest, RefusedArgumentsSayWhy) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"d.txt", "-5"}, "outside 0 to 499"},
        {{"d.txt", "1", "--graph=yes"}, "render: unknown option --graph=yes"},
        {{"d.txt", "1", "-o"}, "-o needs a file name"},
        {{"d.txt", "1", "-o="}, "-o needs a file name"},
        {{"d.txt"}, "render needs at least one slot"},
        {{"d.txt", "1", "--hide", "gps"}, "--hide takes"},
        {{"d.txt", "1", "--mode-names", "a,b,c,d,e"}, "at most four"},
        {{"d.txt", "1", "--mode-names"}, "render: --mode-names needs at most four"},
    };
    for (const auto& c : cases) {
        RenderOptions o;
        std::string message;
        EXPECT_FALSE(ParseWith(ParseRenderOptions, c.first, o, message)) << c.first.back();
        EXPECT_NE(message.find(c.second), std::string::npos) << message;
    }
}

TEST(OfflineOptionsTest, PlotNeedsAPdfOrPngAndTakesASize) {
    PlotOptions o;
    std::string message;
    ASSERT_TRUE(ParseWith(ParsePlotOptions,
                          {"d.txt", "2", "3", "-o", "c.PNG", "--size", "640x480", "--hide=manual"},
                          o, message))
        << message;
    EXPECT_EQ(o.sessionSlots, (std::vector<int16_t>{2, 3}));
    EXPECT_EQ(o.output, "c.PNG");
    EXPECT_EQ(o.width, 640);
    EXPECT_EQ(o.height, 480);
    EXPECT_FALSE(o.filter.Manual);
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"d.txt", "2"}, "plot needs -o"},
        {{"d.txt", "2", "-o", "c.svg"}, "plot writes FILE.pdf or FILE.png"},
        {{"d.txt", "-o", "c.pdf"}, "plot needs at least one slot"},
        {{"d.txt", "2", "-o", "c.pdf", "--size", "640"}, "--size takes"},
        {{"d.txt", "2", "-o", "c.pdf", "--size", "99x480"}, "--size takes"},
        {{"d.txt", "2", "-o", "c.pdf", "--size", "640x100000"}, "--size takes"},
        {{"d.txt", "2", "-o", "c.pdf", "--size", "64Ox480"}, "--size takes"},
    };
    for (const auto& c : cases) {
        PlotOptions refused;
        EXPECT_FALSE(ParseWith(ParsePlotOptions, c.first, refused, message)) << c.first.back();
        EXPECT_NE(message.find(c.second), std::string::npos) << message;
    }
}

TEST(OfflineOptionsTest, RenderTakesAPdf) {
    RenderOptions o;
    std::string message;
    ASSERT_TRUE(ParseWith(ParseRenderOptions, {"d.txt", "1", "--pdf", "r.pdf"}, o, message));
    EXPECT_EQ(o.pdf, "r.pdf");
    EXPECT_TRUE(o.output.empty());
    EXPECT_FALSE(ParseWith(ParseRenderOptions, {"d.txt", "1", "--pdf"}, o, message));
}

// Each subcommand with arguments it accepts, and the options of it that take a value and refuse
// an empty one (--mode-names= clears the names): the first of them refuses the value "bogus".
struct Subcommand {
    std::string name;
    std::function<bool(std::vector<std::string>, std::string&)> parse;
    std::vector<std::string> valid;
    std::vector<std::string> valued;
    bool checksFirst; // whether the first valued option refuses "bogus"
};

template <typename Options, typename Parse>
std::function<bool(std::vector<std::string>, std::string&)> Parser(Parse parse) {
    return [parse](std::vector<std::string> args, std::string& message) {
        Options options;
        return ParseWith(parse, std::move(args), options, message);
    };
}

template <typename Options, typename Parse>
std::function<bool(std::vector<std::string>, std::string&)> ArchiveParser(Parse parse) {
    return [parse](std::vector<std::string> args, std::string& message) {
        Options options;
        return parse(args, options, message);
    };
}

std::vector<Subcommand> Subcommands() {
    return {
        {"sessions", Parser<SessionsOptions>(ParseSessionsOptions), {"d.txt"}, {"--show"}, true},
        {"render",
         Parser<RenderOptions>(ParseRenderOptions),
         {"d.txt", "1"},
         {"--hide", "-o", "--output", "--pdf"},
         true},
        {"export",
         Parser<ExportCommandOptions>(ParseExportCommandOptions),
         {"d.txt", "1", "--format", "csv"},
         {"--format", "--hide", "-o"},
         true},
        {"plot",
         Parser<PlotOptions>(ParsePlotOptions),
         {"d.txt", "1", "-o", "c.png"},
         {"--size", "--hide", "-o"},
         true},
        {"map",
         Parser<MapOptions>(ParseMapOptions),
         {"d.txt", "1", "-o", "m.png"},
         {"--size", "--tiles", "--gas", "--hide", "-o"},
         true},
        {"download",
         Parser<DownloadOptions>(ParseDownloadOptions),
         {},
         {"--plot", "--map", "--port", "--ports", "--dump", "--out", "--sessions", "--slot",
          "--day", "--export", "--archive", "--instrument"},
         true},
        {"archive import",
         ArchiveParser<ArchiveImportOptions>(ParseArchiveImportOptions),
         {"d.txt"},
         {"--archive", "--instrument"},
         false},
        {"archive list",
         ArchiveParser<ArchiveListOptions>(ParseArchiveListOptions),
         {},
         {"--from", "--to", "--format", "--archive", "--job", "--user", "--instrument"},
         true},
        {"archive render",
         ArchiveParser<ArchiveRenderOptions>(ParseArchiveRenderOptions),
         {"3"},
         {"--archive", "-o"},
         false},
        {"archive export",
         ArchiveParser<ArchiveExportOptions>(ParseArchiveExportOptions),
         {"3", "--format", "gpx"},
         {"--format", "--archive", "-o"},
         true},
        {"archive plot",
         ArchiveParser<ArchivePlotOptions>(ParseArchivePlotOptions),
         {"3", "-o", "c.pdf"},
         {"--size", "--hide", "--archive", "-o"},
         true},
        {"archive map",
         ArchiveParser<ArchiveMapOptions>(ParseArchiveMapOptions),
         {"3", "-o", "m.pdf"},
         {"--size", "--tiles", "--gas", "--archive", "-o"},
         true},
        {"archive survey",
         ArchiveParser<ArchiveSurveyOptions>(ParseArchiveSurveyOptions),
         {"--from", "2026-01-02"},
         {"--format", "--to", "--job", "--archive", "-o"},
         true},
        {"archive stats",
         ArchiveParser<ArchiveStatsOptions>(ParseArchiveStatsOptions),
         {},
         {"--archive"},
         false},
    };
}

std::vector<std::string> With(std::vector<std::string> args, std::vector<std::string> more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

TEST(OptionFormsTest, EverySubcommandRefusesTheSameFormsInTheSameWords) {
    for (const Subcommand& c : Subcommands()) {
        std::string message;
        ASSERT_TRUE(c.parse(c.valid, message)) << c.name << ": " << message;
        const std::string prefix = c.name + ": ";
        for (const char* unknown : {"--frobnicate", "-graph", "-x", "--help=no", "-o5"}) {
            EXPECT_FALSE(c.parse(With(c.valid, {unknown}), message)) << c.name << " " << unknown;
            EXPECT_EQ(message, prefix + "unknown option " + unknown);
        }
        for (const std::string& option : c.valued) {
            // The value missing at the end, and given empty.
            for (const std::vector<std::string>& tail :
                 {std::vector<std::string>{option}, std::vector<std::string>{option + "="}}) {
                EXPECT_FALSE(c.parse(With(c.valid, tail), message)) << c.name << " " << tail[0];
                EXPECT_EQ(message.rfind(prefix + option + " needs ", 0), 0u) << message;
                EXPECT_EQ(message.find('\n'), std::string::npos) << message;
            }
        }
        if (c.checksFirst) {
            const std::string option = c.valued.front();
            for (const std::vector<std::string>& tail :
                 {std::vector<std::string>{option, "bogus"},
                  std::vector<std::string>{option + "=bogus"}}) {
                EXPECT_FALSE(c.parse(With(c.valid, tail), message)) << c.name << " " << option;
                EXPECT_EQ(message.rfind(prefix + option + " takes ", 0), 0u) << message;
                const std::string ending = ", not \"bogus\"";
                ASSERT_GE(message.size(), ending.size()) << message;
                EXPECT_EQ(message.substr(message.size() - ending.size()), ending) << message;
            }
        }
        // "--" ends the options in every subcommand: what follows is a dump, slot or id.
        message.clear();
        c.parse(With(c.valid, {"--", "--frobnicate"}), message);
        EXPECT_EQ(message.find("unknown option"), std::string::npos) << message;
    }
}

TEST(OptionFormsTest, ArchiveSubcommandsReadTheirOptions) {
    ArchiveListOptions list;
    std::string message;
    ASSERT_TRUE(ParseArchiveListOptions({"--from=2026-01-02", "--cal", "--format", "json", "--job",
                                         "J-1", "--archive", "a.sqlite", "--instrument", "van"},
                                        list, message))
        << message;
    EXPECT_EQ(list.from, "2026-01-02");
    EXPECT_TRUE(list.to.empty());
    EXPECT_TRUE(list.calibrationOnly);
    EXPECT_FALSE(list.alarmOnly);
    EXPECT_EQ(list.format, "json");
    EXPECT_EQ(list.job, "J-1");
    EXPECT_EQ(list.archiveAt, "a.sqlite");
    EXPECT_EQ(list.instrument, "van");

    ArchivePlotOptions plot;
    ASSERT_TRUE(ParseArchivePlotOptions(
        {"7", "-o", "c.PDF", "12", "--size=640x480", "--hide", "bump"}, plot, message))
        << message;
    EXPECT_EQ(plot.ids, (std::vector<long long>{7, 12}));
    EXPECT_EQ(plot.width, 640);
    EXPECT_FALSE(plot.filter.Bump);
    EXPECT_TRUE(plot.archiveAt.empty());

    // archive map and survey take ids or the search, in archive list's words.
    ArchiveMapOptions map;
    ASSERT_TRUE(ParseArchiveMapOptions(
        {"-o", "m.png", "--user", "ann", "--alarm", "--tiles", "t.mbtiles", "--gas", "CO"}, map,
        message))
        << message;
    EXPECT_TRUE(map.ids.empty());
    EXPECT_EQ(map.user, "ann");
    EXPECT_TRUE(map.alarmOnly);
    EXPECT_EQ(map.tiles, "t.mbtiles");
    EXPECT_EQ(map.gas, "CO");
    ArchiveSurveyOptions survey;
    ASSERT_TRUE(ParseArchiveSurveyOptions({"4", "2", "--format=csv"}, survey, message)) << message;
    EXPECT_EQ(survey.ids, (std::vector<long long>{4, 2}));
    EXPECT_EQ(survey.format, SurveyFormat::Csv);
    for (const std::vector<std::string>& both :
         {std::vector<std::string>{"4", "--from", "2026-01-02"},
          std::vector<std::string>{"--instrument", "van", "4"}}) {
        ArchiveSurveyOptions refused;
        EXPECT_FALSE(ParseArchiveSurveyOptions(both, refused, message));
        EXPECT_EQ(message, "archive survey takes session ids or a search, not both");
    }

    ArchiveImportOptions import;
    ASSERT_TRUE(ParseArchiveImportOptions({"a.txt", "b.txt"}, import, message));
    EXPECT_EQ(import.instrument, ""); // each dump filed by the sessions it holds
    EXPECT_EQ(import.dumps, (std::vector<std::string>{"a.txt", "b.txt"}));

    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{"0"}, "archive render takes session ids, not \"0\""},
        {{"-4"}, "archive render takes session ids, not \"-4\""},
        {{"99999999999999999999"}, "archive render takes session ids"},
        {{"--graph"}, "archive render needs at least one session id"},
    };
    for (const auto& c : refused) {
        ArchiveRenderOptions render;
        EXPECT_FALSE(ParseArchiveRenderOptions(c.first, render, message)) << c.first[0];
        EXPECT_EQ(message.rfind(c.second, 0), 0u) << message;
    }
}

// Each subcommand's --help lists every option its table declares (the archive's --archive among
// the options all its subcommands take).
TEST(OptionHelpTest, EveryDeclaredOptionIsInItsCommandsHelp) {
    const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> commands = {
        {{"sessions"}, DeclaredOptions(SessionsOptionTable())},
        {{"render"}, DeclaredOptions(RenderOptionTable())},
        {{"export"}, DeclaredOptions(ExportOptionTable())},
        {{"plot"}, DeclaredOptions(PlotOptionTable())},
        {{"survey"}, DeclaredOptions(SurveyOptionTable())},
        {{"map"}, DeclaredOptions(MapOptionTable())},
        {{"download"}, DeclaredOptions(DownloadOptionTable())},
        {{"archive", "import"}, DeclaredOptions(ArchiveImportOptionTable())},
        {{"archive", "list"}, DeclaredOptions(ArchiveListOptionTable())},
        {{"archive", "render"}, DeclaredOptions(ArchiveRenderOptionTable())},
        {{"archive", "export"}, DeclaredOptions(ArchiveExportOptionTable())},
        {{"archive", "plot"}, DeclaredOptions(ArchivePlotOptionTable())},
        {{"archive", "map"}, DeclaredOptions(ArchiveMapOptionTable())},
        {{"archive", "survey"}, DeclaredOptions(ArchiveSurveyOptionTable())},
        {{"archive", "stats"}, DeclaredOptions(ArchiveStatsOptionTable())},
        {{"archive", "rename-instrument"}, DeclaredOptions(ArchiveRenameOptionTable())},
        {{"archive", "sync"}, DeclaredOptions(ArchiveSyncOptionTable())},
        {{"archive", "new-identity"}, DeclaredOptions(ArchiveStatsOptionTable())},
        {{"archive", "compliance"}, DeclaredOptions(ArchiveComplianceOptionTable())},
        {{"archive", "events"}, DeclaredOptions(ArchiveEventsOptionTable())},
        {{"archive", "set-interval"}, DeclaredOptions(ArchiveIntervalOptionTable())},
    };
    testsupport::TempDir dir;
    ASSERT_TRUE(dir.Ok());
    for (const auto& command : commands) {
        std::vector<std::string> args = command.first;
        args.push_back("--help");
        const testsupport::RunResult r = testsupport::RunProgram("tavon-datalog", args, dir.Path());
        ASSERT_EQ(r.status, 0) << args[0] << ": " << r.err;
        EXPECT_FALSE(command.second.empty()) << args[0];
        for (const std::string& name : command.second) {
            EXPECT_TRUE(HelpListsOption(r.out, name)) << args[0] << " " << args[1] << ": " << name;
        }
    }
}

} // namespace
