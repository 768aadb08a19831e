#include "recbuild/RecordBuilder.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<uint8_t>;

TEST(RecordBuilder, StampedHeaderHighWordFirst) {
    EXPECT_EQ(RecordBuilder::Stamped('O', '1', 0x12345678).Chars("GAS", 3).Bytes(),
              (Bytes{'<', 11, 'O', '1', 0x34, 0x12, 0x78, 0x56, 'G', 'A', 'S'}));
}

TEST(RecordBuilder, UnstampedAndFreeText) {
    EXPECT_EQ(RecordBuilder::Unstamped('U', '1').Chars("AB", 4).Bytes(),
              (Bytes{'<', 8, 'U', '1', 'A', 'B', 0, 0}));
    EXPECT_EQ(RecordBuilder::FreeText("hi").Bytes(), (Bytes{'<', 6, 'T', 'h', 'i', 0}));
}

TEST(RecordBuilder, PayloadHelpersAreLittleEndian) {
    const Bytes bytes = RecordBuilder::Raw()
                            .U16(0xBEEF)
                            .S16(-2)
                            .Reading(0x81, 300)
                            .SensorValues(4, 1000, 2)
                            .SensorResult(3, 1, -1, 209)
                            .BumpResult(0, 3, 25)
                            .Bytes();
    EXPECT_EQ(bytes, (Bytes{'<', 24, 0xEF, 0xBE, 0xFE, 0xFF, 0x81, 0x2C, 0x01, 4, 0xE8, 0x03,
                            2,   0,  3,    1,    0xFF, 0xFF, 0xD1, 0x00, 0,    3, 25,   0}));
    EXPECT_EQ(bytes.size(), 24u);
}

TEST(RecordBuilder, ReadingListAndStamp) {
    EXPECT_EQ(RecordBuilder::Raw().Readings({{0, 25}, {4, -1}}, RecordBuilder::kNoGps).Bytes(),
              (Bytes{'<', 9, 0, 25, 0, 4, 0xFF, 0xFF, 0xFE}));
    EXPECT_EQ(RecordBuilder::Raw().Stamp(0xA1B2C3D4).Bytes(),
              (Bytes{'<', 6, 0xB2, 0xA1, 0xD4, 0xC3}));
}

TEST(RecordBuilder, LengthCountsWholeRecordUnlessForced) {
    EXPECT_EQ(RecordBuilder::Stamped('Y', '1', 0).Bytes()[1], 8);
    EXPECT_EQ(RecordBuilder::Stamped('Y', '1', 0).ForceLength(0).Bytes()[1], 0);
}

TEST(RecordBuilder, GpsBlock) {
    const Bytes bytes =
        RecordBuilder::Raw().Gps(GpsFix::At(true, 5130, 1234, false, 123, 4567, 2)).Bytes();
    EXPECT_EQ(bytes, (Bytes{'<', 11, 0x83, 0x0A, 0x14, 0xD2, 0x04, 0x7B, 0x00, 0xD7, 0x11}));
    EXPECT_EQ(RecordBuilder::Raw().ZeroGps().Bytes(), (Bytes{'<', 11, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(GpsFix::At(false, 0, 0, true, 0, 0, 3).Flags(), 0xC5);
}

TEST(RecordBuilder, StopsAt255Bytes) {
    RecordBuilder record = RecordBuilder::Raw();
    record.Chars("", 253);
    EXPECT_FALSE(record.Overflowed());
    record.Byte(1);
    EXPECT_TRUE(record.Overflowed());
    EXPECT_EQ(record.Size(), 255u);
    EXPECT_EQ(record.Bytes()[1], 255);
}

TEST(RecordBuilder, AppendsToStream) {
    Bytes stream{1};
    RecordBuilder::Stamped('Y', '1', 0).AppendTo(stream);
    EXPECT_EQ(stream.size(), 9u);
    EXPECT_EQ(stream[1], '<');
}

TEST(EscapeForFlash, DoublesEscapeBytesOnly) {
    EXPECT_EQ(EscapeForFlash({0x55, '<', 0x55, 0x55, 0xFF}),
              (Bytes{0x55, 0x55, '<', 0x55, 0x55, 0x55, 0x55, 0xFF}));
    EXPECT_EQ(EscapeForFlash({}), Bytes{});
}

} // namespace
