#include "MemoryWriter.h"

#include <algorithm>
#include <cstring>

#include "recbuild/RecordBuilder.h"
#include "sim/MemoryLayout.h"

namespace sim {

void WriteSession(std::vector<uint8_t>& memory, GeneratedSession& session) {
    if (memory.size() != kMemorySize || session.slot < 0 || session.slot >= kSlotCount)
        return;
    const std::vector<uint8_t> stored = EscapeForFlash(session.stream);
    session.storedLength = stored.size();
    const size_t base = SessionSectorOffset(session.slot);
    std::memcpy(memory.data() + base, stored.data(), std::min(stored.size(), kMemorySize - base));
    const size_t entry = IndexEntryOffset(session.slot);
    std::fill(memory.begin() + static_cast<long>(entry),
              memory.begin() + static_cast<long>(entry + kIndexEntrySize), 0);
    std::memcpy(memory.data() + entry, session.name.data(),
                std::min(session.name.size(), kIndexEntrySize - 1));
}

void WriteDeletedEntry(std::vector<uint8_t>& memory, int slot) {
    if (memory.size() != kMemorySize || slot < 0 || slot >= kSlotCount)
        return;
    static const char kOldName[] = "6A1F2C00 ---- SUR";
    std::memcpy(memory.data() + IndexEntryOffset(slot) + 1, kOldName, sizeof kOldName - 1);
}

} // namespace sim
