#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/MemoryLayout.h"

namespace sim {

// What one generated session holds, kept beside the memory so tests can check the memory.
struct GeneratedSession {
    int slot = -1;
    std::string name; // the 19 characters of its index entry
    bool dated = true;
    uint32_t stamp = 0;          // stamp of its first record
    std::vector<uint8_t> stream; // the log stream as the decoder reads it (escapes removed)
    size_t storedLength = 0;     // bytes it takes in flash, escapes included
    bool alarm = false, fieldCal = false, cal = false, continuation = false;
    bool unknownRecords = false;
    // Record letters and versions it holds, e.g. "O1 J1 W3 ...", each pair once.
    std::string kinds;
};

struct MemoryOptions {
    uint64_t seed = 1;
    bool withUnknownRecords = false;
    // Sessions added after the last generated one, in the slots after it; everything the same
    // seed gives without them stays byte for byte as it was.
    int newSessions = 0;
};

// The instrument's 2 MB log memory (laid out as MemoryLayout.h says), erased bytes 0xFF.
class LogMemory {
public:
    LogMemory();

    // A deterministic memory of several months of sessions. False, with the reason in error and
    // the memory unchanged, when the new sessions asked for do not fit in the free slots.
    bool Generate(const MemoryOptions& options, std::string* error = nullptr);
    // Reads a FlashData.txt dump (16 "%02X " groups per line); false with a message naming the
    // file and the line when it is not one. The memory is unchanged then.
    bool LoadDump(const std::string& path, std::string& error);
    // Writes the memory as such a dump, lines ending in CR LF.
    bool WriteDump(const std::string& path, std::string& error) const;

    const uint8_t* Bytes() const { return m_bytes.data(); }
    uint8_t* MutableBytes() { return m_bytes.data(); }
    const std::vector<GeneratedSession>& Sessions() const { return m_sessions; }

private:
    std::vector<uint8_t> m_bytes;
    std::vector<GeneratedSession> m_sessions;
};

// Seconds since 2000-01-01 00:00:00 of the instrument's clock for a wall-clock date and time.
uint32_t InstrumentStamp(int year, int month, int day, int hour, int minute, int second);

} // namespace sim
