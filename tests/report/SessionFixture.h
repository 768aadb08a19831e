#pragma once

#include "recbuild/RecordBuilder.h"
#include "report/Report.h"
#include "testsupport/EnvGuard.h"
#include "testsupport/InstrumentStamp.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

// Stored session streams per slot, read back by the escape rule of the log memory: a stored 0x55
// means "take the next byte as it is". Bytes beyond a stored stream read as erased flash (0xFF).
class StoredSessions : public SessionByteSource {
public:
    void Store(int16_t slot, const std::vector<uint8_t>& stored) { m_slots[slot] = stored; }

    void ReadSessionBytes(int16_t slot, uint8_t* out100, int16_t& readIndex) override {
        const std::vector<uint8_t>& stored = m_slots[slot];
        auto next = [&]() -> uint8_t {
            const int index = static_cast<uint16_t>(readIndex);
            readIndex = static_cast<int16_t>(readIndex + 1);
            return index < static_cast<int>(stored.size()) ? stored[index] : 0xFF;
        };
        for (int i = 0; i < 100; ++i) {
            uint8_t b = next();
            if (b == kFlashEscape) {
                b = next();
            }
            out100[i] = b;
        }
    }

private:
    std::map<int16_t, std::vector<uint8_t>> m_slots;
};

// Every stamp of these tests shows 10:20:30 on Monday 07 Dec 2026.
constexpr uint32_t kStamp = 849954030u;
constexpr const char* kTime = "10:20:30";

// Pins the time zone for every test of the program: the shown times must not depend on it anyway.
class PinnedTimeZone : public ::testing::Environment {
public:
    void SetUp() override { m_zone = std::make_unique<testsupport::ZoneGuard>("UTC"); }
    void TearDown() override { m_zone.reset(); }

private:
    std::unique_ptr<testsupport::ZoneGuard> m_zone;
};

// Renders streams through the public entry point, as the session browser does.
class ReportTest : public ::testing::Test {
protected:
    // The session report of one de-escaped stream, rendered into the current state.
    std::string Render(const std::vector<uint8_t>& stream) {
        sessions.Store(7, EscapeForFlash(stream));
        return RenderSession(state, sessions, 7);
    }
    std::string Render(const RecordBuilder& record) { return Render(record.Bytes()); }

    // Replaces every "%X" marker of an expected text by the time of day of kStamp.
    static std::string T(std::string text) {
        for (size_t pos = text.find("%X"); pos != std::string::npos; pos = text.find("%X")) {
            text.replace(pos, 2, kTime);
        }
        return text;
    }

    ReportState state;
    StoredSessions sessions;
};

// n bytes (n = 0 or n >= 3) of free-text records whose text is empty: they move the next record
// to a chosen position without adding to the report.
inline std::vector<uint8_t> Filler(size_t n) {
    std::vector<uint8_t> bytes;
    while (n > 0) {
        size_t chunk = n > 255 ? 255 : n;
        if (n - chunk > 0 && n - chunk < 3) {
            chunk -= 3;
        }
        RecordBuilder::Raw().Byte('T').Chars("", chunk - 3).AppendTo(bytes);
        n -= chunk;
    }
    return bytes;
}

inline std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}
