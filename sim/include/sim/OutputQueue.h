#pragma once

#include <cstddef>
#include <cstdint>

namespace sim {

// Where the instrument puts the bytes it sends.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Returns false when the bytes could not all be taken.
    virtual bool Put(const uint8_t* data, size_t length) = 0;
};

// A fixed ring of bytes waiting for the link; the largest answer (a 4,096-byte sector as bulk
// frames, under 5 KB) fits many times over.
class OutputQueue : public ByteSink {
public:
    static constexpr size_t kCapacity = 65536;

    bool Put(const uint8_t* data, size_t length) override; // all or nothing
    // Copies up to max waiting bytes to out without removing them.
    size_t Peek(uint8_t* out, size_t max) const;
    void Drop(size_t count);
    size_t Size() const { return m_size; }
    void Clear() { m_head = m_size = 0; }

private:
    uint8_t m_ring[kCapacity];
    size_t m_head = 0; // first waiting byte
    size_t m_size = 0;
};

// Paces sending at baud / 10 bytes per second (start bit, eight data bits, stop bit). A rate of 0
// means unpaced. Time is passed in, so the arithmetic is testable without a clock.
class Pacer {
public:
    explicit Pacer(long baud = 0) : m_baud(baud) {}
    bool Paced() const { return m_baud > 0; }
    // Bytes that may go now, `nowNs` nanoseconds after an arbitrary fixed origin. A queue that
    // ran empty starts a new burst, so idle time earns no credit.
    size_t Allowance(int64_t nowNs, size_t waiting);
    void Sent(size_t count) { m_sent += count; }
    void Idle() { m_bursting = false; }

private:
    long m_baud;
    bool m_bursting = false;
    int64_t m_burstStart = 0;
    uint64_t m_sent = 0;
};

} // namespace sim
