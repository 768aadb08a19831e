#include "gui/Watchdog.h"

#include <QElapsedTimer>
#include <QProcess>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace std::chrono;

namespace {

QString ChildPath() {
    return QString::fromLocal8Bit(qgetenv("TAVON_BIN_DIR")) + "/watchdog_child";
}

} // namespace

TEST(Watchdog, EndsAProcessWhoseTickStopped) {
    QProcess child;
    QElapsedTimer clock;
    clock.start();
    child.start(ChildPath(), {"stop"});
    ASSERT_TRUE(child.waitForStarted(10000)) << ChildPath().toStdString();
    ASSERT_TRUE(child.waitForFinished(20000));
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 1);
    // Ticked for 400 ms, then the watchdog needed about 200 ms; the child's own end is at 1.9 s.
    EXPECT_LT(clock.elapsed(), 1900);
}

TEST(Watchdog, HeldAtMinusOneNeverFires) {
    QProcess child;
    child.start(ChildPath(), {"hold"});
    ASSERT_TRUE(child.waitForStarted(10000));
    ASSERT_TRUE(child.waitForFinished(20000));
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 42);
}

TEST(Watchdog, CountsUpAndRunsTheActionOnceAtTheLimit) {
    std::atomic<int> fired{0};
    {
        Watchdog watchdog(milliseconds(2), 5, [&] { ++fired; });
        watchdog.Start();
        const auto until = steady_clock::now() + seconds(5);
        while (!watchdog.Fired() && steady_clock::now() < until) {
            std::this_thread::sleep_for(milliseconds(1));
        }
        EXPECT_TRUE(watchdog.Fired());
        std::this_thread::sleep_for(milliseconds(30));
        EXPECT_EQ(watchdog.Counter(), 5);
    }
    EXPECT_EQ(fired.load(), 1);
}

TEST(Watchdog, RegularResetsKeepItQuiet) {
    std::atomic<int> fired{0};
    Watchdog watchdog(milliseconds(2), 20, [&] { ++fired; });
    watchdog.Start();
    const auto until = steady_clock::now() + milliseconds(300);
    while (steady_clock::now() < until) {
        watchdog.Reset();
        std::this_thread::sleep_for(milliseconds(5));
    }
    EXPECT_EQ(fired.load(), 0);
    EXPECT_FALSE(watchdog.Fired());
}

TEST(Watchdog, HoldStopsCountingAndResetResumesIt) {
    std::atomic<int> fired{0};
    Watchdog watchdog(milliseconds(2), 10, [&] { ++fired; });
    watchdog.Hold();
    watchdog.Start();
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_EQ(watchdog.Counter(), Watchdog::kHeld);
    EXPECT_EQ(fired.load(), 0);
    watchdog.Reset();
    const auto until = steady_clock::now() + seconds(5);
    while (!watchdog.Fired() && steady_clock::now() < until) {
        std::this_thread::sleep_for(milliseconds(1));
    }
    EXPECT_EQ(fired.load(), 1);
}

TEST(Watchdog, DestroyedBeforeStartOrWhileRunningDoesNotHang) {
    {
        Watchdog idle(milliseconds(1000), 50, [] {});
    }
    Watchdog running(milliseconds(1000), 50, [] {});
    running.Start();
}
