#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/SessionArchive.h"
#include "core/LogImage.h"

// What the archive suites share: generated instrument memories and a fresh archive on each
// engine.
namespace archivetest {

enum class Engine { SQLite, PostgreSQL };

// Where the slot's stream begins in the image.
inline uint32_t SessionOffset(int16_t slot) {
    return LogImage::DataSector(slot) * LogImage::kSectorSize;
}

// The simulator's generated memory for `seed`, as an index upload and every session's sector
// would leave it in the image.
std::unique_ptr<LogImage> GeneratedImage(uint64_t seed);

// Puts a newer session into `slot`: index name with `stamp` (its tags kept) and the sector of
// `fromSlot`.
void ReuseSlot(LogImage& image, int16_t slot, uint32_t stamp, int16_t fromSlot);

// Cuts the slot's session short, as if the instrument were still recording it: everything from
// half its stored length on reads as erased.
void CutShort(LogImage& image, int16_t slot);

// The start stamp of the slot's index entry (0xFFFFFFFF: undated).
uint32_t StampOf(LogImage& image, int16_t slot);

// The dated slot with the greatest stamp, and that stamp.
int16_t NewestSlot(LogImage& image, uint32_t& stamp);

// A fresh, empty archive for one test: a SQLite file in `folder`, or a new database on the
// server that TAVON_TEST_POSTGRES names (empty when there is none: the caller skips).
std::string FreshLocation(Engine engine, const std::string& folder);
// Drops a database made by FreshLocation.
void DropLocation(Engine engine, const std::string& location);

// The RTF of rendering these slots of the image in turn, as render and the archive do.
std::string RenderSlots(LogImage& image, const std::vector<int16_t>& chosen);

} // namespace archivetest
