#include "gui/Watchdog.h"

#include <cstdlib>

Watchdog::Watchdog()
    : Watchdog(std::chrono::milliseconds(100), kDefaultLimit, &Watchdog::EndThisProcess) {}

Watchdog::Watchdog(std::chrono::milliseconds period, int32_t limit, Action action)
    : period_(period), limit_(limit), action_(std::move(action)) {}

Watchdog::~Watchdog() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void Watchdog::Start() {
    if (thread_.joinable()) {
        return;
    }
    thread_ = std::thread([this] { Run(); });
}

void Watchdog::EndThisProcess() {
    // The user-interface thread is stuck, so nothing it owns can be trusted to shut down
    // cleanly: leave at once, without destructors or exit handlers.
    std::_Exit(1);
}

void Watchdog::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        int32_t value = counter_.load(std::memory_order_relaxed);
        // Compare-and-swap, so a reset or a hold written by the tick in between always wins.
        if (value >= 0 && counter_.compare_exchange_strong(value, value + 1)) {
            if (value + 1 == limit_) {
                fired_ = true;
                lock.unlock();
                action_();
                return;
            }
        }
        if (wake_.wait_for(lock, period_, [this] { return stopping_; })) {
            return;
        }
    }
}
