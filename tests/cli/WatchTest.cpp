// The watcher's decisions, its output template, the never-replace rule and its options, in
// process: a scripted clock and scripted links stand in for the ports and the instruments.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DownloadPlan.h"
#include "ExitStatus.h"
#include "testsupport/Files.h"
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

TEST_F(KeptFilesTest, NeverReplacesOtherBytesAndLeavesTheSameBytesAlone) {
    KeptFiles files(
        root + "/{instrument}/{month}/{date}",
        [](const ReportJob&) {
            return TemplateFields{"TAV-1", "", "", ""};
        },
        [this](const std::string& line) { lines.push_back(line); });
    ReportJob job;
    job.fileName = "2026-12-07.rtf";
    const std::string folder = files.FolderFor(job);
    ASSERT_EQ(folder, root + "/TAV-1/2026-12/2026-12-07");
    const std::string path = folder + "/2026-12-07.rtf";

    struct Step {
        const char* bytes;
        const char* file; // where the bytes are afterwards
        bool written;
    };
    const Step steps[] = {
        {"first", "2026-12-07.rtf", true},
        {"first", "2026-12-07.rtf", false},   // the same bytes: nothing written
        {"second", "2026-12-07-2.rtf", true}, // other bytes: a new name, the old file stays
        {"second", "2026-12-07-2.rtf", false},
        {"third", "2026-12-07-3.rtf", true},
    };
    int written = 0;
    for (const Step& step : steps) {
        ASSERT_TRUE(files.Write(path, step.bytes)) << step.bytes;
        EXPECT_EQ(ReadFile(folder + "/" + step.file), step.bytes);
        written += step.written ? 1 : 0;
        EXPECT_EQ(files.Written(), written);
    }
    EXPECT_EQ(ReadFile(path), "first");
    EXPECT_EQ(ListFolder(folder),
              (std::vector<std::string>{"2026-12-07-2.rtf", "2026-12-07-3.rtf", "2026-12-07.rtf"}))
        << "no temporary file is left";
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[2],
              "wrote " + folder + "/2026-12-07-2.rtf (" + path + " holds other bytes and stays)");
    EXPECT_EQ(lines[1], "unchanged " + path + " (it holds these bytes already)");
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

TEST(WatchOptions, BadValuesAreRefusedWithAMessage) {
    const std::vector<std::vector<std::string>> bad = {
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

} // namespace
