#include "sim/OutputQueue.h"

#include <algorithm>
#include <cstring>

namespace sim {

bool OutputQueue::Put(const uint8_t* data, size_t length) {
    if (length > kCapacity - m_size)
        return false;
    size_t tail = (m_head + m_size) % kCapacity;
    for (size_t done = 0; done < length;) {
        const size_t run = std::min(length - done, kCapacity - tail);
        std::memcpy(m_ring + tail, data + done, run);
        done += run;
        tail = (tail + run) % kCapacity;
    }
    m_size += length;
    return true;
}

size_t OutputQueue::Peek(uint8_t* out, size_t max) const {
    const size_t n = std::min(max, m_size);
    size_t pos = m_head;
    for (size_t done = 0; done < n;) {
        const size_t run = std::min(n - done, kCapacity - pos);
        std::memcpy(out + done, m_ring + pos, run);
        done += run;
        pos = (pos + run) % kCapacity;
    }
    return n;
}

void OutputQueue::Drop(size_t count) {
    const size_t n = std::min(count, m_size);
    m_head = (m_head + n) % kCapacity;
    m_size -= n;
    if (m_size == 0)
        m_head = 0;
}

size_t Pacer::Allowance(int64_t nowNs, size_t waiting) {
    if (m_baud <= 0)
        return waiting;
    if (!m_bursting) {
        m_bursting = true;
        m_burstStart = nowNs;
        m_sent = 0;
    }
    const int64_t elapsed = nowNs - m_burstStart;
    // One byte may go at the start of a burst; then baud/10 bytes per second.
    const uint64_t earned = 1 + static_cast<uint64_t>(elapsed > 0 ? elapsed / 1000 : 0) *
                                    static_cast<uint64_t>(m_baud) / 10 / 1000000ull;
    const uint64_t allowed = earned > m_sent ? earned - m_sent : 0;
    return allowed < waiting ? static_cast<size_t>(allowed) : waiting;
}

} // namespace sim
