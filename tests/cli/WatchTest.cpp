// The watcher's decisions, its output template, the never-replace rule and its options, in
// process: a scripted clock and scripted links stand in for the ports and the instruments.
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DeclaredOptions.h"
#include "download/DownloadPlan.h"
#include "download/ExitStatus.h"
#include "testsupport/Files.h"
#include "testsupport/Processes.h"
#include "testsupport/TempDir.h"
#include "watch/KeptFiles.h"
#include "watch/OutputTemplate.h"
#include "watch/WatchOptions.h"
#include "watch/Watcher.h"

namespace {

using testsupport::FileExists;
using testsupport::ListFolder;
using testsupport::MakeTempFolder;
using testsupport::ReadFile;
using testsupport::RemoveTree;
using testsupport::WriteFile;

bool Parse(std::vector<std::string> args, const std::string& settings, WatchOptions& options,
           std::string& message) {
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(&arg[0]);
    }
    return ParseWatchOptions(static_cast<int>(argv.size()), argv.data(), settings, options,
                             message);
}

DownloadLink Port(const std::string& name) {
    return {DownloadLink::Kind::Port, name};
}

// The watcher's actions as a transcript: "visit X", "close X", and the log lines.
struct Script {
    std::vector<std::string> events;
    std::vector<std::string> refuse; // links whose opening fails
    Watcher::Actions Actions() {
        Watcher::Actions actions;
        actions.visit = [this](const DownloadLink& link, std::string& why) {
            for (const std::string& name : refuse) {
                if (name == link.name) {
                    why = "busy";
                    return false;
                }
            }
            events.push_back("visit " + link.name);
            return true;
        };
        actions.close = [this](const DownloadLink& link) {
            events.push_back("close " + link.name);
        };
        actions.log = [this](const std::string& line) {
            // Each visit starts with "LINK: connecting"; the transcripts leave it out.
            if (line.find(": connecting") == std::string::npos) {
                events.push_back("log " + line);
            }
        };
        return actions;
    }
    std::vector<std::string> Take() {
        std::vector<std::string> taken;
        taken.swap(events);
        return taken;
    }
};

TEST(Watcher, VisitsWhatAppearsAgainOnlyAfterItLeaves) {
    Script script;
    Watcher watcher(script.Actions(), false, 0);
    watcher.Poll({Port("ttyUSB0")}, 0); // there at the start: newly connected
    EXPECT_EQ(script.Take(), std::vector<std::string>{"visit ttyUSB0"});
    watcher.Poll({Port("ttyUSB0")}, 2000);
    EXPECT_TRUE(script.Take().empty()) << "a visit under way is left alone";
    watcher.VisitEnded(Port("ttyUSB0"), "TAV-1", kExitOk);
    EXPECT_EQ(script.Take(), std::vector<std::string>{"log TAV-1: visit done"});
    watcher.Poll({Port("ttyUSB0")}, 4000);
    EXPECT_TRUE(script.Take().empty()) << "an idle instrument is not downloaded again";
    watcher.Poll({}, 6000);
    EXPECT_EQ(script.Take(), (std::vector<std::string>{"close ttyUSB0", "log ttyUSB0: gone"}));
    watcher.Poll({Port("ttyUSB0"), Port("ttyUSB1")}, 8000);
    EXPECT_EQ(script.Take(), (std::vector<std::string>{"visit ttyUSB0", "visit ttyUSB1"}));
    EXPECT_TRUE(watcher.Visiting());
    EXPECT_FALSE(watcher.Finished()) << "only --once finishes";
}

