// A dump the program saved as its index arrived lacks the sessions read since; on both engines,
// the archive finds its instrument's copies of them (the same instrument, slot and start), and
// none where it cannot tell the instrument.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <vector>

#include "ArchiveFixture.h"
#include "archive/DumpCopies.h"
#include "archive/SessionCapture.h"
#include "core/LogImage.h"

namespace {

class ArchiveDumpCopiesTest : public archivetest::OpenArchiveFixture {
protected:
    // The sessions of `chosen` of the image kept as one download of the instrument called `name`;
    // their ids by slot.
    std::map<int16_t, qint64> Keep(LogImage& image, const char* name,
                                   const std::vector<int16_t>& chosen) {
        const qint64 unit = m_archive.Instrument(archive::NamedInstrument(name), name);
        const qint64 download = m_archive.BeginDownload(unit, "test");
        archive::StoreCounts counts;
        EXPECT_TRUE(m_archive.StoreAll(download, archive::CaptureSessions(image, chosen), counts))
            << m_archive.Error().toStdString();
        std::map<int16_t, qint64> ids;
        for (const archive::ListedSession& s : m_archive.List({})) {
            if (s.instrumentId == unit) {
                ids[static_cast<int16_t>(s.slot)] = s.id;
            }
        }
        return ids;
    }

    // The image as its dump holds it: the index, and only the sessions of `held`.
    static std::unique_ptr<LogImage> DumpOf(LogImage& image, const std::set<int16_t>& held) {
        auto dump = std::make_unique<LogImage>();
        dump->Store(0, image.Bytes(), LogImage::kImageSize);
        const std::vector<uint8_t> zeros(LogImage::kSectorSize, 0);
        for (int16_t slot = 0; slot < LogImage::kSlotCount; ++slot) {
            if (held.count(slot) == 0) {
                dump->Store(archivetest::SessionOffset(slot), zeros.data(), LogImage::kSectorSize);
            }
        }
        return dump;
    }

    // Three dated sessions of the image, the first of them its first.
    static std::vector<int16_t> DatedSlots(LogImage& image) {
        std::vector<int16_t> dated;
        for (const archive::IndexedSession& s : archive::IndexedSessions(image)) {
            if (s.dated && dated.size() < 3) {
                dated.push_back(s.slot);
            }
        }
        return dated;
    }
};

TEST_P(ArchiveDumpCopiesTest, TheCopiesOfTheSessionsADumpLacksAreFoundUnderItsInstrument) {
    if (IsSkipped()) {
        return;
    }
    const auto unit = archivetest::GeneratedImage(1);
    const auto other = archivetest::GeneratedImage(2);
    const std::vector<int16_t> read = DatedSlots(*unit);
    ASSERT_EQ(read.size(), 3u);
    const std::map<int16_t, qint64> kept = Keep(*unit, "unit 7", {read[1], read[2]});
    ASSERT_EQ(kept.size(), 2u);
    Keep(*other, "unit 9", DatedSlots(*other));
    const struct {
        const char* what;
        std::unique_ptr<LogImage> dump;
        std::map<int16_t, qint64> found;
    } cases[] = {
        // Saved as its index arrived: the index's starts tell the instrument.
        {"index only", DumpOf(*unit, {}), kept},
        // Holding a session the archive keeps: its bytes tell; that one is not lacked.
        {"one held", DumpOf(*unit, {read[1]}), {{read[2], kept.at(read[2])}}},
        // Holding only one the archive does not keep: the starts still tell.
        {"one unknown held", DumpOf(*unit, {read[0]}), kept},
        // Another unit's dump: its starts are not the kept sessions'.
        {"another unit", DumpOf(*archivetest::GeneratedImage(3), {}), {}},
    };
    for (const auto& c : cases) {
        archive::DumpCopies copies;
        ASSERT_TRUE(archive::FindDumpCopies(m_archive, *c.dump, copies))
            << c.what << m_archive.Error().toStdString();
        EXPECT_EQ(copies.sessions, c.found) << c.what;
        EXPECT_EQ(copies.name, c.found.empty() ? QString() : QString("unit 7")) << c.what;
    }
}

// Two instruments keep the same sessions (a dump imported under a name of its own, and the
// program's uploads): the archive cannot tell which the dump is, and shows neither's.
TEST_P(ArchiveDumpCopiesTest, NothingIsFoundWhereTwoInstrumentsAnswer) {
    if (IsSkipped()) {
        return;
    }
    const auto unit = archivetest::GeneratedImage(1);
    const std::vector<int16_t> read = DatedSlots(*unit);
    Keep(*unit, "unit 7", read);
    Keep(*unit, "FlashData-van7", {read[2]});
    for (const std::set<int16_t>& held : {std::set<int16_t>{}, std::set<int16_t>{read[2]}}) {
        archive::DumpCopies copies;
        ASSERT_TRUE(archive::FindDumpCopies(m_archive, *DumpOf(*unit, held), copies));
        EXPECT_EQ(copies.instrument, -1);
        EXPECT_TRUE(copies.sessions.empty());
    }
}

// A copy put into a dump's image reads as the session did when it was kept, and leaves the
// next slot's sector as the dump had it.
TEST_P(ArchiveDumpCopiesTest, ACopyPutIntoADumpRendersAsTheSessionKept) {
    if (IsSkipped()) {
        return;
    }
    const auto unit = archivetest::GeneratedImage(1);
    const std::vector<int16_t> read = DatedSlots(*unit);
    const std::map<int16_t, qint64> kept = Keep(*unit, "unit 7", read);
    const auto dump = DumpOf(*unit, {});
    for (int16_t slot : read) {
        archive::LoadedSession session;
        ASSERT_TRUE(m_archive.Load(kept.at(slot), session));
        archive::PutCopyIntoDump(*dump, slot, session.sector);
        EXPECT_EQ(archivetest::RenderSlots(*dump, {slot}), archivetest::RenderSlots(*unit, {slot}));
    }
    for (int16_t slot = 0; slot < LogImage::kSlotCount; ++slot) {
        const bool put = slot == read[0] || slot == read[1] || slot == read[2];
        EXPECT_EQ(dump->SessionHeld(slot), put) << slot;
    }
}

INSTANTIATE_ON_BOTH_ENGINES(ArchiveDumpCopiesTest);

} // namespace
