#pragma once

#include "report/Report.h"

#include <cstdint>
#include <map>
#include <vector>

namespace charts {

// The log streams of some sessions, copied out of the memory image so that another thread can
// decode them while the image goes on changing under uploads.
class SessionSnapshot : public SessionByteSource {
public:
    static constexpr int kSessionBytes = 4000;

    // Copies the slot's stream as `source` gives it (100 bytes at a time, as the report reads it).
    void Take(SessionByteSource& source, int16_t slot);

    // Serves a taken slot; any other slot reads as erased memory.
    void ReadSessionBytes(int16_t slot, uint8_t* out100, int16_t& readIndex) override;

private:
    std::map<int16_t, std::vector<uint8_t>> streams_;
};

} // namespace charts