TEST(Watcher, LinkLostWhileIdleOrVisitingMeansVisitOnReturn) {
    Script script;
    Watcher watcher(script.Actions(), false, 0);
    watcher.Poll({Port("pts/3")}, 0);
    watcher.VisitEnded(Port("pts/3"), "TAV-1", kExitOk);
    watcher.LinkLost(Port("pts/3"));
    script.Take();
    // The same device name back before a poll saw it away: a new instrument all the same.
    watcher.Poll({Port("pts/3")}, 100);
    EXPECT_EQ(script.Take(), std::vector<std::string>{"visit pts/3"});
    // Pulled out mid-upload: the visit fails, and the next connection goes on.
    watcher.LinkLost(Port("pts/3"));
    watcher.VisitEnded(Port("pts/3"), "TAV-1", kExitNoAnswer);
    EXPECT_EQ(script.Take(),
              (std::vector<std::string>{"log TAV-1: visit failed (exit status 4)", "close pts/3"}));
    watcher.Poll({Port("pts/3")}, 200);
    EXPECT_EQ(script.Take(), std::vector<std::string>{"visit pts/3"});
}

TEST(Watcher, FailedVisitWaitsForTheLinkToGoOrTheInterval) {
    Script script;
    Watcher watcher(script.Actions(), false, 60000);
    watcher.Poll({Port("rfcomm0")}, 0);
    watcher.VisitEnded(Port("rfcomm0"), "rfcomm0", kExitNoAnswer);
    EXPECT_EQ(script.Take(),
              (std::vector<std::string>{
                  "visit rfcomm0", "log rfcomm0: visit failed (exit status 4)", "close rfcomm0"}));
    watcher.Poll({Port("rfcomm0")}, 2000);
    EXPECT_TRUE(script.Take().empty());
    watcher.Poll({Port("rfcomm0")}, 60000);
    EXPECT_EQ(script.Take(), std::vector<std::string>{"visit rfcomm0"});
    watcher.VisitEnded(Port("rfcomm0"), "TAV-2", kExitOk);
    watcher.Poll({Port("rfcomm0")}, 119999);
    script.Take();
    watcher.Poll({Port("rfcomm0")}, 120000);
    EXPECT_EQ(script.Take(), (std::vector<std::string>{"close rfcomm0", "visit rfcomm0"}))
        << "--every: an idle instrument is visited again";
}

TEST(Watcher, LinkThatCannotBeOpenedIsSaidOnceAndTriedAgain) {
    Script script;
    script.refuse = {"ttyUSB0"};
    Watcher watcher(script.Actions(), false, 0);
    watcher.Poll({Port("ttyUSB0")}, 0);
    watcher.Poll({Port("ttyUSB0")}, 2000);
    EXPECT_EQ(script.Take(), std::vector<std::string>{"log ttyUSB0: cannot connect: busy"});
    script.refuse.clear();
    watcher.Poll({Port("ttyUSB0")}, 4000);
    EXPECT_EQ(script.Take(), std::vector<std::string>{"visit ttyUSB0"});
}

TEST(Watcher, StopStartsNothingNew) {
    Script script;
    Watcher watcher(script.Actions(), false, 0);
    watcher.Stop();
    watcher.Poll({Port("ttyUSB0")}, 0);
    EXPECT_TRUE(script.Take().empty());
    EXPECT_FALSE(watcher.Visiting());
}

TEST(Watcher, ComplianceWarningsFollowAVisitThatWentThrough) {
    Script script;
    Watcher watcher(script.Actions(), false, 0);
    watcher.SetComplianceCheck([](const std::string& instrument) {
        return std::vector<std::string>{"CO calibration overdue (" + instrument + ")"};
    });
    watcher.Poll({Port("a"), Port("b")}, 0);
    script.Take();
    watcher.VisitEnded(Port("a"), "TAV-1", kExitOk);
    watcher.VisitEnded(Port("b"), "TAV-2", kExitCommsError);
    EXPECT_EQ(script.Take(),
              (std::vector<std::string>{"log TAV-1: visit done",
                                        "log TAV-1: warning: CO calibration overdue (TAV-1)",
                                        "log TAV-2: visit failed (exit status 5)", "close b"}));
}

