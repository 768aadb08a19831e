#pragma once

// Log streams served by slot, as a session's bytes are read for a report: bytes beyond a stream
// read as erased flash.
#include "report/Report.h"

#include <cstdint>
#include <map>
#include <vector>

namespace testsupport {

class SessionStreams : public SessionByteSource {
public:
    std::map<int16_t, std::vector<uint8_t>> streams;

    void ReadSessionBytes(int16_t slot, uint8_t* out100, int16_t& readIndex) override {
        const std::vector<uint8_t>& stream = streams[slot];
        for (int i = 0; i < 100; ++i) {
            const size_t index = static_cast<uint16_t>(readIndex);
            readIndex = static_cast<int16_t>(readIndex + 1);
            out100[i] = index < stream.size() ? stream[index] : 0xFF;
        }
    }
};

} // namespace testsupport
