#include "SessionLog.h"

#include "report/Report.h"

#include <cstring>

void SessionLog::Fill(SessionByteSource& source, int16_t slot) {
    // Forty chunks of 100 bytes, with one running index across the escaped stream.
    int16_t readIndex = 0;
    for (int32_t chunk = 0; chunk < kSize / 100; ++chunk) {
        source.ReadSessionBytes(slot, m_bytes + chunk * 100, readIndex);
    }
}

void SessionLog::Assign(const uint8_t* bytes, int32_t count) {
    if (count < 0) {
        count = 0;
    }
    if (count > kSize) {
        count = kSize;
    }
    if (count > 0) {
        std::memcpy(m_bytes, bytes, static_cast<size_t>(count));
    }
    std::memset(m_bytes + count, 0, static_cast<size_t>(kSize - count));
}
