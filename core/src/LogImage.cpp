#include "core/LogImage.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint8_t kErased = 0xFF;

} // namespace

LogImage::LogImage()
    : m_bytes{}, m_indexPage{}, m_window{}, m_windowBase(0), m_windowValid(0), m_windowRefills(0) {}

uint8_t LogImage::ReadImageByte(uint32_t offset) {
    if (offset >= kImageSize) {
        return kErased;
    }
    if (!m_windowValid || offset < m_windowBase || offset - m_windowBase >= kWindowSize) {
        // The window may reach past the last sector; what lies beyond reads as erased flash.
        const uint32_t available = kImageSize - offset;
        const uint32_t n = available < kWindowSize ? available : kWindowSize;
        std::memcpy(m_window, m_bytes + offset, n);
        std::memset(m_window + n, kErased, kWindowSize - n);
        m_windowBase = offset;
        m_windowValid = 1;
        ++m_windowRefills;
    }
    return m_window[offset - m_windowBase];
}

int LogImage::ReadIndexEntry(int16_t slot, char name[20]) {
    if (slot < 0 || slot >= kSlotCount) {
        name[0] = '\0';
        return 2;
    }
    const uint32_t position = static_cast<uint32_t>(slot) % kEntriesPerSector;
    uint8_t* entry = m_indexPage + position * kEntrySize;
    for (uint32_t i = 0; i < kEntrySize; ++i) {
        entry[i] = ReadImageByte(IndexEntryOffset(slot) + i);
    }
    if (entry[0] == 0xFF) {
        name[0] = '\0';
        return 2;
    }
    std::memcpy(name, entry, 19);
    name[19] = '\0';
    return 0;
}

void LogImage::ReadSessionBytes(int16_t slot, uint8_t* out100, int16_t& readIndex) {
    // A slot outside 0 to 499 has no sector: it reads as erased flash rather than as somebody
    // else's bytes.
    const bool validSlot = slot >= 0 && slot < kSlotCount;
    const int64_t start = (static_cast<int64_t>(slot) + kIndexSectors) * kSectorSize;
    int32_t index = readIndex;
    auto next = [&]() -> uint8_t {
        const int64_t offset = start + index;
        // The index is 16 bits wide; stop it at its limit instead of letting it wrap backwards.
        if (index < INT16_MAX) {
            ++index;
        }
        if (!validSlot || offset < 0 || offset >= static_cast<int64_t>(kImageSize)) {
            return kErased;
        }
        return ReadImageByte(static_cast<uint32_t>(offset));
    };
    for (int i = 0; i < 100; ++i) {
        uint8_t byte = next();
        if (byte == kEscape) {
            byte = next();
        }
        out100[i] = byte;
    }
    readIndex = static_cast<int16_t>(index);
}

uint8_t* LogImage::StoreArea(uint32_t offset, uint32_t wanted, uint32_t& room) {
    m_windowValid = 0;
    if (offset >= kImageSize) {
        room = 0;
        return nullptr;
    }
    const uint32_t available = kImageSize - offset;
    room = wanted < available ? wanted : available;
    return m_bytes + offset;
}

uint32_t LogImage::Store(uint32_t offset, const uint8_t* data, uint32_t length) {
    uint32_t room = 0;
    uint8_t* area = StoreArea(offset, length, room);
    if (area != nullptr && room > 0) {
        std::memcpy(area, data, room);
    }
    return room;
}

void LogImage::ForgetSessions() {
    std::memset(m_bytes + kIndexSectors * kSectorSize, 0, kImageSize - kIndexSectors * kSectorSize);
    m_windowValid = 0;
}

bool LogImage::SessionHeld(int16_t slot) const {
    if (slot < 0 || slot >= kSlotCount) {
        return false;
    }
    const uint8_t* sector = m_bytes + (static_cast<uint32_t>(slot) + kIndexSectors) * kSectorSize;
    return std::any_of(sector, sector + kSectorSize,
                       [](uint8_t b) { return b != 0 && b != kErased; });
}
