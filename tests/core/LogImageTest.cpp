#include "core/LogImage.h"

#include <cstring>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

namespace {

constexpr uint32_t kSector = LogImage::kSectorSize;

uint32_t SlotStart(int slot) {
    return (static_cast<uint32_t>(slot) + 10) * kSector;
}

class LogImageTest : public ::testing::Test {
protected:
    std::unique_ptr<LogImage> image = std::make_unique<LogImage>();

    void Put(uint32_t offset, std::vector<uint8_t> bytes) {
        ASSERT_EQ(image->Store(offset, bytes.data(), static_cast<uint32_t>(bytes.size())),
                  bytes.size());
    }

    // Reads `calls` chunks of 100 bytes of the slot's stream, as the report does.
    std::vector<uint8_t> Stream(int16_t slot, int calls, int16_t* endIndex = nullptr) {
        std::vector<uint8_t> out(static_cast<size_t>(calls) * 100);
        int16_t index = 0;
        for (int i = 0; i < calls; ++i) {
            image->ReadSessionBytes(slot, out.data() + i * 100, index);
        }
        if (endIndex != nullptr) {
            *endIndex = index;
        }
        return out;
    }
};

TEST_F(LogImageTest, StartsZeroFilled) {
    for (uint32_t offset : {0u, 1u, 40959u, 40960u, LogImage::kImageSize - 1}) {
        EXPECT_EQ(image->ReadImageByte(offset), 0) << offset;
    }
}

TEST_F(LogImageTest, WindowRefillsOnlyWhenAReadMissesIt) {
    Put(0, {1, 2, 3});
    Put(39, {39, 40});
    EXPECT_EQ(image->WindowRefills(), 0u);
    EXPECT_EQ(image->ReadImageByte(0), 1);
    EXPECT_EQ(image->WindowRefills(), 1u);
    EXPECT_EQ(image->ReadImageByte(2), 3);
    EXPECT_EQ(image->ReadImageByte(39), 39);
    EXPECT_EQ(image->WindowRefills(), 1u);
    EXPECT_EQ(image->ReadImageByte(40), 40); // one past the window
    EXPECT_EQ(image->WindowRefills(), 2u);
    EXPECT_EQ(image->ReadImageByte(39), 39); // below the new base
    EXPECT_EQ(image->WindowRefills(), 3u);
}

TEST_F(LogImageTest, IndexEntriesZeroAndOneShareOneRefill) {
    char name[20];
    image->ReadIndexEntry(0, name);
    image->ReadIndexEntry(1, name);
    EXPECT_EQ(image->WindowRefills(), 1u);
    image->ReadIndexEntry(499, name);
    EXPECT_EQ(image->WindowRefills(), 2u);
}

TEST_F(LogImageTest, IndexEntryLayout) {
    // Slot 123: sector 2, position 23.
    const uint32_t offset = 2 * kSector + 23 * 20;
    const char text[] = "1A2B3C4D_FACC_tail+"; // 19 characters
    Put(offset, std::vector<uint8_t>(text, text + 19));
    Put(offset + 19, {'Z'}); // byte 19 is not part of the name
    char name[20];
    std::memset(name, '#', sizeof name);
    EXPECT_EQ(image->ReadIndexEntry(123, name), 0);
    EXPECT_STREQ(name, text);
    EXPECT_EQ(image->ReadIndexEntry(122, name), 0);
    EXPECT_STREQ(name, ""); // zero-filled, but not marked empty
}

TEST_F(LogImageTest, FirstByteFFMarksAnEmptySlotWhateverFollows) {
    const uint32_t offset = 9 * kSector + 49 * 20; // slot 499
    Put(offset, {0xFF, 'H', 'e', 'l', 'l', 'o'});
    char name[20] = "previous";
    EXPECT_EQ(image->ReadIndexEntry(499, name), 2);
    EXPECT_STREQ(name, "");
}

TEST_F(LogImageTest, FFLaterInTheNameIsCopied) {
    Put(0, {'1', 0xFF, '2'});
    char name[20];
    EXPECT_EQ(image->ReadIndexEntry(0, name), 0);
    EXPECT_EQ(static_cast<uint8_t>(name[1]), 0xFF);
    EXPECT_EQ(name[2], '2');
}

TEST_F(LogImageTest, SlotsOutsideTheIndexReadAsEmpty) {
    char name[20] = "x";
    EXPECT_EQ(image->ReadIndexEntry(-1, name), 2);
    EXPECT_STREQ(name, "");
    EXPECT_EQ(image->ReadIndexEntry(500, name), 2);
}

TEST_F(LogImageTest, ASessionIsHeldWhenItsSectorHoldsMoreThanZerosAndErasedFlash) {
    EXPECT_FALSE(image->SessionHeld(0));
    const std::vector<uint8_t> erased(LogImage::kSectorSize, 0xFF);
    image->Store((10 + 0) * LogImage::kSectorSize, erased.data(), LogImage::kSectorSize);
    EXPECT_FALSE(image->SessionHeld(0)) << "erased flash holds no session";
    const uint8_t start[] = {'<'};
    image->Store((10 + 0) * LogImage::kSectorSize + 100, start, 1);
    EXPECT_TRUE(image->SessionHeld(0));
    const uint8_t last[] = {'<'};
    image->Store((10 + 499) * LogImage::kSectorSize + LogImage::kSectorSize - 1, last, 1);
    EXPECT_TRUE(image->SessionHeld(499));
    EXPECT_FALSE(image->SessionHeld(498));
    EXPECT_FALSE(image->SessionHeld(-1));
    EXPECT_FALSE(image->SessionHeld(500));
}

TEST_F(LogImageTest, StoreInvalidatesTheWindow) {
    EXPECT_EQ(image->ReadImageByte(10), 0); // window now holds 10..49
    Put(12, {0xAB});
    EXPECT_EQ(image->ReadImageByte(12), 0xAB);

    uint32_t room = 0;
    uint8_t* area = image->StoreArea(20, 4, room);
    ASSERT_NE(area, nullptr);
    EXPECT_EQ(room, 4u);
    area[0] = 0xCD;
    EXPECT_EQ(image->ReadImageByte(20), 0xCD);
}

TEST_F(LogImageTest, StoresAreBoundedByTheImage) {
    uint32_t room = 99;
    EXPECT_NE(image->StoreArea(LogImage::kImageSize - 10, 4096, room), nullptr);
    EXPECT_EQ(room, 10u);
    EXPECT_EQ(image->StoreArea(LogImage::kImageSize, 1, room), nullptr);
    EXPECT_EQ(room, 0u);
    EXPECT_EQ(image->StoreArea(0xFFFFFFFFu, 1, room), nullptr);
    std::vector<uint8_t> data(100, 0x11);
    EXPECT_EQ(image->Store(LogImage::kImageSize - 3, data.data(), 100), 3u);
    EXPECT_EQ(image->ReadImageByte(LogImage::kImageSize - 1), 0x11);
    EXPECT_EQ(image->ReadImageByte(LogImage::kImageSize), 0xFF);
    EXPECT_EQ(image->ReadImageByte(0xFFFFFFFFu), 0xFF);
}

TEST_F(LogImageTest, PlainStreamIsCopiedAndIndexAdvancesByOneHundred) {
    std::vector<uint8_t> bytes(200);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<uint8_t>(i == 0x55 ? 0 : i);
    }
    Put(SlotStart(7), bytes);
    uint8_t out[100];
    int16_t index = 0;
    image->ReadSessionBytes(7, out, index);
    EXPECT_EQ(index, 100);
    EXPECT_EQ(0, std::memcmp(out, bytes.data(), 100));
    image->ReadSessionBytes(7, out, index);
    EXPECT_EQ(index, 200);
    EXPECT_EQ(0, std::memcmp(out, bytes.data() + 100, 100));
}

