#pragma once

#include <functional>
#include <memory>

// Brings Ctrl+C (SIGINT and SIGTERM on POSIX systems, the console's control events on Windows)
// to the event loop as one call of onInterrupt, so that a download ends in order: the dump keeps
// every session that had arrived. The default handling comes back when the object goes.
// One at a time; needs a running QCoreApplication to deliver.
class InterruptRelay {
public:
    explicit InterruptRelay(std::function<void()> onInterrupt);
    ~InterruptRelay();
    InterruptRelay(const InterruptRelay&) = delete;
    InterruptRelay& operator=(const InterruptRelay&) = delete;

private:
    struct Platform;
    std::unique_ptr<Platform> platform_;
};
