#include "SessionFixture.h"

namespace {

using R = RecordBuilder;

// Records cut short by their length byte: the payload fields that lie past the record's end read
// as 0, never as the bytes of the record that follows. The following record here is a free text
// whose bytes ('<', 28, 'T', 'Z'...) would show up in every field that read too far.
const std::string kNextText(24, 'Z');

const std::string kEmptyHeading = "\\par              \\par ";
const std::string kNoHemisphereFix = "Q:0 S 00 00.0000   W 000 00.0000";
const std::string kNorthFive = "Q:0 N 00 05.0000   W 000 00.0000";

std::string Heading(const char* name) {
    return "\\par                " + std::string(name) + "  \\par ";
}

struct ShortCase {
    const char* name;
    std::vector<uint8_t> record;
    std::string expected;
};

std::vector<ShortCase> ShortCases() {
    std::string profile = "0.8\\par 1.6\\par ";
    for (int i = 0; i < 13; ++i) {
        profile += "0.0\\par ";
    }
    std::string pairs = "    1     2 \\par ";
    for (int i = 0; i < 9; ++i) {
        pairs += "    0     0 \\par ";
    }
    std::string zeros;
    for (int i = 0; i < 4; ++i) {
        zeros += "   0    ";
    }
    return {
        {"SwitchOnWithoutModeCode", R::Stamped('O', '1', kStamp).Bytes(),
         "\\par %X Switch ON in  mode.\\par "},
        {"ModeChangeWithoutCode", R::Stamped('D', '1', kStamp).Bytes(),
         "\\par %X Mode change to .\\par "},
        {"ModeChangeWithoutNumber", R::Stamped('D', '2', kStamp).Bytes(),
         "\\par %X Mode change to mode 0.\\par "},
        {"SurveyGpsBlockCut", R::Stamped('W', '1', kStamp).S16(7).Byte(0x03).Byte(0x05).Bytes(),
         "\\par %X Survey:     7 PPM at " + kNorthFive + "\\par "},
        {"SurveyV3GpsBlockCut", R::Stamped('W', '3', kStamp).S16(7).Byte(0x01).Bytes(),
         "\\par %X Survey:     7 PPM at " + kNoHemisphereFix + "\\par "},
        {"AlarmWithoutGasCode", R::Stamped('A', '1', kStamp).Bytes(),
         kEmptyHeading + "{\\cf5 \\highlight6 %X} A        New LEL  alarm.\\par "},
        {"AlarmGpsBlockCut",
         R::Stamped('A', '2', kStamp).Byte(0).Reading(0, 25).Byte(0xFF).Byte(0x01).Byte(0).Bytes(),
         Heading("LEL ") + "{\\cf5 \\highlight6 %X} A     2.5    " + kNoHemisphereFix +
             "    New LEL  alarm.\\par "},
        {"ManualPlaceCut", R::Stamped('M', '2', kStamp).Byte(3).Bytes(),
         kEmptyHeading + "%X M    Cavity Wall / No Position\\par "},
        {"TimedExtrasCut",
         R::Stamped('L', '4', kStamp).Byte('1').Reading(4, 30).Byte(0xFF).S16(100).Bytes(),
         Heading("CO  ") + "%X T    " + "  30    " + " 100    " + zeros + " Methane\\par "},
        {"BarholeGpsBlockCut",
         R::Barhole('1', kStamp, 3, 45, 'G', 60, 'G').Byte(0).Byte(0x03).Byte(0x05).Bytes(),
         "\\par %X Barhole 3: Pk = 4.5 %Gas, Sus = 6 %Gas.\\par                     GPS " +
             kNorthFive + ".\\par "},
        {"BarholeProfileCut",
         R::Barhole('3', kStamp, 3, 150, 'G', 60, 'G').Bytes({0, 0, 0, 10, 20}).Bytes(),
         "\\par %X Barhole 3: Pk = 15 %Gas, Sus = 6 %Gas\\par " + profile + "\\par "},
        {"GpsAveragePairsCut", R::Stamped('G', '1', kStamp).Byte(1).Byte(2).Bytes(),
         "\\par %X GPS Average : \\par " + pairs + ".\\par "},
        {"PipelineReadingCut", R::Stamped('P', '1', kStamp).Byte('G').Bytes(),
         "\\par %X Gas Test.   0.0% GAS. Pipeline gas.\\par "},
    };
}

void PrintTo(const ShortCase& c, std::ostream* os) {
    *os << c.name;
}

class ShortRecordTest : public ReportTest, public ::testing::WithParamInterface<ShortCase> {};

TEST_P(ShortRecordTest, FieldsPastTheEndReadZero) {
    const ShortCase& c = GetParam();
    state.ShowBarholeGraph = 1;
    const auto stream = Join({c.record, RecordBuilder::FreeText(kNextText).Bytes()});
    EXPECT_EQ(Render(stream), T(c.expected) + kNextText);
    EXPECT_EQ(state.UnrecognisedLogFlag, 0);
}

INSTANTIATE_TEST_SUITE_P(Records, ShortRecordTest, ::testing::ValuesIn(ShortCases()),
                         [](const ::testing::TestParamInfo<ShortCase>& info) {
                             return info.param.name;
                         });

// A record whose text passes the 1,000-character line is cut, and the cut never leaves half a
// control word for the next record's text to complete.
TEST_F(ReportTest, CutRecordTextLeavesNextTextIntact) {
    const std::string co = "  0..1000 PPM CO         PASS  ";
    R calibration = R::Stamped('C', '2', kStamp);
    std::string full = "\\par %X Calibration\\par ";
    for (int i = 0; i < 40; ++i) {
        // The first seven entries are one character wider, which puts the cut right after the
        // backslash of a paragraph mark.
        const int16_t first = i < 7 ? 10000 : 0;
        calibration.SensorResult(4, 1, first, 0);
        full += co + (i < 7 ? "10000" : "   0") + "     0\\par ";
    }
    full = T(full);
    ASSERT_EQ(full.substr(998, 5), "\\par ");

    const auto stream = Join({calibration.Bytes(), R::FreeText("{x}").Bytes()});
    // The paragraph mark's backslash is taken back and nothing more is added to the record.
    EXPECT_EQ(Render(stream), full.substr(0, 998) + "\\{x\\}");
}

} // namespace
