#include "GpsPosition.h"
#include "LineBuffer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Block {
    uint8_t bytes[GpsPosition::kBlockSize];
};

Block Make(uint8_t flags, uint16_t latDegMin, uint16_t latFrac, uint16_t lonDegMin,
           uint16_t lonFrac) {
    return Block{{flags, static_cast<uint8_t>(latDegMin), static_cast<uint8_t>(latDegMin >> 8),
                  static_cast<uint8_t>(latFrac), static_cast<uint8_t>(latFrac >> 8),
                  static_cast<uint8_t>(lonDegMin), static_cast<uint8_t>(lonDegMin >> 8),
                  static_cast<uint8_t>(lonFrac), static_cast<uint8_t>(lonFrac >> 8)}};
}

struct GpsCase {
    const char* name;
    Block block;
    const char* quality;
    const char* latitude;
    const char* longitude;
};

class GpsTextTest : public ::testing::TestWithParam<GpsCase> {};

TEST_P(GpsTextTest, Texts) {
    const GpsCase& c = GetParam();
    GpsPosition position;
    position.Decode(c.block.bytes);
    EXPECT_STREQ(position.QualityText(), c.quality);
    EXPECT_STREQ(position.LatitudeText(), c.latitude);
    EXPECT_STREQ(position.LongitudeText(), c.longitude);
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, GpsTextTest,
    ::testing::Values(
        GpsCase{"ZeroBlock", Make(0, 0, 0, 0, 0), "Q:0 ", "No GPS Fix", ""},
        GpsCase{"NorthWest", Make(0x83, 5130, 1234, 123, 4567), "Q:2 ", "N 51 30.1234",
                "W 001 23.4567"},
        GpsCase{"SouthEast", Make(0xC5, 3352, 9999, 15112, 5), "Q:3 ", "S 33 52.9999",
                "E 151 12.0005"},
        GpsCase{"LeadingZeros", Make(0x43, 905, 7, 0, 0), "Q:1 ", "N 09 05.0007", "W 000 00.0000"},
        GpsCase{"HemispheresIgnoredWithoutFix", Make(0x06, 5130, 1, 2, 3), "Q:0 ", "No GPS Fix",
                ""},
        GpsCase{"QualityWithoutFix", Make(0x80, 0, 0, 0, 0), "Q:2 ", "No GPS Fix", ""},
        // 0xFFFF is -1: the sign takes the first digit position.
        GpsCase{"NegativeFields", Make(0x07, 0xFFFF, 0x8000, 0xFFF6, 0xFFFF), "Q:0 ",
                "N -0 01.-768", "E -00 10.-001"},
        GpsCase{"LargestPositive", Make(0x01, 32767, 32767, 32767, 32767), "Q:0 ", "S 27 67.2767",
                "W 327 67.2767"}),
    [](const ::testing::TestParamInfo<GpsCase>& info) { return info.param.name; });

TEST(GpsText, JoinedQualityLatitudeLongitude) {
    GpsPosition position;
    position.Decode(Make(0x83, 5130, 1234, 123, 4567).bytes);
    LineBuffer line;
    position.AppendGpsText(line);
    EXPECT_STREQ(line.Text(), "Q:2 N 51 30.1234   W 001 23.4567");
}

TEST(GpsText, EachBlockOverwritesThePosition) {
    GpsPosition position;
    position.Decode(Make(0x83, 5130, 1234, 123, 4567).bytes);
    position.Decode(Make(0, 0, 0, 0, 0).bytes);
    EXPECT_STREQ(position.LatitudeText(), "No GPS Fix");
    EXPECT_STREQ(position.LongitudeText(), "");
}

struct FixedCase {
    int16_t value;
    int width;
    const char* text;
};

class FixedNumberTest : public ::testing::TestWithParam<FixedCase> {};

TEST_P(FixedNumberTest, Digits) {
    const FixedCase& c = GetParam();
    char text[16] = "ab";
    const int length = AppendFixedNumber(text, 2, sizeof text, c.value, c.width);
    EXPECT_EQ(std::string("ab") + c.text, text);
    EXPECT_EQ(length, static_cast<int>(std::string(text).size()));
}

INSTANTIATE_TEST_SUITE_P(Widths, FixedNumberTest,
                         ::testing::Values(FixedCase{5130, 4, "5130"}, FixedCase{7, 4, "0007"},
                                           FixedCase{123, 5, "00123"}, FixedCase{12345, 4, "2345"},
                                           FixedCase{-1, 4, "-001"}, FixedCase{-32768, 5, "-2768"},
                                           FixedCase{-5, 1, "-"}, FixedCase{42, 0, ""},
                                           FixedCase{32767, 5, "32767"}));

TEST(FixedNumber, NeverPassesBufferEnd) {
    char text[6] = {'x', 'x', 'x', 'x', 'x', 'x'};
    const int length = AppendFixedNumber(text, 2, 5, 12345, 5);
    EXPECT_EQ(length, 4);
    EXPECT_STREQ(text, "xx12");
    EXPECT_EQ(text[5], 'x');
}

} // namespace
