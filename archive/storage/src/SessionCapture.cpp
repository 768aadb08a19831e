#include "archive/SessionCapture.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "core/LogImage.h"
#include "core/SessionTable.h"

namespace archive {
namespace {

constexpr uint32_t kSector = LogImage::kSectorSize;
constexpr uint32_t kNameSize = 19;
constexpr uint32_t kUndated = 0xFFFFFFFFu;

uint32_t SectorOffset(int16_t slot) {
    return (static_cast<uint32_t>(slot) + LogImage::kIndexSectors) * kSector;
}

uint32_t EntryOffset(int16_t slot) {
    return static_cast<uint32_t>(slot) / LogImage::kEntriesPerSector * kSector +
           static_cast<uint32_t>(slot) % LogImage::kEntriesPerSector * LogImage::kEntrySize;
}

uint32_t NameStamp(const SessionEntry& entry) {
    return entry.undated ? kUndated : StampOfName(QByteArray(entry.name, 8));
}

// The newest dated stamp of the index: its session may still be being recorded.
uint32_t NewestStamp(const SessionTable& table) {
    uint32_t newest = 0;
    for (int i = 0; i < SessionTable::kEntryCount; ++i) {
        const SessionEntry& entry = table.Entry(i);
        const uint32_t stamp = entry.used ? NameStamp(entry) : kUndated;
        if (stamp != kUndated && stamp > newest) {
            newest = stamp;
        }
    }
    return newest;
}

// How many stored bytes the decoder reads for the slot's 4,000 bytes of stream.
uint32_t StoredLength(LogImage& image, int16_t slot) {
    uint8_t scratch[100];
    int16_t readIndex = 0;
    for (int call = 0; call < 40; ++call) {
        image.ReadSessionBytes(slot, scratch, readIndex);
    }
    return static_cast<uint16_t>(readIndex);
}

CapturedSession Capture(LogImage& image, const SessionEntry& entry, uint32_t newest) {
    CapturedSession session;
    session.slot = entry.slot;
    session.name = QByteArray(entry.name, kNameSize);
    session.stamp = NameStamp(entry);
    session.dated = session.stamp != kUndated;
    session.alarm = entry.alarm != 0;
    session.calibration = entry.calibration != 0;
    const uint32_t start = SectorOffset(entry.slot);
    const uint8_t* bytes = image.Bytes();
    session.sector = QByteArray(reinterpret_cast<const char*>(bytes + start), kSector);
    const uint32_t stored = StoredLength(image, entry.slot);
    if (stored > kSector) {
        uint32_t end = start + stored;
        end = end < LogImage::kImageSize ? end : LogImage::kImageSize;
        if (end > start + kSector) {
            session.overrun = QByteArray(reinterpret_cast<const char*>(bytes + start + kSector),
                                         static_cast<int>(end - start - kSector));
        }
    }
    session.summary = SummariseSession(image, entry.slot, session.stamp, session.dated);
    session.complete = session.dated && (session.stamp != newest || session.summary.closed);
    return session;
}

std::unique_ptr<SessionTable> TableOf(LogImage& image) {
    std::unique_ptr<SessionTable> table(new SessionTable);
    table->Build(image);
    return table;
}

} // namespace

uint32_t StampOfName(const QByteArray& name) {
    char digits[9] = {};
    std::memcpy(digits, name.constData(), name.size() < 8 ? static_cast<size_t>(name.size()) : 8);
    char* end = nullptr;
    const unsigned long value = std::strtoul(digits, &end, 16);
    return end == digits + 8 ? static_cast<uint32_t>(value) : kUndated;
}

std::vector<IndexedSession> IndexedSessions(LogImage& image) {
    const std::unique_ptr<SessionTable> table = TableOf(image);
    std::vector<IndexedSession> sessions;
    for (int16_t slot = 0; slot < LogImage::kSlotCount; ++slot) {
        const SessionEntry* entry = table->FindSlot(slot);
        if (entry != nullptr) {
            const uint32_t stamp = NameStamp(*entry);
            sessions.push_back({slot, stamp, stamp != kUndated});
        }
    }
    return sessions;
}

QByteArray IndexBytes(const LogImage& image) {
    return QByteArray(reinterpret_cast<const char*>(image.Bytes()),
                      static_cast<int>(LogImage::kIndexSectors * kSector));
}

std::vector<CapturedSession> CaptureSessions(LogImage& image, const std::vector<int16_t>& chosen) {
    const std::unique_ptr<SessionTable> table = TableOf(image);
    const uint32_t newest = NewestStamp(*table);
    std::vector<CapturedSession> sessions;
    for (int16_t slot = 0; slot < LogImage::kSlotCount; ++slot) {
        const SessionEntry* entry = table->FindSlot(slot);
        bool wanted = chosen.empty();
        for (int16_t s : chosen) {
            wanted = wanted || s == slot;
        }
        if (entry != nullptr && wanted) {
            sessions.push_back(Capture(image, *entry, newest));
        }
    }
    return sessions;
}

void RestoreSession(LogImage& image, int16_t slot, const QByteArray& name, const QByteArray& sector,
                    const QByteArray& overrun) {
    if (slot < 0 || slot >= LogImage::kSlotCount) {
        return;
    }
    uint8_t entry[LogImage::kEntrySize] = {};
    std::memcpy(entry, name.constData(),
                static_cast<size_t>(name.size()) < kNameSize ? static_cast<size_t>(name.size())
                                                             : kNameSize);
    image.Store(EntryOffset(slot), entry, LogImage::kEntrySize);
    const uint32_t start = SectorOffset(slot);
    image.Store(start, reinterpret_cast<const uint8_t*>(sector.constData()),
                static_cast<uint32_t>(sector.size()) < kSector
                    ? static_cast<uint32_t>(sector.size())
                    : kSector);
    image.Store(start + kSector, reinterpret_cast<const uint8_t*>(overrun.constData()),
                static_cast<uint32_t>(overrun.size()));
}

} // namespace archive