TEST(Watcher, OnceEndsWithTheWorstStatus) {
    struct Case {
        const char* name;
        std::vector<std::string> present;
        std::vector<std::string> refuse;
        std::vector<int> statuses; // of the visits, in the order of `present`
        int worst;
    };
    const Case cases[] = {
        {"nothing there", {}, {}, {}, kExitNoLink},
        {"one that went through", {"a"}, {}, {kExitOk}, kExitOk},
        {"archive short only", {"a", "b"}, {}, {kExitOk, kExitArchive}, kExitArchive},
        {"one silent", {"a", "b"}, {}, {kExitNoAnswer, kExitOk}, kExitNoAnswer},
        {"spoiled beats silent", {"a", "b"}, {}, {kExitNoAnswer, kExitCommsError}, kExitCommsError},
        {"one not opened", {"a", "b"}, {"b"}, {kExitOk}, kExitNoLink},
    };
    for (const Case& c : cases) {
        Script script;
        script.refuse = c.refuse;
        Watcher watcher(script.Actions(), true, 0);
        std::vector<DownloadLink> links;
        for (const std::string& name : c.present) {
            links.push_back(Port(name));
        }
        watcher.Poll(links, 0);
        size_t next = 0;
        for (const DownloadLink& link : links) {
            if (next < c.statuses.size() && watcher.Visiting()) {
                watcher.VisitEnded(link, link.name, c.statuses[next++]);
            }
        }
        watcher.Poll({Port("late")}, 2000); // --once visits only what was there at the start
        EXPECT_TRUE(watcher.Finished()) << c.name;
        EXPECT_EQ(watcher.WorstStatus(), c.worst) << c.name;
        for (const std::string& event : script.events) {
            EXPECT_NE(event, "visit late") << c.name;
        }
    }
}

TEST(OutputTemplate, FieldsAreReplacedAndKeptToOneFolderName) {
    const TemplateFields fields{"TAV-41204278826", "2026-12-07", "NW/22817", ""};
    struct Case {
        const char* text;
        const char* expanded;
    };
    const Case cases[] = {
        {"Tavon/{instrument}/{date}", "Tavon/TAV-41204278826/2026-12-07"},
        {"/srv/{month}/{job}-{user}", "/srv/2026-12/NW_22817-no-user"},
        {"{date}{date}", "2026-12-072026-12-07"},
        {"plain", "plain"},
    };
    for (const Case& c : cases) {
        std::string message;
        ASSERT_TRUE(CheckOutputTemplate(c.text, message)) << c.text << ": " << message;
        EXPECT_EQ(ExpandOutputTemplate(c.text, fields), c.expanded) << c.text;
    }
    EXPECT_EQ(ExpandOutputTemplate("{instrument}/{job}", TemplateFields{"..", "", "", ""}),
              "_../no-job")
        << "a value never climbs out of the folder";
    for (const char* bad : {"", "{serial}/x", "{date", "date}", "{}"}) {
        std::string message;
        EXPECT_FALSE(CheckOutputTemplate(bad, message)) << bad;
        EXPECT_FALSE(message.empty()) << bad;
    }
}

class KeptFilesTest : public ::testing::Test {
protected:
    void SetUp() override { root = MakeTempFolder("kept"); }
    void TearDown() override { RemoveTree(root); }
    std::string root;
    std::vector<std::string> lines;
};

