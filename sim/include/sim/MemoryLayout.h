#pragma once

#include <cstddef>

// Where things lie in the instrument's 2 MB log memory, as the simulator builds and serves it.
// Written from the instrument's side on purpose, apart from the program's own description of the
// same memory, so that each checks the other.
namespace sim {

constexpr size_t kMemorySize = 2097152;
constexpr size_t kSectorSize = 4096;
// The index: ten sectors of 50 entries of 20 bytes (the session's name, then a NUL); the bytes
// after the 50th entry of each sector stay erased.
constexpr int kIndexSectors = 10;
constexpr int kEntriesPerIndexSector = 50;
constexpr size_t kIndexEntrySize = 20;
constexpr int kSlotCount = kIndexSectors * kEntriesPerIndexSector;
// A session sector travels to the host in pieces of this size.
constexpr size_t kSessionPiece = 1024;

static_assert(kEntriesPerIndexSector * kIndexEntrySize <= kSectorSize, "entries fit a sector");
static_assert((kSlotCount + kIndexSectors) * kSectorSize <= kMemorySize, "sessions fit");

// Offset of a slot's index entry.
constexpr size_t IndexEntryOffset(int slot) {
    return static_cast<size_t>(slot / kEntriesPerIndexSector) * kSectorSize +
           static_cast<size_t>(slot % kEntriesPerIndexSector) * kIndexEntrySize;
}

// Offset of a slot's session sector: the sessions follow the index.
constexpr size_t SessionSectorOffset(int slot) {
    return (static_cast<size_t>(slot) + kIndexSectors) * kSectorSize;
}

// The sector number the host asks for to read a slot's session.
constexpr unsigned SessionSector(int slot) {
    return static_cast<unsigned>(slot + kIndexSectors);
}

} // namespace sim
