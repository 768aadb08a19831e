#include "SessionFixture.h"

namespace {

using R = RecordBuilder;

const GpsFix kFix = GpsFix::At(false, 3352, 9999, true, 15112, 5, 3);
const std::string kFixText = "Q:3 S 33 52.9999   E 151 12.0005";
const std::string kNoFixText = "Q:0 No GPS Fix   ";
const std::string kGpsLine = ".\\par                     GPS ";

R Barhole(char version, uint8_t number, int16_t peak, char peakUnit, uint16_t sustained,
          char sustainedUnit) {
    return R::Barhole(version, kStamp, number, peak, peakUnit, sustained, sustainedUnit);
}

struct BarholeCase {
    const char* name;
    std::vector<uint8_t> record;
    std::string expected;
    int unrecognised;
};

std::vector<uint8_t> Samples() {
    std::vector<uint8_t> samples;
    for (int i = 1; i <= 15; ++i) {
        samples.push_back(static_cast<uint8_t>(i * 10));
    }
    return samples;
}

std::vector<BarholeCase> BarholeCases() {
    return {
        // version 1: one decimal for small readings
        {"V1GasSmallPeakLargeSustained", Barhole('1', 3, 45, 'G', 60, 'G').Bytes(),
         "\\par %X Barhole 3: Pk = 4.5 %Gas, Sus = 6 %Gas.\\par ", 0},
        {"V1LelSmall", Barhole('1', 3, 45, 'L', 60, 'L').Bytes(),
         "\\par %X Barhole 3: Pk = 4.5 %LEL,  Sus = 6.0 %LEL.\\par ", 0},
        {"V1GasThresholds", Barhole('1', 1, 50, 'G', 51, 'G').Bytes(),
         "\\par %X Barhole 1: Pk = 5.0 %Gas, Sus = 5 %Gas.\\par ", 0},
        {"V1GasAboveThresholds", Barhole('1', 1, 51, 'G', 50, 'G').Bytes(),
         "\\par %X Barhole 1: Pk = 5 %Gas, Sus = 5.0 %Gas.\\par ", 0},
        {"V1LelThresholds", Barhole('1', 2, 100, 'L', 101, 'x').Bytes(),
         "\\par %X Barhole 2: Pk = 10.0 %LEL,  Sus = 10 %LEL.\\par ", 0},
        {"V1LelAboveThresholds", Barhole('1', 2, 101, 0, 100, 'L').Bytes(),
         "\\par %X Barhole 2: Pk = 10 %LEL,  Sus = 10.0 %LEL.\\par ", 0},
        {"V1Rounding", Barhole('1', 255, 1004, 'L', 1005, 'G').Bytes(),
         "\\par %X Barhole 255: Pk = 100 %LEL, Sus = 101 %Gas.\\par ", 0},
        {"V1NegativePeakAndSustainedBit15", Barhole('1', 4, -7, 'G', 0x8005, 'G').Bytes(),
         "\\par %X Barhole 4: Pk = 0.0 %Gas, Sus = 0.0 %Gas.\\par ", 0},
        {"V1LengthSeventeenNoGps", Barhole('1', 3, 45, 'G', 60, 'G').Byte(0).Byte(0).Bytes(),
         "\\par %X Barhole 3: Pk = 4.5 %Gas, Sus = 6 %Gas.\\par ", 0},
        {"V1Gps", Barhole('1', 3, 45, 'G', 60, 'G').Byte(0).Gps(kFix).Bytes(),
         "\\par %X Barhole 3: Pk = 4.5 %Gas, Sus = 6 %Gas" + kGpsLine + kFixText + ".\\par ", 0},
        // version 5: GPS by its marker byte
        {"V5NoBlock", Barhole('5', 3, 45, 'G', 60, 'G').Byte(0).Byte(0xFE).Bytes(),
         "\\par %X Barhole 3: Pk = 4.5 %Gas, Sus = 6 %Gas.\\par ", 0},
        {"V5ZeroBlock", Barhole('5', 3, 45, 'G', 60, 'G').Byte(0).Byte(0xFF).Bytes(),
         "\\par %X Barhole 3: Pk = 4.5 %Gas, Sus = 6 %Gas" + kGpsLine + kNoFixText + ".\\par ", 0},
        {"V5Block", Barhole('5', 3, 45, 'L', 60, 'L').Byte(0).Gps(kFix).Bytes(),
         "\\par %X Barhole 3: Pk = 4.5 %LEL,  Sus = 6.0 %LEL" + kGpsLine + kFixText + ".\\par ", 0},
        // version 2: whole numbers
        {"V2Gas", Barhole('2', 3, 45, 'G', 65, 'G').Bytes(),
         "\\par %X Barhole 3: Pk = 5 %Gas, Sus = 7 %Gas.\\par ", 0},
        {"V2Lel", Barhole('2', 3, 44, 'L', 64, 'L').Bytes(),
         "\\par %X Barhole 3: Pk = 4 %LEL, Sus = 6 %LEL.\\par ", 0},
        {"V2LengthNineteenNoGps", Barhole('2', 3, 45, 'G', 65, 'G').Bytes({0, 0, 0, 0}).Bytes(),
         "\\par %X Barhole 3: Pk = 5 %Gas, Sus = 7 %Gas.\\par ", 0},
        {"V2Gps", Barhole('2', 3, 45, 'G', 65, 'G').Bytes({0, 0, 0}).Gps(kFix).Bytes(),
         "\\par %X Barhole 3: Pk = 5 %Gas, Sus = 7 %Gas" + kGpsLine + kFixText + ".\\par ", 0},
        // versions 3 and 4 without the graph
        {"V3NoGps", Barhole('3', 9, 150, 'G', 60, 'G').Bytes({0, 0, 0}).Bytes(Samples()).Bytes(),
         "\\par %X Barhole 9: Pk = 15 %Gas, Sus = 6 %Gas\\par \\par ", 0},
        {"V3Gps",
         Barhole('3', 9, 150, 'G', 60, 'L').Bytes({0, 0, 0}).Bytes(Samples()).Gps(kFix).Bytes(),
         "\\par %X Barhole 9: Pk = 15 %Gas, Sus = 6 %LEL\\par GPS " + kFixText + ".\\par ", 0},
        {"V4Gps",
         Barhole('4', 9, 150, 'L', 60, 'G').Bytes({0, 0, 0}).Bytes(Samples()).Gps(kFix).Bytes(),
         "\\par %X Barhole 9: Pk = 15 %LEL, Sus = 6 %Gas\\par GPS " + kFixText + ".\\par ", 0},
        // other versions
        {"V6", Barhole('6', 3, 45, 'G', 60, 'G').Bytes(),
         "\\par %X Barhole - new log format.\\par ", 1},
        {"V0", Barhole('0', 3, 45, 'G', 60, 'G').Bytes(),
         "\\par %X Barhole - new log format.\\par ", 1},
        // GPS average
        {"GpsAverage",
         R::Stamped('G', '1', kStamp)
             .Bytes({0, 255, 1, 2, 3, 4, 10, 20, 100, 200, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14})
             .Bytes(),
         "\\par %X GPS Average : \\par     0   255 \\par     1     2 \\par     3     4 \\par "
         "   10    20 \\par   100   200 \\par     5     6 \\par     7     8 \\par     9    10 "
         "\\par "
         "   11    12 \\par    13    14 \\par .\\par ",
         0},
        {"GpsAverageV2", R::Stamped('G', '2', kStamp).Bytes(std::vector<uint8_t>(20, 1)).Bytes(),
         "\\par %X GPS Average : \\par - new log format.\\par ", 1},
        // pipeline gas test
        {"PipelineGas", R::Stamped('P', '1', kStamp).Byte('G').S16(50).Bytes(),
         "\\par %X Gas Test.   5.0% GAS. Pipeline gas.\\par ", 0},
        {"PipelineLel", R::Stamped('P', '1', kStamp).Byte('L').S16(51).Bytes(),
         "\\par %X Gas Test.   5% LEL. Pipeline gas.\\par ", 0},
        {"PipelineNotGas", R::Stamped('P', '1', kStamp).Byte('g').S16(7).Bytes(),
         "\\par %X Gas Test.   0.7% GAS. NOT Pipeline gas.\\par ", 0},
        {"PipelineNotLel", R::Stamped('P', '1', kStamp).Byte('l').S16(1000).Bytes(),
         "\\par %X Gas Test. 100% LEL. NOT Pipeline gas.\\par ", 0},
        {"PipelineV1X", R::Stamped('P', '1', kStamp).Byte('X').S16(50).Bytes(),
         "\\par %X Gas Test.   5.0", 0},
        {"PipelineV1Unknown", R::Stamped('P', '1', kStamp).Byte('?').S16(64).Bytes(),
         "\\par %X Gas Test.   6", 0},
        {"PipelineV2Gas", R::Stamped('P', '2', kStamp).Byte('G').S16(-3).Bytes(),
         "\\par %X Gas Test.   0.0% GAS. Pipeline gas.\\par ", 0},
        {"PipelineV2Lel", R::Stamped('P', '2', kStamp).Byte('L').S16(9999).Bytes(),
         "\\par %X Gas Test. 1000% LEL. Pipeline gas.\\par ", 0},
        {"PipelineV2NotGas", R::Stamped('P', '2', kStamp).Byte('g').S16(55).Bytes(),
         "\\par %X Gas Test.   6% GAS. NOT Pipeline gas.\\par ", 0},
        {"PipelineV2NotLel", R::Stamped('P', '2', kStamp).Byte('l').S16(0).Bytes(),
         "\\par %X Gas Test.   0.0% LEL. NOT Pipeline gas.\\par ", 0},
        {"PipelineV2X", R::Stamped('P', '2', kStamp).Byte('X').S16(50).Bytes(),
         "\\par %X Gas Test.   5.0% GAS. No Determination.\\par ", 0},
        {"PipelineV3", R::Stamped('P', '3', kStamp).Byte('G').S16(50).Bytes(),
         "\\par %X Pipeline Gas Test- new log format.\\par ", 1},
    };
}

class BarholeRecordTest : public ReportTest, public ::testing::WithParamInterface<BarholeCase> {};

TEST_P(BarholeRecordTest, ExactText) {
    const BarholeCase& c = GetParam();
    state.HeaderCountdown = 3;
    EXPECT_EQ(Render(c.record), T(c.expected));
    EXPECT_EQ(state.UnrecognisedLogFlag, c.unrecognised);
    EXPECT_EQ(state.HeaderCountdown, 0);
}

TEST_P(BarholeRecordTest, NextRecordStillDecoded) {
    std::vector<uint8_t> stream = GetParam().record;
    RecordBuilder::Stamped('Y', '1', kStamp).AppendTo(stream);
    EXPECT_EQ(Render(stream), T(GetParam().expected + "\\par %X Switch off.\\par "));
}

INSTANTIATE_TEST_SUITE_P(Records, BarholeRecordTest, ::testing::ValuesIn(BarholeCases()),
                         [](const ::testing::TestParamInfo<BarholeCase>& info) {
                             return info.param.name;
                         });

TEST_F(ReportTest, BarholeHeadingIsTwentyOneCharacters) {
    const std::string text = Render(Barhole('1', 3, 45, 'G', 60, 'G'));
    EXPECT_EQ(text.substr(0, 21), T("\\par %X Barhole"));
    EXPECT_EQ(text[21], ' ');
}

// Profile: each sample shifted by k and divided by D, one value per line.
struct ProfileCase {
    const char* name;
    char version;
    int16_t peak;
    char unit;
    std::vector<const char*> values; // for the samples 10, 20, ... 150
};

class BarholeProfileTest : public ReportTest, public ::testing::WithParamInterface<ProfileCase> {};

TEST_P(BarholeProfileTest, ValuesWithGraph) {
    const ProfileCase& c = GetParam();
    state.ShowBarholeGraph = 1;
    const auto record =
        Barhole(c.version, 1, c.peak, c.unit, 0, 'G').Bytes({0, 0, 0}).Bytes(Samples()).Byte(0xFF);
    std::string expected = "\\par %X Barhole 1: Pk = ";
    expected += std::to_string((c.peak < 0 ? 0 : c.peak + 5) / 10);
    expected += c.unit == 'G' ? " %Gas, Sus = 0 %Gas\\par " : " %LEL, Sus = 0 %Gas\\par ";
    for (const char* value : c.values) {
        expected += std::string(value) + "\\par ";
    }
    expected += "\\par ";
    EXPECT_EQ(Render(record), T(expected));
}

TEST_P(BarholeProfileTest, NothingWithoutGraph) {
    const ProfileCase& c = GetParam();
    state.ShowBarholeGraph = 0;
    const std::string text =
        Render(Barhole(c.version, 1, c.peak, c.unit, 0, 'G').Bytes({0, 0, 0}).Bytes(Samples()));
    EXPECT_EQ(text.substr(text.size() - 10), "\\par \\par ");
    EXPECT_EQ(text.find("0.4"), std::string::npos);
}

const std::vector<const char*> kV3Shift2 = {"0.4", "0.8", "1.2", "1.6", "2.0", "2.4", "2.8", "3.2",
                                            "3.6", "4.0", "4.4", "4.8", "5.2", "5.6", "6.0"};
const std::vector<const char*> kV3Shift3 = {"0.8", "1.6", "2.4",  "3.2",  "4.0",
                                            "4.8", "5.6", "6.4",  "7.2",  "8.0",
                                            "8.8", "9.6", "10.4", "11.2", "12.0"};
const std::vector<const char*> kV3Shift4 = {"1.6",  "3.2",  "4.8",  "6.4",  "8.0",
                                            "9.6",  "11.2", "12.8", "14.4", "16.0",
                                            "17.6", "19.2", "20.8", "22.4", "24.0"};
const std::vector<const char*> kV3Shift6 = {"6.4",  "12.8", "19.2", "25.6", "32.0",
                                            "38.4", "44.8", "51.2", "57.6", "64.0",
                                            "70.4", "76.8", "83.2", "89.6", "96.0"};
const std::vector<const char*> kV4Shift0 = {"1.0",  "2.0",  "3.0",  "4.0",  "5.0",
                                            "6.0",  "7.0",  "8.0",  "9.0",  "10.0",
                                            "11.0", "12.0", "13.0", "14.0", "15.0"};
const std::vector<const char*> kV4Shift1 = {"2.0",  "4.0",  "6.0",  "8.0",  "10.0",
                                            "12.0", "14.0", "16.0", "18.0", "20.0",
                                            "22.0", "24.0", "26.0", "28.0", "30.0"};
const std::vector<const char*> kV4Shift2 = {"4.0",  "8.0",  "12.0", "16.0", "20.0",
                                            "24.0", "28.0", "32.0", "36.0", "40.0",
                                            "44.0", "48.0", "52.0", "56.0", "60.0"};

INSTANTIATE_TEST_SUITE_P(Shifts, BarholeProfileTest,
                         ::testing::Values(ProfileCase{"V3Lel", '3', 900, 'L', kV3Shift2},
                                           ProfileCase{"V3Gas99", '3', 99, 'G', kV3Shift2},
                                           ProfileCase{"V3GasNegative", '3', -50, 'G', kV3Shift2},
                                           ProfileCase{"V3Gas100", '3', 100, 'G', kV3Shift3},
                                           ProfileCase{"V3Gas199", '3', 199, 'G', kV3Shift3},
                                           ProfileCase{"V3Gas200", '3', 200, 'G', kV3Shift4},
                                           ProfileCase{"V3Gas399", '3', 399, 'G', kV3Shift4},
                                           ProfileCase{"V3Gas400", '3', 400, 'G', kV3Shift6},
                                           ProfileCase{"V4Lel", '4', 900, 'L', kV4Shift0},
                                           ProfileCase{"V4Gas249", '4', 249, 'G', kV4Shift0},
                                           ProfileCase{"V4Gas250", '4', 250, 'G', kV4Shift1},
                                           ProfileCase{"V4Gas499", '4', 499, 'G', kV4Shift1},
                                           ProfileCase{"V4Gas500", '4', 500, 'G', kV4Shift2}),
                         [](const ::testing::TestParamInfo<ProfileCase>& info) {
                             return info.param.name;
                         });

TEST_F(ReportTest, ProfileExampleFromSample10) {
    state.ShowBarholeGraph = 1;
    std::vector<uint8_t> samples(15, 0);
    samples[0] = 10;
    const std::string text =
        Render(Barhole('3', 1, 150, 'G', 0, 'G').Bytes({0, 0, 0}).Bytes(samples));
    EXPECT_NE(text.find("\\par 0.8\\par 0.0\\par "), std::string::npos) << text;
}

TEST_F(ReportTest, ProfileLargestSample) {
    state.ShowBarholeGraph = 1;
    std::vector<uint8_t> samples(15, 255);
    const std::string text =
        Render(Barhole('3', 1, 500, 'G', 0, 'G').Bytes({0, 0, 0}).Bytes(samples));
    // 255 << 6 is 16320, divided by 100.
    EXPECT_NE(text.find("\\par 163.2\\par "), std::string::npos) << text;
}

} // namespace
