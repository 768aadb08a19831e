#include "sim/SerialNumber.h"

#include <cstdio>

namespace sim {

namespace {

// x -> (kFactor * x + kOffset) mod kRange permutes [0, kRange) because kFactor shares no factor
// with 10.
constexpr uint64_t kRange = 100000000000ull; // 10^11
constexpr uint64_t kSplit = 1000000ull;      // 10^6
constexpr uint64_t kFactor = 600073;
constexpr uint64_t kOffset = 41200078315ull;
static_assert(kFactor % 2 != 0 && kFactor % 5 != 0, "the shuffle must be a permutation");

// kFactor * x mod kRange without overflow: x = high * 10^6 + low.
uint64_t Shuffle(uint64_t x) {
    const uint64_t high = x / kSplit, low = x % kSplit;
    const uint64_t highPart = (kFactor * high) % (kRange / kSplit) * kSplit;
    return (highPart + kFactor * low + kOffset) % kRange;
}

} // namespace

std::string SerialNumberForSeed(uint64_t seed) {
    char text[kSerialNumberLength + 8];
    if (seed < kRange)
        std::snprintf(text, sizeof text, "TAV-%011llu",
                      static_cast<unsigned long long>(Shuffle(seed)));
    else
        std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(seed));
    return text;
}

bool FitsSerialNumber(const std::string& text) {
    if (text.empty() || text.size() > kSerialNumberLength)
        return false;
    for (const char c : text)
        if (c < 0x20 || c > 0x7E)
            return false;
    return true;
}

} // namespace sim
