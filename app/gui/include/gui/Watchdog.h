#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

// Ends the program when its main tick stops. The tick writes 0 into the counter every 100 ms;
// the watchdog thread adds 1 every period while the counter is not negative, and when it
// reaches the limit it runs its action once and stops. -1 holds it (used while a box that stops
// the tick is open). The action ends only this process: a second copy of the program, or any
// other program, is never touched.
class Watchdog {
public:
    using Action = std::function<void()>;

    static constexpr int32_t kHeld = -1;
    static constexpr int32_t kDefaultLimit = 50;

    // Default: 100 ms period, limit 50 (about five seconds), std::_Exit(1).
    Watchdog();
    Watchdog(std::chrono::milliseconds period, int32_t limit, Action action);
    ~Watchdog();

    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    void Start();
    // Called by the main tick.
    void Reset() { counter_.store(0, std::memory_order_relaxed); }
    void Hold() { counter_.store(kHeld, std::memory_order_relaxed); }
    int32_t Counter() const { return counter_.load(std::memory_order_relaxed); }
    bool Fired() const { return fired_.load(); }

    static void EndThisProcess();

private:
    void Run();

    std::chrono::milliseconds period_;
    int32_t limit_;
    Action action_;
    std::atomic<int32_t> counter_{0};
    std::atomic<bool> fired_{false};
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};
