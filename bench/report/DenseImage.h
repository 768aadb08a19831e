#pragma once

// A full 500-session memory image whose sessions are dense with records of every type and the
// versions in use: what the report and export benchmarks work on.
#include "report/Report.h"

#include <cstdint>
#include <cstring>
#include <vector>

#ifdef REPORT_BENCH_LOG_IMAGE
#include "core/LogImage.h"
using Image = LogImage;
#else
// The memory image's read rule without its window: a stored 0x55 says "take the next byte".
class Image : public SessionByteSource {
public:
    static constexpr uint32_t kImageSize = 2097152;
    Image() { std::memset(m_bytes, 0xFF, sizeof m_bytes); }
    uint32_t Store(uint32_t offset, const uint8_t* data, uint32_t length) {
        std::memcpy(m_bytes + offset, data, length);
        return length;
    }
    void ReadSessionBytes(int16_t slot, uint8_t* out100, int16_t& readIndex) override {
        const uint32_t base = (static_cast<uint32_t>(slot) + 10) * 4096;
        auto next = [&]() -> uint8_t {
            const uint32_t offset = base + static_cast<uint16_t>(readIndex);
            readIndex = static_cast<int16_t>(readIndex + 1);
            return offset < kImageSize ? m_bytes[offset] : 0xFF;
        };
        for (int i = 0; i < 100; ++i) {
            uint8_t b = next();
            out100[i] = b == 0x55 ? next() : b;
        }
    }

private:
    uint8_t m_bytes[kImageSize];
};
#endif

constexpr int kBenchSlots = 500;
constexpr size_t kBenchSessionBytes = 4000;

// The image (built once) and the average number of record bytes per session (the rest of each
// 4,000-byte session reads as erased flash, which ends the stream).
Image& FullImage(double& recordBytes);