// A day written once, then again with other bytes: replaced only where the watcher wrote the
// file, nobody changed it since and the new one holds its sessions; otherwise "-2" beside it.
TEST_F(KeptFilesTest, AGrownDayReplacesOnlyTheWatchersOwnUnchangedFile) {
    struct Case {
        const char* name;
        bool byHand;                  // the first file was put there by someone else
        const char* editedTo;         // the first file changed since (null: not)
        std::vector<int16_t> grownTo; // the second file's sessions
        const char* secondInstrument;
        bool replaced;
        const char* says;
    };
    const Case cases[] = {
        {"grown", false, nullptr, {4, 5, 6}, "TAV-1", true, "replaced "},
        {"not ours", true, nullptr, {4, 5, 6}, "TAV-1", false, "the watcher did not write it"},
        {"edited", false, "edited", {4, 5, 6}, "TAV-1", false, "changed since the watcher"},
        {"other sessions", false, nullptr, {6}, "TAV-1", false, "holds sessions the new"},
        {"other instrument", false, nullptr, {4, 5, 6}, "TAV-2", false, "holds sessions the new"},
    };
    for (const Case& c : cases) {
        const std::string folder = root + "/" + c.name + "/2026-11-19";
        std::string instrument = "TAV-1";
        lines.clear();
        KeptFiles files(
            root + "/" + c.name + "/{date}",
            [&instrument](const ReportJob&) {
                return TemplateFields{instrument, "", "", ""};
            },
            [this](const std::string& line) { lines.push_back(line); });
        ReportJob job;
        job.fileName = "2026-11-19.rtf";
        job.sessionSlots = {4, 5};
        ASSERT_EQ(files.FolderFor(job), folder) << c.name;
        const std::string path = folder + "/2026-11-19.rtf";
        ASSERT_TRUE(c.byHand ? WriteFile(path, "old") : files.Write(path, "old")) << c.name;
        if (c.editedTo != nullptr) {
            ASSERT_TRUE(WriteFile(path, c.editedTo));
        }
        const std::string before = ReadFile(path);
        instrument = c.secondInstrument;
        job.sessionSlots = c.grownTo;
        ASSERT_EQ(files.FolderFor(job), folder) << c.name;
        ASSERT_TRUE(files.Write(path, "grown")) << c.name;
        EXPECT_EQ(ReadFile(path), c.replaced ? "grown" : before) << c.name;
        EXPECT_EQ(FileExists(folder + "/2026-11-19-2.rtf"), !c.replaced) << c.name;
        if (!c.replaced) {
            EXPECT_EQ(ReadFile(folder + "/2026-11-19-2.rtf"), "grown") << c.name;
        }
        ASSERT_FALSE(lines.empty()) << c.name;
        EXPECT_NE(lines.back().find(c.says), std::string::npos) << c.name << ": " << lines.back();
        for (const std::string& name : ListFolder(folder)) {
            EXPECT_EQ(name.find(".part"), std::string::npos) << c.name << ": " << name;
        }
        // The same bytes again change nothing, wherever they went.
        ASSERT_TRUE(files.Write(path, "grown"));
        EXPECT_NE(lines.back().find("unchanged "), std::string::npos) << c.name;
    }
}

// Whatever the template's fields, each instrument's dump has a folder of its own that no day
// changes; the summary names the reports' folders as they are.
TEST_F(KeptFilesTest, DumpFolderIsTheInstrumentsOwnAndTheSummaryNamesTheFolders) {
    struct Case {
        const char* below; // the template below root
        const char* dump;  // TAV-1's dump folder below root
    };
    const Case cases[] = {
        {"/{instrument}/{month}/{date}", "/TAV-1"},
        {"/{month}/{instrument}/{date}", "/TAV-1"},
        {"/{date}", "/TAV-1"},
        {"/{job}-{user}/{date}", "/TAV-1"},
        {"/plain", "/plain/TAV-1"},
    };
    for (const Case& c : cases) {
        std::string instrument = "TAV-1";
        KeptFiles files(
            root + c.below,
            [&instrument](const ReportJob&) {
                return TemplateFields{instrument, "", "", ""};
            },
            nullptr);
        ReportJob day;
        day.fileName = "2026-11-19.rtf";
        ASSERT_FALSE(files.FolderFor(day).empty()) << c.below;
        EXPECT_EQ(files.DumpFolder({}), root + c.dump) << c.below;
        instrument = "TAV-2";
        EXPECT_NE(files.DumpFolder({}), root + c.dump) << c.below << ": another instrument's";
    }
    KeptFiles files(
        root + "/out/{instrument}/{month}/{date}",
        [](const ReportJob&) {
            return TemplateFields{"TAV-1", "", "", ""};
        },
        nullptr);
    ReportJob day;
    day.fileName = "2026-11-19.rtf";
    files.FolderFor(day);
    EXPECT_EQ(files.ReportFolders(), root + "/out/TAV-1/2026-11/2026-11-19");
    day.fileName = "2026-10-02.rtf";
    files.FolderFor(day);
    EXPECT_EQ(files.ReportFolders(), "2 folders under " + root + "/out/TAV-1");
    // The instrument's newer dump replaces the one the watcher wrote before.
    const std::string dump = files.DumpFolder({}) + "/FlashData.txt";
    ASSERT_TRUE(files.Write(dump, "older"));
    ASSERT_TRUE(files.Write(dump, "newer"));
    EXPECT_EQ(ReadFile(dump), "newer");
    EXPECT_FALSE(FileExists(root + "/out/TAV-1/FlashData-2.txt"));
}

