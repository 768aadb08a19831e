#pragma once

#include <cstdint>
#include <vector>

#include "sim/LogMemory.h"

// Puts generated sessions into a memory image of kMemorySize bytes.
namespace sim {

// Stores the session's stream escaped from the start of its slot's sector (further when the
// escapes make it longer than the sector, never past the memory's end), sets its storedLength,
// and writes its index entry: the 19 characters of its name and a NUL.
void WriteSession(std::vector<uint8_t>& memory, GeneratedSession& session);

// A deleted session keeps its old name behind the 0xFF that empties the slot.
void WriteDeletedEntry(std::vector<uint8_t>& memory, int slot);

} // namespace sim