TEST_F(LogImageTest, EscapePairsYieldOneByte) {
    Put(SlotStart(0), {0x55, 0x3C, 0x55, 0x55, 0x41});
    uint8_t out[100];
    int16_t index = 0;
    image->ReadSessionBytes(0, out, index);
    EXPECT_EQ(out[0], '<');
    EXPECT_EQ(out[1], 0x55);
    EXPECT_EQ(out[2], 0x41);
    EXPECT_EQ(out[3], 0);
    EXPECT_EQ(index, 102);
}

TEST_F(LogImageTest, EscapeAtTheHundredthOutputByteStaysInTheSameCall) {
    std::vector<uint8_t> bytes(99, 0x01);
    bytes.push_back(0x55);
    bytes.push_back(0x3C);
    bytes.push_back(0x02);
    Put(SlotStart(3), bytes);
    uint8_t out[100];
    int16_t index = 0;
    image->ReadSessionBytes(3, out, index);
    EXPECT_EQ(out[99], 0x3C);
    EXPECT_EQ(index, 101);
    image->ReadSessionBytes(3, out, index);
    EXPECT_EQ(out[0], 0x02);
    EXPECT_EQ(index, 201);
}

TEST_F(LogImageTest, EscapesRunIntoTheNextSector) {
    // 100 escape pairs: 4,000 output bytes take 4,100 stored bytes, four from the next sector.
    std::vector<uint8_t> bytes(kSector, 0x07);
    for (int i = 0; i < 100; ++i) {
        bytes[static_cast<size_t>(i) * 2] = 0x55;
        bytes[static_cast<size_t>(i) * 2 + 1] = static_cast<uint8_t>(i);
    }
    Put(SlotStart(20), bytes);
    Put(SlotStart(21), {0xA1, 0xA2, 0xA3, 0xA4, 0xA5});
    int16_t end = 0;
    const std::vector<uint8_t> out = Stream(20, 40, &end);
    EXPECT_EQ(end, 4100);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(out[static_cast<size_t>(i)], i);
    }
    EXPECT_EQ(out[3995], 0x07);
    EXPECT_EQ(out[3996], 0xA1);
    EXPECT_EQ(out[3999], 0xA4);
}

