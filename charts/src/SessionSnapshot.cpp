#include "charts/SessionSnapshot.h"

#include <cstring>

namespace charts {

namespace {
constexpr int kChunk = 100;
constexpr uint8_t kErased = 0xFF;
} // namespace

void SessionSnapshot::Take(SessionByteSource& source, int16_t slot) {
    std::vector<uint8_t>& stream = streams_[slot];
    stream.assign(kSessionBytes, kErased);
    int16_t readIndex = 0;
    for (int at = 0; at < kSessionBytes; at += kChunk) {
        source.ReadSessionBytes(slot, stream.data() + at, readIndex);
    }
}

void SessionSnapshot::ReadSessionBytes(int16_t slot, uint8_t* out100, int16_t& readIndex) {
    std::memset(out100, kErased, kChunk);
    const auto found = streams_.find(slot);
    const int at = readIndex;
    readIndex = static_cast<int16_t>(readIndex + kChunk);
    if (found == streams_.end() || at < 0 || at >= kSessionBytes) {
        return;
    }
    const int count = kSessionBytes - at < kChunk ? kSessionBytes - at : kChunk;
    std::memcpy(out100, found->second.data() + at, static_cast<size_t>(count));
}

} // namespace charts
