// tavon-datalog watch against simulated instruments on pseudo-terminals and pipes, as processes:
// the watcher runs in the background with its log in a file, the instruments come and go.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "testsupport/Files.h"
#include "testsupport/Processes.h"
#include "testsupport/TempDir.h"
#include "testsupport/TestPace.h"

namespace {

using testsupport::BinDir;
using testsupport::ReadFile;
using testsupport::RunProgram;
using testsupport::RunResult;
using testsupport::StartProgram;
using testsupport::StopProgram;

// Every file under dir, by its path below dir, with its bytes.
void Collect(const std::string& dir, const std::string& below,
             std::map<std::string, std::string>& files) {
    DIR* folder = opendir(dir.c_str());
    if (folder == nullptr) {
        return;
    }
    while (const dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        const std::string path = dir + "/" + name;
        struct stat info;
        if (stat(path.c_str(), &info) != 0) {
            continue;
        }
        if (S_ISDIR(info.st_mode)) {
            Collect(path, below + name + "/", files);
        } else {
            files[below + name] = ReadFile(path);
        }
    }
    closedir(folder);
}

std::map<std::string, std::string> FilesUnder(const std::string& dir) {
    std::map<std::string, std::string> files;
    Collect(dir, "", files);
    return files;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

class WatchEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.Ok());
        work = tmp.Path();
        logPath = work + "/watch.log";
    }
    void TearDown() override {
        for (pid_t sim : sims) {
            StopProgram(sim);
        }
        if (watcher > 0) {
            kill(watcher, SIGKILL);
            waitpid(watcher, nullptr, 0);
        }
    }

    // Starts N instruments on pseudo-terminals; their device names, bare ("pts/3").
    std::vector<std::string> StartInstruments(std::vector<std::string> args, int count = 1) {
        args.push_back("--pty");
        args.push_back(std::to_string(count));
        std::string ready;
        const pid_t sim = StartProgram("tavon-instrument", args, work, ready);
        EXPECT_GT(sim, 0);
        sims.push_back(sim);
        // One ready line is read; the others follow it at once and name the next devices.
        std::vector<std::string> devices;
        const std::string prefix = "ready: pty /dev/";
        EXPECT_EQ(ready.rfind(prefix, 0), 0u) << ready;
        std::string device = ready.substr(prefix.size());
        device = device.substr(0, device.find_first_of(" \t"));
        devices.push_back(device);
        return devices;
    }
    // Starts an instrument on the pipe `name` (in the test's private TMPDIR): unlike a
    // pseudo-terminal's, its name stays when it is started again.
    void StartOnPipe(std::vector<std::string> args, const std::string& name) {
        args.push_back("--pipe");
        args.push_back(name);
        std::string ready;
        const pid_t sim = StartProgram("tavon-instrument", args, work, ready);
        EXPECT_GT(sim, 0);
        sims.push_back(sim);
    }
    void StopInstruments() {
        for (pid_t sim : sims) {
            StopProgram(sim);
        }
        sims.clear();
    }

    std::vector<std::string> Environment() const {
        return {"TAVON_TICK_MS=" + std::to_string(testsupport::kTestTickMs),
                "TAVON_WATCH_POLL_MS=100",
                "HOME=" + work,
                "XDG_DATA_HOME=" + work + "/data",
                "XDG_CONFIG_HOME=" + work + "/config",
                "TZ=UTC"};
    }

    void StartWatcher(std::vector<std::string> args) {
        args.insert(args.begin(),
                    {"watch", "--archive", work + "/archive.sqlite", "--log", logPath, "--fast"});
        const std::string program = BinDir() + "/tavon-datalog";
        std::vector<std::string> words = {program};
        words.insert(words.end(), args.begin(), args.end());
        const std::vector<std::string> environment = Environment();
        watcher = fork();
        if (watcher == 0) {
            if (chdir(work.c_str()) != 0) {
                _exit(126);
            }
            for (const std::string& entry : environment) {
                putenv(const_cast<char*>(entry.c_str()));
            }
            const int out = open((work + "/watch.err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(out, 1);
            dup2(out, 2);
            std::vector<char*> argv;
            for (std::string& word : words) {
                argv.push_back(&word[0]);
            }
            argv.push_back(nullptr);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
        ASSERT_GT(watcher, 0);
    }

    // Waits until the log holds `what` at least `times` times; false after two minutes.
    bool WaitForLog(const std::string& what, size_t times = 1) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (std::chrono::steady_clock::now() < deadline) {
            if (Count(ReadFile(logPath), what) >= times) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ADD_FAILURE() << "the log never had " << times << " x \"" << what << "\":\n"
                      << ReadFile(logPath) << ReadFile(work + "/watch.err");
        return false;
    }

    int StopWatcher(int signal = SIGTERM) {
        kill(watcher, signal);
        int status = 0;
        waitpid(watcher, &status, 0);
        watcher = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // No file anywhere under the work folder is a temporary one.
    void ExpectNoPartialFile() {
        for (const auto& file : FilesUnder(work)) {
            EXPECT_EQ(file.first.find(".part"), std::string::npos) << file.first;
        }
    }

    // The number the log's first "index read: N new sessions, D days" line gives for `which`
    // (0: N, 1: D), from its occurrence `nth`.
    int IndexFigure(int nth, int which) {
        const std::string log = ReadFile(logPath);
        size_t at = 0;
        for (int i = 0; i <= nth; ++i) {
            at = log.find("index read: ", i == 0 ? 0 : at + 1);
            if (at == std::string::npos) {
                return -1;
            }
        }
        at += 12;
        if (which == 1) {
            at = log.find(", ", at) + 2;
        }
        return std::atoi(log.c_str() + at);
    }

    static std::map<std::string, std::string>
    Reports(const std::map<std::string, std::string>& all) {
        std::map<std::string, std::string> reports;
        for (const auto& file : all) {
            if (EndsWith(file.first, ".rtf")) {
                reports.insert(file);
            }
        }
        return reports;
    }

    testsupport::PrivateTmpDir tmp{"tavon-watch-"};
    std::string work;
    std::string logPath;
    std::vector<pid_t> sims;
    pid_t watcher = -1;
};

TEST_F(WatchEndToEnd, InstrumentComesBackWithTwoNewSessions) {
    StartOnPipe({"--seed", "5"}, "back");
    StartWatcher({"--pipe", "back", "--out", "out/{instrument}/{month}/{date}"});
    ASSERT_TRUE(WaitForLog("visit done"));
    const std::map<std::string, std::string> first = FilesUnder(work + "/out");
    const int days = IndexFigure(0, 1);
    EXPECT_GT(days, 2);
    EXPECT_EQ(Reports(first).size(), static_cast<size_t>(days)) << ReadFile(logPath);
    const std::string log = ReadFile(logPath);
    EXPECT_NE(log.find("settings from " + work + "/Settings.ini (not there: none)"),
              std::string::npos)
        << "the first line names the settings file of the folder it runs in";
    const size_t connected = log.find(": connected on pipe back");
    ASSERT_NE(connected, std::string::npos) << log;
    const std::string serial =
        log.substr(log.rfind(' ', connected) + 1, connected - log.rfind(' ', connected) - 1);
    // The summary names the folders as they are; the dump has the instrument's own folder.
    EXPECT_NE(log.find(std::to_string(days) + " reports in " + std::to_string(days) +
                       " folders under out/" + serial + ", the memory dump in out/" + serial +
                       "/FlashData.txt"),
              std::string::npos)
        << log;
    EXPECT_EQ(first.count(serial + "/FlashData.txt"), 1u);

    StopInstruments(); // unplugged
    // "pipe back: link lost" or "pipe back: gone", whichever noticed first.
    ASSERT_TRUE(WaitForLog("pipe back: ", 2));
    StartOnPipe({"--seed", "5", "--new-sessions", "2"}, "back");
    ASSERT_TRUE(WaitForLog("visit done", 2));
    EXPECT_EQ(IndexFigure(1, 0), 2) << "only the two new sessions are uploaded";
    EXPECT_NE(ReadFile(logPath).find("2 sessions uploaded, "), std::string::npos)
        << ReadFile(logPath);

    // Only the new sessions' days are written: a day that grew replaces the watcher's own
    // earlier report of it; no report goes beside them as "-2". The dump of this visit lacks
    // the older sessions, so it goes beside the earlier one, which stays whole.
    const std::map<std::string, std::string> second = FilesUnder(work + "/out");
    const std::string dump = serial + "/FlashData.txt";
    size_t written = 0;
    for (const auto& file : second) {
        EXPECT_TRUE(file.first.find("-2.") == std::string::npos ||
                    file.first == serial + "/FlashData-2.txt")
            << file.first;
        const auto before = first.find(file.first);
        const bool changed = before == first.end() || before->second != file.second;
        written += changed && EndsWith(file.first, ".rtf") ? 1 : 0;
    }
    const int newDays = IndexFigure(1, 1);
    EXPECT_GE(newDays, 1);
    EXPECT_LE(newDays, 2);
    EXPECT_EQ(written, static_cast<size_t>(newDays)) << ReadFile(logPath);
    EXPECT_NE(ReadFile(logPath).find(": replaced out/" + serial + "/"), std::string::npos)
        << ReadFile(logPath);
    EXPECT_TRUE(second.at(dump) == first.at(dump)) << "the older sessions stay in their dump";
    EXPECT_EQ(second.count(serial + "/FlashData-2.txt"), 1u);
    const std::string stays = "(out/" + dump + " stays: it holds sessions the new file does not)";
    EXPECT_NE(ReadFile(logPath).find(stays), std::string::npos) << ReadFile(logPath);
    // The visit's summary names the dump it wrote, not the one that stayed.
    EXPECT_NE(ReadFile(logPath).find("the memory dump in out/" + serial + "/FlashData-2.txt"),
              std::string::npos)
        << ReadFile(logPath);
    EXPECT_EQ(StopWatcher(), 0);
    ExpectNoPartialFile();
    // Each event once: no line of the log says what the line before it said.
    const std::string all = ReadFile(logPath);
    EXPECT_EQ(Count(all, "pipe back: link lost") + Count(all, "pipe back: gone"), 1u) << all;
    std::string previous;
    for (size_t at = 0, end; (end = all.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string said = all.substr(at + 24, end - at - 24); // after the time
        EXPECT_NE(said, previous) << all;
        previous = said;
    }
}

TEST_F(WatchEndToEnd, TwoInstrumentsAtOnce) {
    const std::string first = StartInstruments({"--seed", "7"})[0];
    const std::string second = StartInstruments({"--seed", "8", "--serial", "PAIR-B"})[0];
    StartWatcher({"--ports", first, second, "--out", "out/{instrument}/{date}"});
    ASSERT_TRUE(WaitForLog("visit done", 2));
    const std::string log = ReadFile(logPath);
    EXPECT_NE(log.find("PAIR-B: connected on " + second), std::string::npos) << log;
    EXPECT_NE(log.find("TAV-"), std::string::npos) << log;
    const std::vector<std::string> folders = testsupport::ListFolder(work + "/out");
    ASSERT_EQ(folders.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        const auto reports = Reports(FilesUnder(work + "/out/" + folders[i]));
        EXPECT_GT(reports.size(), 2u) << folders[i];
    }
    EXPECT_EQ(StopWatcher(), 0);
}

// Offline first: each visit keeps its sessions in the local archive and syncs it onward; a team's
// server that does not answer is said once in the log, not at each visit, and once it answers
// (here a file) each visit's sync is logged.
TEST_F(WatchEndToEnd, EachVisitSyncsOnwardAndADownServerIsSaidOnce) {
    const std::string first = StartInstruments({"--seed", "7"})[0];
    const std::string second = StartInstruments({"--seed", "8", "--serial", "PAIR-B"})[0];
    const std::string local = work + "/van.sqlite";
    const auto once = [&](const std::string& sync) {
        return RunProgram("tavon-datalog",
                          {"watch", "--once", "--fast", "--ports", first, second, "--archive",
                           local, "--sync", sync, "--out", "out/{instrument}/{date}"},
                          work, 180, Environment());
    };
    const RunResult down = once("postgresql://tavon@%2Fno-such-folder:5432/team");
    ASSERT_EQ(down.status, 0) << down.out << down.err;
    EXPECT_EQ(Count(down.out, "visit done"), 2u) << down.out;
    EXPECT_EQ(Count(down.out, "does not answer"), 1u) << down.out;
    const RunResult up = once(work + "/team.sqlite");
    ASSERT_EQ(up.status, 0) << up.out << up.err;
    EXPECT_EQ(Count(up.out, "synced into " + work + "/team.sqlite: "), 2u) << up.out;
    for (const std::string& archive : {local, work + "/team.sqlite"}) {
        const RunResult stats =
            RunProgram("tavon-datalog", {"archive", "stats", "--archive", archive}, work);
        EXPECT_NE(stats.out.find("instruments: 2\n"), std::string::npos) << archive << stats.out;
    }
}

TEST_F(WatchEndToEnd, PulledOutMidUploadThenReconnected) {
    StartOnPipe({"--seed", "9"}, "pulled");
    StartWatcher({"--pipe", "pulled", "--out", "out/{date}"});
    ASSERT_TRUE(WaitForLog(": wrote ", 3));
    StopInstruments();
    ASSERT_TRUE(WaitForLog("visit failed"));
    ExpectNoPartialFile();
    const size_t cut = Reports(FilesUnder(work + "/out")).size();
    const int days = IndexFigure(0, 1);
    ASSERT_LT(cut, static_cast<size_t>(days));

    StartOnPipe({"--seed", "9"}, "pulled");
    ASSERT_TRUE(WaitForLog("visit done"));
    const int missing = IndexFigure(1, 0);
    EXPECT_GT(missing, 0);
    EXPECT_LT(missing, IndexFigure(0, 0)) << "what arrived whole before is not uploaded again";
    const auto reports = Reports(FilesUnder(work + "/out"));
    EXPECT_EQ(reports.size(), static_cast<size_t>(days)) << ReadFile(logPath);
    for (const auto& report : reports) {
        EXPECT_EQ(report.first.find("-2.rtf"), std::string::npos)
            << "no day was written twice: " << report.first;
    }
    EXPECT_EQ(StopWatcher(), 0);
    ExpectNoPartialFile();
}

TEST_F(WatchEndToEnd, SigtermDuringAnUploadThenOnce) {
    const std::string device = StartInstruments({"--seed", "11"})[0];
    StartWatcher({"--ports", device, "--out", "out/{date}"});
    ASSERT_TRUE(WaitForLog(": wrote ", 2));
    EXPECT_EQ(StopWatcher(SIGTERM), 0);
    const std::string log = ReadFile(logPath);
    EXPECT_NE(log.find("stopped"), std::string::npos) << log;
    EXPECT_EQ(log.find("visit done"), std::string::npos) << "the upload was under way";
    ExpectNoPartialFile();
    const int days = IndexFigure(0, 1);

    // --once then downloads what is still missing and exits with its status.
    std::vector<std::string> args = {"watch",  "--once",    "--ports",
                                     device,   "--out",     "out/{date}",
                                     "--fast", "--archive", work + "/archive.sqlite"};
    const RunResult once = RunProgram("tavon-datalog", args, work, 180, Environment());
    EXPECT_EQ(once.status, 0) << once.out << once.err;
    EXPECT_NE(once.out.find("visit done"), std::string::npos) << once.out;
    EXPECT_EQ(Reports(FilesUnder(work + "/out")).size(), static_cast<size_t>(days)) << once.out;
    ExpectNoPartialFile();
}

TEST_F(WatchEndToEnd, FilesBesideEachReportUnderTheTemplatesFields) {
    const std::string device = StartInstruments({"--seed", "13"})[0];
    const RunResult once = RunProgram(
        "tavon-datalog",
        {"watch", "--once", "--ports", device, "--fast", "--pdf", "--plot", "png", "--export",
         "csv", "--archive", work + "/archive.sqlite", "--out", "out/{month}/{job}/{user}/{date}"},
        work, 180, Environment());
    ASSERT_EQ(once.status, 0) << once.out << once.err;
    // The simulator's sessions are months old: the register finds its bump tests overdue.
    EXPECT_NE(once.out.find(": warning: Bump test of "), std::string::npos) << once.out;
    const auto files = FilesUnder(work + "/out");
    const auto reports = Reports(files);
    ASSERT_FALSE(reports.empty());
    bool someJob = false, someUser = false;
    for (const auto& report : reports) {
        const std::string stem = report.first.substr(0, report.first.size() - 4);
        for (const char* ending : {".pdf", ".png", ".csv"}) {
            const auto beside = files.find(stem + ending);
            ASSERT_NE(beside, files.end()) << stem << ending;
            EXPECT_FALSE(beside->second.empty()) << stem << ending;
        }
        EXPECT_EQ(files.at(stem + ".pdf").rfind("%PDF", 0), 0u) << stem;
        // month/job/user/date/date.rtf: the month is the date's, job and user from the sessions.
        const std::string date = stem.substr(stem.rfind('/') + 1);
        EXPECT_EQ(report.first.rfind(date.substr(0, 7) + "/", 0), 0u) << report.first;
        const size_t jobAt = report.first.find('/') + 1;
        const std::string job = report.first.substr(jobAt, report.first.find('/', jobAt) - jobAt);
        someJob = someJob || job != "no-job";
        someUser = someUser || report.first.find("/no-user/") == std::string::npos;
    }
    EXPECT_TRUE(someJob) << "the sessions' job numbers name folders";
    EXPECT_TRUE(someUser) << "the sessions' user names name folders";
    // The days with positions end with a map page whose survey record gives the register's
    // status at each session's switch-on, from the archive the watcher keeps.
    size_t withStatus = 0;
    for (const auto& report : reports) {
        const std::string pdf =
            work + "/out/" + report.first.substr(0, report.first.size() - 4) + ".pdf";
        std::string text;
        if (FILE* pipe = popen(("pdftotext '" + pdf + "' -").c_str(), "r")) {
            char buffer[4096];
            for (size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
                text.append(buffer, got);
            }
            pclose(pipe);
        }
        withStatus += text.find("Register:") != std::string::npos ? 1 : 0;
    }
    EXPECT_GT(withStatus, 0u);
}

TEST_F(WatchEndToEnd, NothingNewWritesOnlyTheDaysWhoseFilesWentMissing) {
    const std::string device = StartInstruments({"--seed", "19"})[0];
    const auto once = [&] {
        return RunProgram("tavon-datalog",
                          {"watch", "--once", "--ports", device, "--fast", "--pdf", "--plot", "pdf",
                           "--export", "csv,geojson,gpx", "--archive", work + "/archive.sqlite",
                           "--out", "out/{job}/{date}"},
                          work, 180, Environment());
    };
    const RunResult first = once();
    ASSERT_EQ(first.status, 0) << first.out << first.err;
    const auto before = FilesUnder(work + "/out");
    const auto reports = Reports(before);
    ASSERT_GT(reports.size(), 2u) << first.out;

    // A day's folder emptied away, another's report alone, a third's PDF alone: as if the
    // watcher had been stopped before writing them, or someone had cleared them.
    auto report = reports.begin();
    testsupport::RemoveTree(work + "/out/" + report->first.substr(0, report->first.rfind('/')));
    ++report;
    ASSERT_EQ(std::remove((work + "/out/" + report->first).c_str()), 0);
    ++report;
    const std::string stem = report->first.substr(0, report->first.size() - 4);
    ASSERT_EQ(std::remove((work + "/out/" + stem + ".pdf").c_str()), 0);

    // Written again from the archive, byte for byte; the files that stayed are left alone.
    const RunResult second = once();
    ASSERT_EQ(second.status, 0) << second.out << second.err;
    EXPECT_NE(second.out.find("index read: 0 new sessions, 3 days to write"), std::string::npos)
        << second.out;
    EXPECT_NE(second.out.find("3 days: 0 sessions uploaded, "), std::string::npos) << second.out;
    const auto after = FilesUnder(work + "/out");
    for (const auto& file : after) {
        const std::string folder = file.first.substr(0, file.first.rfind('/') + 1);
        if (after.count(folder + "FlashData.txt") != 0) {
            continue; // the dump is the instrument's newest, and its record says so
        }
        const auto was = before.find(file.first);
        ASSERT_NE(was, before.end()) << file.first << " is new:\n" << second.out;
        EXPECT_TRUE(was->second == file.second) << file.first << " has other bytes";
    }
    for (const auto& file : before) {
        EXPECT_EQ(after.count(file.first), 1u) << file.first << " was not written again";
    }

    // With every file there, a visit with nothing new writes nothing.
    const RunResult third = once();
    ASSERT_EQ(third.status, 0) << third.out << third.err;
    EXPECT_NE(third.out.find("index read: 0 new sessions, 0 days to write"), std::string::npos)
        << third.out;
    EXPECT_TRUE(FilesUnder(work + "/out") == after) << third.out;
    ExpectNoPartialFile();
}

TEST_F(WatchEndToEnd, SecondWatcherSaysWhoHoldsThePort) {
    const std::string device = StartInstruments({"--seed", "15"})[0];
    StartWatcher({"--ports", device, "--out", "out/{date}"});
    ASSERT_TRUE(WaitForLog("connected on " + device));
    const RunResult second = RunProgram(
        "tavon-datalog", {"watch", "--once", "--ports", device, "--out", "second/{date}"}, work, 60,
        Environment());
    EXPECT_EQ(second.status, 3) << second.out << second.err;
    EXPECT_NE(second.out.find("another watcher runs too (tavon-datalog, process " +
                              std::to_string(watcher) + ")"),
              std::string::npos)
        << second.out;
    EXPECT_NE(second.out.find(device + ": cannot connect: held by tavon-datalog, process " +
                              std::to_string(watcher)),
              std::string::npos)
        << second.out;
    // download asks the same claim of the same link, and names its holder as the watcher does.
    const RunResult download =
        RunProgram("tavon-datalog", {"download", "--port", device, "--out", "downloaded"}, work, 60,
                   Environment());
    EXPECT_EQ(download.status, 3) << download.err;
    EXPECT_EQ(download.err, "tavon-datalog: " + device + ": held by tavon-datalog, process " +
                                std::to_string(watcher) + "\n");
    EXPECT_EQ(StopWatcher(), 0);
    // Once the first has gone, the link is free.
    const RunResult after = RunProgram("tavon-datalog",
                                       {"watch", "--once", "--fast", "--ports", device, "--out",
                                        "second/{date}", "--archive", work + "/archive.sqlite"},
                                       work, 180, Environment());
    EXPECT_EQ(after.status, 0) << after.out << after.err;
}

TEST_F(WatchEndToEnd, EveryVisitsAConnectedInstrumentAgain) {
    const std::string device = StartInstruments({"--seed", "17"})[0];
    // A "minute" of a second: the instrument stays connected and is visited again.
    setenv("TAVON_WATCH_MINUTE_MS", "1000", 1);
    StartWatcher({"--ports", device, "--out", "out/{date}", "--every", "1"});
    unsetenv("TAVON_WATCH_MINUTE_MS");
    ASSERT_TRUE(WaitForLog("visit done", 3));
    EXPECT_EQ(IndexFigure(1, 0), 0) << "nothing new the second time";
    EXPECT_EQ(IndexFigure(2, 0), 0);
    EXPECT_EQ(ReadFile(logPath).find("cannot connect"), std::string::npos) << ReadFile(logPath);
    EXPECT_EQ(StopWatcher(), 0);
}

TEST_F(WatchEndToEnd, OnceWithNothingToDownload) {
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* says;
    };
    const Case cases[] = {
        {{"--ports", "pts/9999"}, 3, "no instrument to download"},
        {{"--pipe", "nobody-serves-this"}, 3, "no instrument to download"},
        {{"--every", "0"}, 2, "--every takes"},
        {{"--out", "{serial}"}, 2, "unknown field {serial}"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"watch", "--once"};
        if (c.status == 2) {
            args = {"watch"};
        }
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunResult r = RunProgram("tavon-datalog", args, work, 60, Environment());
        EXPECT_EQ(r.status, c.status) << c.args[0] << r.out << r.err;
        EXPECT_NE((r.out + r.err).find(c.says), std::string::npos) << r.out << r.err;
    }
}

} // namespace