TEST_F(LogImageTest, EscapePairStraddlingTwoSectors) {
    Put(SlotStart(5) + kSector - 1, {0x55, 0x3C});
    std::vector<uint8_t> out = Stream(5, 41);
    EXPECT_EQ(out[4095], 0x3C);
    EXPECT_EQ(out[4096], 0x00);
}

TEST_F(LogImageTest, SlotFourHundredNinetyNineReadsErasedFlashPastTheEnd) {
    // Every stored byte an escape: two stored bytes per output byte, running through sectors 510
    // and 511 and past the end of the image.
    std::vector<uint8_t> escapes(3 * kSector, 0x55);
    Put(SlotStart(499), escapes);
    int16_t end = 0;
    const std::vector<uint8_t> out = Stream(499, 80, &end);
    for (size_t i = 0; i < 6144; ++i) {
        ASSERT_EQ(out[i], 0x55) << i;
    }
    for (size_t i = 6144; i < out.size(); ++i) {
        ASSERT_EQ(out[i], 0xFF) << i;
    }
    EXPECT_EQ(end, 12288 + (8000 - 6144));
}

TEST_F(LogImageTest, ReadIndexStopsAtItsLimit) {
    int16_t end = 0;
    Stream(499, 400, &end);
    EXPECT_EQ(end, INT16_MAX);
}

TEST_F(LogImageTest, SlotsOutsideTheDataAreaReadAsErased) {
    Put(0, {1, 2, 3});
    for (int16_t slot : {int16_t(-1), int16_t(-10), int16_t(500), int16_t(32767)}) {
        const std::vector<uint8_t> out = Stream(slot, 2);
        for (uint8_t b : out) {
            ASSERT_EQ(b, 0xFF) << slot;
        }
    }
}

TEST_F(LogImageTest, EmptySlotStreamIsWhateverTheImageHolds) {
    const std::vector<uint8_t> out = Stream(42, 40);
    for (uint8_t b : out) {
        ASSERT_EQ(b, 0);
    }
}

TEST_F(LogImageTest, BothReadPathsShareTheWindow) {
    char name[20];
    image->ReadIndexEntry(0, name);
    const uint32_t before = image->WindowRefills();
    uint8_t out[100];
    int16_t index = 0;
    image->ReadSessionBytes(0, out, index); // 100 bytes: three refills of 40
    EXPECT_EQ(image->WindowRefills(), before + 3);
    image->ReadIndexEntry(0, name);
    EXPECT_EQ(image->WindowRefills(), before + 4);
}

} // namespace