// A visit that uploaded only the new sessions must not take the place of a dump holding the
// older ones: they would be gone from the only file that held them.
TEST_F(KeptFilesTest, ADumpReplacesTheWatchersOwnOnlyWhenItHoldsEverySessionThatOneHeld) {
    KeptFiles files(
        root + "/out/{month}/{date}",
        [](const ReportJob&) {
            return TemplateFields{"TAV-1", "", "", ""};
        },
        [this](const std::string& line) { lines.push_back(line); });
    const std::string dump = root + "/out/TAV-1/FlashData.txt";
    ASSERT_EQ(files.DumpFolder({0, 3, 40, 76}) + "/FlashData.txt", dump);
    ASSERT_TRUE(files.Write(dump, "first visit"));
    files.DumpFolder({77, 78, 79, 80});
    ASSERT_TRUE(files.Write(dump, "new sessions only"));
    EXPECT_EQ(ReadFile(dump), "first visit");
    EXPECT_EQ(ReadFile(root + "/out/TAV-1/FlashData-2.txt"), "new sessions only");
    EXPECT_NE(lines.back().find("it holds sessions the new file does not"), std::string::npos)
        << lines.back();
    files.DumpFolder({0, 3, 40, 76, 77, 78, 79, 80});
    ASSERT_TRUE(files.Write(dump, "every session"));
    EXPECT_EQ(ReadFile(dump), "every session");
    EXPECT_EQ(lines.back().rfind("replaced " + dump, 0), 0u) << lines.back();
}

TEST_F(KeptFilesTest, AFolderThatCannotBeMadeIsSaid) {
    ASSERT_TRUE(WriteFile(root + "/file", "x"));
    KeptFiles files(root + "/file/{date}", nullptr,
                    [this](const std::string& line) { lines.push_back(line); });
    ReportJob job;
    job.fileName = "2026-12-07.rtf";
    EXPECT_EQ(files.FolderFor(job), "");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("is not a folder"), std::string::npos) << lines[0];
}

TEST_F(KeptFilesTest, HoldsOnlyWhenEveryFileIsThereAndMakesNoFolder) {
    KeptFiles files(
        root + "/{instrument}/{date}",
        [](const ReportJob&) {
            return TemplateFields{"TAV-1", "", "", ""};
        },
        [this](const std::string& line) { lines.push_back(line); });
    EXPECT_FALSE(files.ReadsSessions());
    EXPECT_TRUE(KeptFiles("out/{job}/{date}", nullptr, nullptr).ReadsSessions());
    EXPECT_TRUE(KeptFiles("out/{user}", nullptr, nullptr).ReadsSessions());
    ReportJob job;
    job.fileName = "2026-12-07.rtf";
    const std::vector<std::string> names = {"2026-12-07.rtf", "2026-12-07.pdf"};
    EXPECT_FALSE(files.Holds(job, names));
    EXPECT_FALSE(FileExists(root + "/TAV-1")) << "asking makes no folder";
    const std::string folder = files.FolderFor(job);
    ASSERT_TRUE(WriteFile(folder + "/2026-12-07.rtf", "r"));
    ASSERT_TRUE(WriteFile(folder + "/2026-12-07-2.pdf", "p"));
    EXPECT_FALSE(files.Holds(job, names)) << "a numbered file does not stand in for its name";
    ASSERT_TRUE(WriteFile(folder + "/2026-12-07.pdf", "p"));
    EXPECT_TRUE(files.Holds(job, names));
    EXPECT_TRUE(lines.empty());
}

