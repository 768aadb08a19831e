#include "ValueFormat.h"
#include "GasTables.h"
#include "LineBuffer.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

namespace {

struct FormatCase {
    int16_t value;
    int32_t scale;
    const char* text;
};

class ReadingFormatTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(ReadingFormatTest, ColumnText) {
    const FormatCase& c = GetParam();
    char text[kValueTextSize];
    FormatReading(c.value, c.scale, text);
    EXPECT_STREQ(text, c.text) << c.value << " at scale " << c.scale;
}

INSTANTIATE_TEST_SUITE_P(Boundaries, ReadingFormatTest,
                         ::testing::Values(
                             // whole units
                             FormatCase{-5, 1, "   0    "}, FormatCase{0, 1, "   0    "},
                             FormatCase{30, 1, "  30    "}, FormatCase{9999, 1, "9999    "},
                             FormatCase{10000, 1, "EEEE    "}, FormatCase{10001, 1, "10001    "},
                             FormatCase{32767, 1, "32767    "}, FormatCase{-32768, 1, "   0    "},
                             // tenths
                             FormatCase{-3, 10, " 0.0    "}, FormatCase{0, 10, " 0.0    "},
                             FormatCase{25, 10, " 2.5    "}, FormatCase{999, 10, "99.9    "},
                             FormatCase{1000, 10, " 100    "}, FormatCase{1009, 10, " 100    "},
                             FormatCase{32767, 10, "3276    "},
                             // hundredths, rounded half up to tenths
                             FormatCase{254, 100, " 2.5    "}, FormatCase{255, 100, " 2.6    "},
                             FormatCase{0, 100, " 0.0    "}, FormatCase{9994, 100, "99.9    "},
                             FormatCase{9995, 100, "100.0    "}, FormatCase{-4, 100, " 0.0    "}));

TEST(GasTables, NamesAndScalesAsTheInstrumentCodesThem) {
    const char* names[16] = {"LEL ", "GAS ", "PPM", "O2  ", "CO  ", "H2S ", "PPM", "GAS ",
                             "CO  ", "H2S ", "",    "",     "PPM",  "",     "LH2", "VH2"};
    const int scales[16] = {10, 10, 1, 10, 1, 1, 1, 100, 1, 1, 1, 1, 1, 1, 10, 10};
    for (int code = 0; code < 16; ++code) {
        EXPECT_STREQ(GasCodeTable[code].Name, names[code]) << code;
        EXPECT_EQ(GasCodeTable[code].Scale, scales[code]) << code;
    }
}

struct LabelCase {
    unsigned code;
    const char* label;
};

class SensorLabelTest : public ::testing::TestWithParam<LabelCase> {};

TEST_P(SensorLabelTest, TwentyFiveCharacters) {
    LineBuffer line;
    AppendSensorLabel(line, GetParam().code);
    EXPECT_STREQ(line.Text(), GetParam().label);
    EXPECT_EQ(line.Length(), 25u);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, SensorLabelTest,
    ::testing::Values(
        LabelCase{0, "  0..100 % LEL           "}, LabelCase{1, "  0..100 % GAS           "},
        LabelCase{2, "  0..1000 PPM Flam       "}, LabelCase{3, "  0..25 % O2             "},
        LabelCase{4, "  0..1000 PPM CO         "}, LabelCase{5, "  0..100 PPM H2S         "},
        LabelCase{6, "  0..10000 PPM Flam      "}, LabelCase{7, "  0..5 % GAS             "},
        LabelCase{8, "  0..1000 mg/m3 CO       "}, LabelCase{9, "  0..100 mg/m3 H2S       "},
        LabelCase{10, "  0..100% Methane        "}, LabelCase{11, "  0..100% General HC     "},
        LabelCase{12, "  0..10000 PPM Flam      "}, LabelCase{13, "                         "},
        LabelCase{14, "  0..100 % LEL H2        "}, LabelCase{15, "  0..100 % GAS           "},
        LabelCase{16, "  Sensor 16              "}, LabelCase{254, "  Sensor 254             "}));

TEST(SensorScale, TableOrWholeUnits) {
    EXPECT_EQ(SensorScale(0), 10);
    EXPECT_EQ(SensorScale(7), 100);
    EXPECT_EQ(SensorScale(4), 1);
    EXPECT_EQ(SensorScale(16), 1);
    EXPECT_EQ(SensorScale(200), 1);
}

TEST(LineBuffer, AppendsStopAtCapacity) {
    LineBuffer line;
    const std::string chunk(300, 'x');
    for (int i = 0; i < 5; ++i) {
        line.Append(chunk.c_str());
    }
    line.AppendFormat("%s", chunk.c_str());
    line.AppendChar('y');
    line.AppendFloat("%3.1f", 1.25);
    EXPECT_EQ(line.Length(), LineBuffer::kCapacity - 1);
    EXPECT_EQ(std::string(line.Text()), std::string(999, 'x'));
}

TEST(LineBuffer, NothingAppendedAfterACut) {
    LineBuffer line;
    line.Append(std::string(998, 'a').c_str());
    line.Append("\\par ");
    line.AppendChar('y');
    line.Append("z");
    line.AppendFormat("%d", 7);
    EXPECT_EQ(std::string(line.Text()), std::string(998, 'a'));
    line.Clear();
    line.Append("b");
    EXPECT_STREQ(line.Text(), "b");
}

TEST(LineBuffer, CutFormatLeavesNoOpenControlWord) {
    LineBuffer line;
    line.Append(std::string(994, 'a').c_str());
    line.AppendFormat("x\\par%d", 12);
    EXPECT_EQ(std::string(line.Text()), std::string(994, 'a') + "x");
}

TEST(LineBuffer, FormatStopsAtCapacity) {
    LineBuffer line;
    line.Append(std::string(995, 'a').c_str());
    line.AppendFormat("%d", 1234567);
    EXPECT_EQ(line.Length(), 999u);
    EXPECT_EQ(std::string(line.Text()).substr(995), "1234");
}

// A cut must not leave the start of a control word at the end of a record's text: the next
// record's text would complete it into something else ("\\{" opens a group, "\\parJob" swallows
// a word).
struct CutCase {
    const char* name;
    size_t fill;        // characters in the buffer before the append
    const char* append; // the text that gets cut
    std::string kept;   // what of it stays
};

class LineBufferCutTest : public ::testing::TestWithParam<CutCase> {};

TEST_P(LineBufferCutTest, NoHalfControlWordAtTheEnd) {
    const CutCase& c = GetParam();
    LineBuffer line;
    line.Append(std::string(c.fill, 'a').c_str());
    line.Append(c.append);
    EXPECT_EQ(std::string(line.Text()), std::string(c.fill, 'a') + c.kept);
}

INSTANTIATE_TEST_SUITE_P(
    Cuts, LineBufferCutTest,
    ::testing::Values(CutCase{"LoneBackslash", 998, "\\par ", ""},
                      CutCase{"ControlWordWithoutDelimiter", 995, "\\par ", ""},
                      CutCase{"PartOfControlWord", 996, "\\par ", ""},
                      CutCase{"ControlWordWithNumber", 994, "x\\cf5 ", "x"},
                      CutCase{"WholeControlWordKept", 994, "\\par xyz", "\\par "},
                      CutCase{"EscapedBackslashKept", 996, "\\\\\\par", "\\\\"},
                      CutCase{"EscapedBackslashThenLetters", 995, "\\\\ab\\par", "\\\\ab"},
                      CutCase{"PlainTextCut", 997, "abcdef", "ab"},
                      CutCase{"ControlWordBeforeCutOneKeptDelimited", 993, "x\\par\\par ",
                              "x\\par "},
                      CutCase{"TwoControlWordsCut", 991, "\\par\\par ", "\\par "}),
    [](const ::testing::TestParamInfo<CutCase>& info) { return info.param.name; });

} // namespace
