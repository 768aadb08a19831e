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

#include "archive/ArchiveHistory.h"
#include "archive/SessionArchive.h"
#include "testsupport/Processes.h"
#include "testsupport/TempDir.h"

namespace {

// Starts the writer with its standard output appended to `log`, lets it run for `delay`, then
// kills it outright.
void RunAndKill(const std::string& location, const std::string& log,
                std::chrono::milliseconds delay) {
    const std::string program = testsupport::BinDir() + "/archive_writer";
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        dup2(out, 1);
        execl(program.c_str(), program.c_str(), location.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    std::this_thread::sleep_for(delay);
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended before it was killed: " << status;
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

} // namespace
