#include "SessionFixture.h"

namespace {

using R = RecordBuilder;

const std::string kLel = "  0..100 % LEL           ";
const std::string kCo = "  0..1000 PPM CO         ";
const std::string kO2 = "  0..25 % O2             ";
const std::string kGas5 = "  0..5 % GAS             ";
const std::string kSensor20 = "  Sensor 20              ";
const std::string kCal = "\\par %X Calibration\\par ";
const std::string kZero = "\\par %X Zero\\par ";
const std::string kBump = "\\par %X Bump Test\\par ";
const std::string kFieldCal = "\\par %X Field Cal\\par ";
const std::string kNewFormat = "- new log format.\\par ";

struct TestCase {
    const char* name;
    std::vector<uint8_t> record;
    std::string expected;
    int unrecognised;
};

std::vector<TestCase> TestCases() {
    R tenBumps = R::Stamped('B', '1', kStamp);
    std::string nineBumps = kBump;
    for (int i = 0; i < 10; ++i) {
        tenBumps.BumpResult(4, 1, static_cast<int16_t>(i));
        if (i < 9) {
            nineBumps += kCo + "PASS  " + "   " + std::to_string(i) + "\\par ";
        }
    }
    tenBumps.Byte(R::kSensorListEnd);

    return {
        // soundness and filter check
        {"SoundnessFlags07", R::Stamped('S', '1', kStamp).Byte(0x07).Bytes(),
         "\\par %X Soundness test passed.\\par \\par %X Filter Check failed.\\par ", 0},
        {"SoundnessFlags00", R::Stamped('S', '1', kStamp).Byte(0x00).Bytes(), "", 0},
        {"SoundnessFlags03", R::Stamped('S', '1', kStamp).Byte(0x03).Bytes(),
         "\\par %X Soundness test passed.\\par \\par %X Filter Check passed.\\par ", 0},
        {"SoundnessFlags02", R::Stamped('S', '1', kStamp).Byte(0x02).Bytes(),
         "\\par %X Filter Check passed.\\par ", 0},
        {"SoundnessFlags06", R::Stamped('S', '1', kStamp).Byte(0x06).Bytes(),
         "\\par %X Filter Check failed.\\par ", 0},
        {"SoundnessFlags05", R::Stamped('S', '1', kStamp).Byte(0x05).Bytes(),
         "\\par %X Soundness test passed.\\par ", 0},
        {"SoundnessFlagsF8", R::Stamped('S', '1', kStamp).Byte(0xF8).Bytes(), "", 0},
        {"SoundnessV2", R::Stamped('S', '2', kStamp).Byte(0x07).Bytes(),
         "\\par %X Soundness test - new log format.\\par ", 1},
        // calibration
        {"CalibrationV1",
         R::Stamped('C', '1', kStamp).SensorValues(0, 1000, 2000).Byte(0xFF).Bytes(),
         kCal + kLel + " 1000  2000 \\par ", 0},
        {"CalibrationV1Unsigned",
         R::Stamped('C', '1', kStamp)
             .SensorValues(3, 65535, 7)
             .SensorValues(20, 0, 12345)
             .Byte(0xFF)
             .Bytes(),
         kCal + kO2 + "65535     7 \\par " + kSensor20 + "    0 12345 \\par ", 0},
        {"CalibrationV1StopsAtRecordEnd",
         R::Stamped('C', '1', kStamp).SensorValues(4, 1, 2).Byte(4).Byte(9).Bytes(),
         kCal + kCo + "    1     2 \\par ", 0},
        {"CalibrationV1Empty", R::Stamped('C', '1', kStamp).Byte(0xFF).Bytes(), kCal, 0},
        {"CalibrationV2LengthTen", R::Stamped('C', '2', kStamp).Byte(0).Byte(1).Bytes(), kCal, 0},
        {"CalibrationV2",
         R::Stamped('C', '2', kStamp)
             .SensorResult(0, 1, 1000, 5)
             .SensorResult(4, 2, 50, 0)
             .SensorResult(3, 3, 1, 1)
             .SensorResult(7, 0, 255, 9)
             .SensorResult(5, 7, 1, 1)
             .SensorResult(20, 1, 12, -3)
             .Byte(0xFF)
             .Bytes(),
         kCal + kLel + "PASS  " + "100.0   0.5\\par " + kCo + "FAIL  " + "  50     0\\par " +
             kGas5 + "FAIL  " + "25.5   0.9\\par " + kSensor20 + "PASS  " + "  12    -3\\par ",
         0},
        {"CalibrationV3", R::Stamped('C', '3', kStamp).SensorValues(0, 1, 2).Byte(0xFF).Bytes(),
         kCal + kNewFormat, 1},
        // zero
        {"ZeroV2",
         R::Stamped('Z', '2', kStamp)
             .SensorResult(3, 1, 209, 0)
             .SensorResult(4, 0, 0, 3)
             .Byte(0xFF)
             .Bytes(),
         kZero + kO2 + "PASS  " + "20.9   0.0\\par " + kCo + "FAIL  " + "   0     3\\par ", 0},
        {"ZeroV2LengthTen", R::Stamped('Z', '2', kStamp).Byte(0).Byte(1).Bytes(), kZero, 0},
        {"ZeroV1", R::Stamped('Z', '1', kStamp).SensorResult(3, 1, 209, 0).Byte(0xFF).Bytes(),
         kZero + kNewFormat, 1},
        {"ZeroV3", R::Stamped('Z', '3', kStamp).Byte(0xFF).Bytes(), kZero + kNewFormat, 1},
        // bump test
        {"BumpV1",
         R::Stamped('B', '1', kStamp)
             .BumpResult(4, 1, 35)
             .BumpResult(0, 0, 505)
             .BumpResult(3, 3, 1)
             .BumpResult(20, 2, 7)
             .Byte(0xFF)
             .Bytes(),
         kBump + kCo + "PASS  " + "  35\\par " + kLel + "FAIL  " + "50.5\\par " + kSensor20 +
             "FAIL  " + "   7\\par ",
         0},
        {"BumpV2NotTested",
         R::Stamped('B', '2', kStamp).BumpResult(4, 3, 35).BumpResult(0, 1, 9).Byte(0xFF).Bytes(),
         kBump + kCo + "Not Tested\\par " + kLel + "PASS  " + " 0.9\\par ", 0},
        {"BumpV2Flags7Fails", R::Stamped('B', '2', kStamp).BumpResult(4, 7, 35).Byte(0xFF).Bytes(),
         kBump + kCo + "FAIL  " + "  35\\par ", 0},
        {"BumpNineOfTen", tenBumps.Bytes(), nineBumps, 0},
        {"BumpLengthTen", R::Stamped('B', '1', kStamp).Byte(4).Byte(1).Bytes(), kBump, 0},
        {"BumpV3", R::Stamped('B', '3', kStamp).BumpResult(4, 1, 35).Byte(0xFF).Bytes(),
         kBump + kNewFormat, 1},
        // field calibration
        {"FieldCalV1", R::Stamped('F', '1', kStamp).SensorValues(1, 100, 5000).Byte(0xFF).Bytes(),
         kFieldCal + "  0..100 % GAS           " + "  100  5000 \\par ", 0},
        {"FieldCalV2", R::Stamped('F', '2', kStamp).SensorValues(1, 100, 5000).Byte(0xFF).Bytes(),
         kFieldCal + kNewFormat, 1},
    };
}

class TestRecordTest : public ReportTest, public ::testing::WithParamInterface<TestCase> {};

TEST_P(TestRecordTest, ExactText) {
    const TestCase& c = GetParam();
    state.HeaderCountdown = 6;
    EXPECT_EQ(Render(c.record), T(c.expected));
    EXPECT_EQ(state.UnrecognisedLogFlag, c.unrecognised);
    EXPECT_EQ(state.HeaderCountdown, 0);
}

TEST_P(TestRecordTest, NextRecordStillDecoded) {
    std::vector<uint8_t> stream = GetParam().record;
    RecordBuilder::Stamped('Y', '1', kStamp).AppendTo(stream);
    EXPECT_EQ(Render(stream), T(GetParam().expected + "\\par %X Switch off.\\par "));
}

INSTANTIATE_TEST_SUITE_P(Records, TestRecordTest, ::testing::ValuesIn(TestCases()),
                         [](const ::testing::TestParamInfo<TestCase>& info) {
                             return info.param.name;
                         });

std::vector<uint8_t> AllTests() {
    return Join({R::Stamped('C', '1', kStamp).SensorValues(0, 1000, 2000).Byte(0xFF).Bytes(),
                 R::Stamped('Z', '2', kStamp).SensorResult(3, 1, 209, 0).Byte(0xFF).Bytes(),
                 R::Stamped('F', '1', kStamp).SensorValues(1, 100, 5000).Byte(0xFF).Bytes(),
                 R::Stamped('B', '1', kStamp).BumpResult(4, 1, 35).Byte(0xFF).Bytes(),
                 R::Stamped('S', '1', kStamp).Byte(0x01).Bytes()});
}

const std::string kCalText = kCal + kLel + " 1000  2000 \\par ";
const std::string kZeroText = kZero + kO2 + "PASS  " + "20.9   0.0\\par ";
const std::string kFieldCalText = kFieldCal + "  0..100 % GAS           " + "  100  5000 \\par ";
const std::string kBumpText = kBump + kCo + "PASS  " + "  35\\par ";
const std::string kSoundText = "\\par %X Soundness test passed.\\par ";

TEST_F(ReportTest, AllTestRecordsShownByDefault) {
    EXPECT_EQ(Render(AllTests()), T(kCalText + kZeroText + kFieldCalText + kBumpText + kSoundText));
}

TEST_F(ReportTest, CalibrationFilterHidesCalibrationZeroAndFieldCal) {
    state.ShowCalibrationLogs = 0;
    EXPECT_EQ(Render(AllTests()), T(kBumpText + kSoundText));
}

TEST_F(ReportTest, BumpFilterHidesBumpTests) {
    state.ShowBumpLogs = 0;
    EXPECT_EQ(Render(AllTests()), T(kCalText + kZeroText + kFieldCalText + kSoundText));
}

TEST_F(ReportTest, HiddenTestRecordsLeaveHeaderCountdown) {
    state.ShowCalibrationLogs = 0;
    state.ShowBumpLogs = 0;
    state.HeaderCountdown = 5;
    const auto stream =
        Join({R::Stamped('C', '1', kStamp).SensorValues(0, 1, 2).Byte(0xFF).Bytes(),
              R::Stamped('B', '2', kStamp).BumpResult(4, 1, 35).Byte(0xFF).Bytes()});
    EXPECT_EQ(Render(stream), "");
    EXPECT_EQ(state.HeaderCountdown, 5);
    EXPECT_EQ(state.UnrecognisedLogFlag, 0);
}

TEST_F(ReportTest, HiddenUnknownVersionStillFlagsTheSession) {
    state.ShowCalibrationLogs = 0;
    state.ShowBumpLogs = 0;
    const auto stream = Join({R::Stamped('Z', '1', kStamp).Byte(0xFF).Bytes(),
                              R::Stamped('B', '9', kStamp).Byte(0xFF).Bytes(),
                              R::Stamped('Y', '1', kStamp).Bytes()});
    EXPECT_EQ(Render(stream), T("\\par %X Switch off.\\par "));
    EXPECT_EQ(state.UnrecognisedLogFlag, 1);
}

} // namespace