TEST(NumberedPath, SuffixGoesBeforeTheEnding) {
    EXPECT_EQ(NumberedPath("a/2026-12-07.rtf", 2), "a/2026-12-07-2.rtf");
    EXPECT_EQ(NumberedPath("a.b/FlashData", 3), "a.b/FlashData-3");
    EXPECT_EQ(NumberedPath("a/.hidden", 2), "a/.hidden-2");
}

TEST(WatchOptions, SettingsUnderTheCommandLine) {
    const std::string settings =
        "Fast Upload=TRUE\r\n[Watch]\r\nOut=/srv/{date}\r\nExport=csv\r\n"
        "PDF=TRUE\r\nPorts=ttyUSB0 /dev/rfcomm0\r\nEvery=30\r\nArchive=x.sqlite\r\n"
        "[Other]\r\n"
        "Log=ignored.log\r\n";
    struct Case {
        std::vector<std::string> args;
        std::string out;
        std::vector<std::string> ports;
        std::vector<std::string> pipes;
        bool allPorts;
        int every;
    };
    const Case cases[] = {
        {{}, "/srv/{date}", {"ttyUSB0", "rfcomm0"}, {}, false, 30},
        {{"--out", "x/{instrument}", "--every", "5"},
         "x/{instrument}",
         {"ttyUSB0", "rfcomm0"},
         {},
         false,
         5},
        {{"--pipe"}, "/srv/{date}", {}, {"RAK Pipe"}, false, 30},
        {{"--ports", "all", "--pipe", "p2"}, "/srv/{date}", {}, {"p2"}, true, 30},
    };
    for (const Case& c : cases) {
        WatchOptions options;
        std::string message;
        ASSERT_TRUE(Parse(c.args, settings, options, message)) << message;
        EXPECT_EQ(options.outTemplate, c.out);
        EXPECT_EQ(options.ports, c.ports);
        EXPECT_EQ(options.pipes, c.pipes);
        EXPECT_EQ(options.allPorts, c.allPorts);
        EXPECT_EQ(options.everyMinutes, c.every);
        EXPECT_TRUE(options.pdf);
        EXPECT_EQ(options.download.exportFormats.size(), 1u);
        EXPECT_TRUE(options.logPath.empty()) << "another section's keys are not the watcher's";
        EXPECT_TRUE(options.download.archiveAt.empty()) << "the archive is the program's setting";
        EXPECT_TRUE(options.download.newOnly);
    }
    WatchOptions defaults;
    std::string message;
    ASSERT_TRUE(Parse({}, "", defaults, message));
    EXPECT_TRUE(defaults.allPorts);
    EXPECT_EQ(defaults.pipes, std::vector<std::string>{"RAK Pipe"});
}

// The links are spelled as download spells them, with the same meaning: --port names one port,
// --ports all or several; named on the command line, they replace the settings' links.
TEST(WatchOptions, LinksSpelledAsDownloadSpellsThem) {
    const std::string settings = "[Watch]\nPorts=ttyUSB0\nPipe=TRUE\n";
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> ports;
        std::vector<std::string> pipes;
        bool allPorts;
    };
    const Case cases[] = {
        {{}, {"ttyUSB0"}, {"RAK Pipe"}, false},
        {{"--port", "ttyUSB1"}, {"ttyUSB1"}, {}, false},
        {{"--port=/dev/pts/3", "--port", "pts/4"}, {"pts/3", "pts/4"}, {}, false},
        {{"--ports", "pts/3", "pts/4", "--port", "/dev/pts/3"}, {"pts/3", "pts/4"}, {}, false},
        {{"--port", "COM3", "--ports", "all", "--pipe", "p"}, {"COM3"}, {"p"}, true},
        {{"--ports=all"}, {}, {}, true},
        {{"--pipe", "--pipe", "b", "--pipe=RAK Pipe"}, {}, {"RAK Pipe", "b"}, false},
    };
    for (const Case& c : cases) {
        WatchOptions options;
        std::string message;
        ASSERT_TRUE(Parse(c.args, settings, options, message)) << message;
        EXPECT_EQ(options.ports, c.ports) << c.args.size();
        EXPECT_EQ(options.pipes, c.pipes) << c.args.size();
        EXPECT_EQ(options.allPorts, c.allPorts) << c.args.size();
        EXPECT_TRUE(options.download.links.empty()) << "the watcher's links are its own";
    }
}

