// A writer killed at any moment leaves a sound SQLite archive holding everything it committed.
#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <set>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "ArchiveFixture.h"
#include "archive/ArchiveHistory.h"
#include "archive/SessionArchive.h"
#include "testsupport/Processes.h"
#include "testsupport/TempDir.h"

namespace {

// Starts `program` with `args` and its standard output appended to `log`, lets it run for
// `delay`, then kills it outright. Returns whether it was still running then.
bool RunAndKill(const std::string& program, const std::vector<std::string>& args,
                const std::string& log, std::chrono::milliseconds delay) {
    const std::string path = testsupport::BinDir() + "/" + program;
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        dup2(out, 1);
        dup2(out, 2);
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    std::this_thread::sleep_for(delay);
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFSIGNALED(status);
}

void RunAndKill(const std::string& location, const std::string& log,
                std::chrono::milliseconds delay) {
    ASSERT_TRUE(RunAndKill("archive_writer", {location}, log, delay))
        << "the writer ended before it was killed";
}

qint64 Sessions(archive::SessionArchive& store) {
    QSqlQuery count(QSqlDatabase::database(store.ConnectionName()));
    EXPECT_TRUE(count.exec("SELECT COUNT(*) FROM sessions") && count.next());
    return count.value(0).toLongLong();
}

TEST(ArchiveKillTest, KilledWritersLeaveASoundArchiveWithEveryCommittedSession) {
    testsupport::TempDir dir("tavon-archive-kill-");
    ASSERT_TRUE(dir.Ok());
    const std::string location = dir.File("archive.sqlite");
    const std::string log = dir.File("committed.txt");
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> delay(150, 900);
    for (int kill = 0; kill < 6; ++kill) {
        RunAndKill(location, log, std::chrono::milliseconds(delay(random)));
    }
    std::set<qint64> committed;
    std::ifstream lines(log);
    std::string word;
    qint64 stamp = 0;
    while (lines >> word >> stamp) {
        committed.insert(stamp);
    }
    ASSERT_FALSE(committed.empty()) << "no writer got as far as its first commit";

    archive::SessionArchive store;
    ASSERT_TRUE(store.Open(QString::fromStdString(location))) << store.Error().toStdString();
    QSqlQuery check(QSqlDatabase::database(store.ConnectionName()));
    ASSERT_TRUE(check.exec("PRAGMA integrity_check") && check.next());
    EXPECT_EQ(check.value(0).toString().toStdString(), "ok");
    std::set<qint64> held;
    for (const archive::ListedSession& s : store.List(archive::ListFilter())) {
        held.insert(s.stamp);
    }
    for (qint64 s : committed) {
        EXPECT_EQ(held.count(s), 1u) << "committed stamp " << s << " is missing";
    }
    // A killed writer's last transaction may be lost, but nothing beyond it.
    EXPECT_LE(held.size(), committed.size() + 6);
    // Each session's history row commits with it: killed at any moment, the archive verifies.
    const archive::VerifySummary verified = archive::VerifyArchive(store);
    EXPECT_TRUE(verified.Clean()) << verified.Line().toStdString() << "\n"
                                  << verified.mismatches.join('\n').toStdString();
    EXPECT_EQ(verified.sessions, static_cast<qint64>(held.size()));
}

// tavon-datalog archive sync killed at random moments: the team's archive verifies after each, and
// the next sync completes it.
TEST(ArchiveKillTest, AKilledSyncLeavesATargetThatVerifiesAndTheNextCompletesIt) {
    testsupport::TempDir dir("tavon-sync-kill-");
    ASSERT_TRUE(dir.Ok());
    const std::string van = dir.File("van.sqlite");
    const std::string team = dir.File("team.sqlite");
    qint64 total = 0;
    {
        archive::SessionArchive store;
        ASSERT_TRUE(store.Open(QString::fromStdString(van))) << store.Error().toStdString();
        for (const uint64_t seed : {1, 2, 3}) {
            const auto image = archivetest::GeneratedImage(seed);
            const qint64 instrument =
                store.Instrument(archive::NamedInstrument(QString("unit %1").arg(seed)), "");
            archive::StoreCounts counts;
            ASSERT_GT(store.ImportDump(instrument, "test", archive::IndexBytes(*image),
                                       archive::CaptureSessions(*image, {}), counts),
                      0);
            total += counts.added;
        }
    }
    const std::vector<std::string> sync = {"archive", "sync", "--from", van, "--to", team};
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> delay(50, 800);
    for (int kill = 0; kill < 4; ++kill) {
        RunAndKill("tavon-datalog", sync, dir.File("sync.log"),
                   std::chrono::milliseconds(delay(random)));
        archive::SessionArchive store;
        ASSERT_TRUE(store.Open(QString::fromStdString(team))) << store.Error().toStdString();
        const archive::VerifySummary verified = archive::VerifyArchive(store);
        EXPECT_TRUE(verified.Clean()) << verified.mismatches.join('\n').toStdString();
        EXPECT_LE(Sessions(store), total);
    }
    testsupport::RunResult r = testsupport::RunProgram("tavon-datalog", sync, dir.Path());
    ASSERT_EQ(r.status, 0) << r.err;
    r = testsupport::RunProgram("tavon-datalog", sync, dir.Path());
    EXPECT_EQ(r.out, "0 instruments, 0 sessions new, " + std::to_string(total) +
                         " already there; nothing new\n");
    archive::SessionArchive store;
    ASSERT_TRUE(store.Open(QString::fromStdString(team)));
    EXPECT_EQ(Sessions(store), total);
    const archive::VerifySummary verified = archive::VerifyArchive(store);
    EXPECT_TRUE(verified.Clean()) << verified.mismatches.join('\n').toStdString();
    EXPECT_EQ(verified.chains, 2);
}

} // namespace
