#include "archive/DumpCopies.h"

#include <set>
#include <utility>
#include <vector>

#include "archive/SessionArchive.h"
#include "archive/SessionCapture.h"
#include "core/LogImage.h"

namespace archive {

namespace {

using SlotStart = std::pair<int16_t, uint32_t>;

// The instruments that recorded the sessions the dump holds, by their bytes.
bool HoldersByBytes(SessionArchive& store, LogImage& image, std::set<qint64>& instruments) {
    std::vector<int16_t> held;
    for (int16_t slot = 0; slot < LogImage::kSlotCount; ++slot) {
        if (image.SessionHeld(slot)) {
            held.push_back(slot);
        }
    }
    if (held.empty()) {
        return true;
    }
    std::vector<SessionHolder> holders;
    if (!store.InstrumentsHolding(CaptureSessions(image, held), holders)) {
        return false;
    }
    for (const SessionHolder& holder : holders) {
        instruments.insert(holder.instrument);
    }
    return true;
}

} // namespace

bool FindDumpCopies(SessionArchive& store, LogImage& image, DumpCopies& copies) {
    copies = DumpCopies();
    std::set<SlotStart> lacked; // the dump's dated sessions it does not hold
    std::set<SlotStart> named;  // every dated session of its index
    for (const IndexedSession& session : IndexedSessions(image)) {
        if (session.dated) {
            named.insert({session.slot, session.stamp});
            if (!image.SessionHeld(session.slot)) {
                lacked.insert({session.slot, session.stamp});
            }
        }
    }
    if (lacked.empty()) {
        return true;
    }
    std::set<qint64> byBytes;
    if (!HoldersByBytes(store, image, byBytes)) {
        return false;
    }
    std::set<qint64> byStart;
    std::map<qint64, std::map<int16_t, qint64>> found; // instrument: slot: session
    std::map<qint64, QString> names;
    const bool listed = store.ForEach(
        ListFilter(),
        [&](const ListedSession& s) {
            const SlotStart key{static_cast<int16_t>(s.slot), s.stamp};
            if (!s.dated || named.count(key) == 0) {
                return;
            }
            byStart.insert(s.instrumentId);
            names[s.instrumentId] = s.instrument;
            if (lacked.count(key) > 0) {
                found[s.instrumentId][key.first] = s.id;
            }
        },
        ListDetail::Brief);
    if (!listed) {
        return false;
    }
    // The sessions' bytes are the surer word; the index's starts answer only without them.
    const std::set<qint64>& who = byBytes.empty() ? byStart : byBytes;
    if (who.size() != 1) {
        return true;
    }
    copies.instrument = *who.begin();
    copies.name = names[copies.instrument];
    copies.sessions = found[copies.instrument];
    return true;
}

void PutCopyIntoDump(LogImage& image, int16_t slot, const QByteArray& sector) {
    if (slot < 0 || slot >= LogImage::kSlotCount) {
        return;
    }
    const uint32_t start = LogImage::DataSector(slot) * LogImage::kSectorSize;
    const uint32_t length = static_cast<uint32_t>(sector.size()) < LogImage::kSectorSize
                                ? static_cast<uint32_t>(sector.size())
                                : LogImage::kSectorSize;
    image.Store(start, reinterpret_cast<const uint8_t*>(sector.constData()), length);
}

} // namespace archive