TEST(WatchOptions, BadValuesAreRefusedWithAMessage) {
    const std::vector<std::vector<std::string>> bad = {
        {"--port"},
        {"--port", "/dev/"},
        {"--ports"},
        {"--ports", "ttyUSB0", "/dev/"},
        {"--every", "0"},
        {"--every", "ten"},
        {"--out", "{serial}"},
        {"--plot", "svg"},
        {"--once", "--every", "5"},
        {"--export", "xls"},
        {"stray"},
        {"--unknown"},
    };
    for (const auto& args : bad) {
        WatchOptions options;
        std::string message;
        EXPECT_FALSE(Parse(args, "", options, message)) << args[0];
        EXPECT_EQ(message.rfind("watch", 0), 0u) << message;
    }
    WatchOptions options;
    std::string message;
    EXPECT_FALSE(Parse({}, "[Watch]\nEvery=often\n", options, message));
    EXPECT_NE(message.find("Settings.ini"), std::string::npos) << message;
}

TEST(WatchOptions, EveryDeclaredOptionIsInTheHelp) {
    const std::string folder = MakeTempFolder("tavon-watch-help-");
    const testsupport::RunResult r =
        testsupport::RunProgram("tavon-datalog", {"watch", "--help"}, folder);
    RemoveTree(folder);
    ASSERT_EQ(r.status, 0) << r.err;
    for (const std::string& name : DeclaredOptions(WatchOptionTable())) {
        EXPECT_TRUE(HelpListsOption(r.out, name)) << name;
    }
    // Download's spellings of the links, each described once.
    for (const char* line :
         {"\n  --port DEVICE ", "\n  --ports all|DEVICE... ", "\n  --pipe [NAME] "}) {
        EXPECT_NE(r.out.find(line), std::string::npos) << line;
    }
}

// tavon-watch's help sends the reader to the console watcher's for its options: that command
// must be one that answers with them.
TEST(WatchOptions, TheTrayWatchersHelpNamesAHelpThatIsThere) {
    const std::string folder = MakeTempFolder("tavon-watch-help-");
    const testsupport::RunResult tray = testsupport::RunProgram("tavon-watch", {"--help"}, folder,
                                                                60, {"QT_QPA_PLATFORM=offscreen"});
    ASSERT_EQ(tray.status, 0) << tray.err;
    const size_t open = tray.out.find("(tavon-datalog ");
    ASSERT_NE(open, std::string::npos) << tray.out;
    const size_t close = tray.out.find(')', open);
    ASSERT_NE(close, std::string::npos) << tray.out;
    std::vector<std::string> words;
    std::istringstream named(tray.out.substr(open + 1, close - open - 1));
    for (std::string word; named >> word;) {
        words.push_back(word);
    }
    const testsupport::RunResult pointed = testsupport::RunProgram(
        words.front(), std::vector<std::string>(words.begin() + 1, words.end()), folder);
    RemoveTree(folder);
    EXPECT_EQ(pointed.status, 0) << pointed.err;
    EXPECT_EQ(pointed.out.rfind("Usage: tavon-datalog watch ", 0), 0u) << pointed.out;
}

} // namespace
