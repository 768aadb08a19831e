#pragma once

#include <atomic>

namespace archive {

// Asks a sync to stop between two batches: the batch being written is committed whole, and the
// rest is left for the next sync, which goes on from there. Asked from another thread (a window's
// Cancel) or a signal handler; the sync only reads it.
class SyncStop {
public:
    virtual ~SyncStop() = default;
    virtual bool Asked() const = 0;
};

// A stop that is asked once and read by the sync on another thread.
class SyncStopFlag final : public SyncStop {
public:
    void Ask() { m_asked.store(true); }
    // For the next sync.
    void Clear() { m_asked.store(false); }
    bool Asked() const override { return m_asked.load(); }

private:
    std::atomic<bool> m_asked{false};
};

} // namespace archive
