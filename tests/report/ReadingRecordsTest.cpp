#include "SessionFixture.h"

namespace {

using R = RecordBuilder;

const GpsFix kFix = GpsFix::At(true, 5130, 1234, false, 123, 4567, 2);
const std::string kFixText = "Q:2 N 51 30.1234   W 001 23.4567";
const std::string kNoFixText = "Q:0 No GPS Fix   ";

std::string Heading(std::initializer_list<const char*> names) {
    std::string text = "\\par              ";
    for (const char* name : names) {
        text += std::string("  ") + name + "  ";
    }
    return text + "\\par ";
}

const std::string kAlarmMark = "{\\cf5 \\highlight6 %X} A    ";

// LEL 2.5 % and CO 30 ppm: the two columns of most cases below.
R LelCo(R record) {
    return std::move(record.Reading(0, 25).Reading(4, 30));
}
const std::string kLelCoHeading = Heading({"LEL ", "CO  "});
const std::string kLelCoValues = " 2.5      30    ";

struct ReadingCase {
    const char* name;
    std::vector<uint8_t> record;
    std::string expected;
    int unrecognised;
};

std::vector<ReadingCase> ReadingCases() {
    return {
        // survey
        {"SurveyV1NoRoomForGps", R::Stamped('W', '1', kStamp).S16(123).Byte(0).Bytes(),
         "\\par %X Survey:   123 PPM at \\par ", 0},
        {"SurveyV1Gps", R::Stamped('W', '1', kStamp).S16(123).Gps(kFix).Bytes(),
         "\\par %X Survey:   123 PPM at " + kFixText + "\\par ", 0},
        {"SurveyV2Gps", R::Stamped('W', '2', kStamp).S16(-5).Gps(kFix).Bytes(),
         "\\par %X Survey:    -5 PPM at " + kFixText + "\\par ", 0},
        {"SurveyV2NoGps", R::Stamped('W', '2', kStamp).S16(32767).Bytes(),
         "\\par %X Survey: 32767 PPM at \\par ", 0},
        {"SurveyV3NoBlock", R::Stamped('W', '3', kStamp).S16(7).Byte(0xFE).Bytes(),
         "\\par %X Survey:     7 PPM at \\par ", 0},
        {"SurveyV3ZeroBlock", R::Stamped('W', '3', kStamp).S16(7).Byte(0xFF).Bytes(),
         "\\par %X Survey:     7 PPM at " + kNoFixText + "\\par ", 0},
        {"SurveyV3Block", R::Stamped('W', '3', kStamp).S16(7).Gps(kFix).Bytes(),
         "\\par %X Survey:     7 PPM at " + kFixText + "\\par ", 0},
        {"SurveyV4", R::Stamped('W', '4', kStamp).S16(7).Bytes(),
         "\\par %X Survey:  - new log format.\\par ", 1},
        // alarm
        {"AlarmV1", LelCo(R::Stamped('A', '1', kStamp).Byte(0)).Byte(0xFE).Bytes(),
         kLelCoHeading + kAlarmMark + kLelCoValues + "    New LEL  alarm.\\par ", 0},
        {"AlarmV1GasCodeHighBit", LelCo(R::Stamped('A', '1', kStamp).Byte(0x81)).Byte(0xFF).Bytes(),
         kLelCoHeading + kAlarmMark + kLelCoValues + "    New GAS  alarm.\\par ", 0},
        {"AlarmV1GasCodeOutOfTable",
         LelCo(R::Stamped('A', '1', kStamp).Byte(0x20)).Byte(0xFE).Bytes(),
         kLelCoHeading + kAlarmMark + kLelCoValues + "    New  alarm.\\par ", 0},
        {"AlarmV1KeepsDuplicateGas",
         R::Stamped('A', '1', kStamp).Byte(1).Reading(1, 10).Reading(1, 20).Byte(0xFE).Bytes(),
         Heading({"GAS ", "GAS "}) + kAlarmMark +
             " 1.0    "
             " 2.0    "
             "    New GAS  alarm.\\par ",
         0},
        {"AlarmV2Gps", LelCo(R::Stamped('A', '2', kStamp).Byte(4)).Byte(0xFF).Gps(kFix).Bytes(),
         kLelCoHeading + kAlarmMark + kLelCoValues + kFixText + "    New CO   alarm.\\par ", 0},
        {"AlarmV2MarkerWithoutRoom", LelCo(R::Stamped('A', '2', kStamp).Byte(4)).Byte(0xFF).Bytes(),
         kLelCoHeading + kAlarmMark + kLelCoValues + kNoFixText + "    New CO   alarm.\\par ", 0},
        {"AlarmV2NoGps", LelCo(R::Stamped('A', '2', kStamp).Byte(4)).Byte(0xFE).Bytes(),
         kLelCoHeading + kAlarmMark + kLelCoValues + "    New CO   alarm.\\par ", 0},
        {"AlarmV3", LelCo(R::Stamped('A', '3', kStamp).Byte(4)).Byte(0xFE).Bytes(),
         "\\par %X Alarm log - new log format.\\par ", 1},
        // manual
        {"ManualV1", LelCo(R::Stamped('M', '1', kStamp)).Byte(0xFE).Bytes(),
         kLelCoHeading + "%X M    " + kLelCoValues + "\\par ", 0},
        {"ManualV1RoomForGps", LelCo(R::Stamped('M', '1', kStamp)).Byte(0xFE).Gps(kFix).Bytes(),
         kLelCoHeading + "%X M    " + kLelCoValues + kFixText + "\\par ", 0},
        {"ManualV1RoomForTwoBytes",
         LelCo(R::Stamped('M', '1', kStamp)).Byte(0xFE).Byte(0).Byte(0).Bytes(),
         kLelCoHeading + "%X M    " + kLelCoValues + kNoFixText + "\\par ", 0},
        {"ManualV1NoRoomForGps", LelCo(R::Stamped('M', '1', kStamp)).Byte(0xFE).Byte(0x03).Bytes(),
         kLelCoHeading + "%X M    " + kLelCoValues + "\\par ", 0},
        {"ManualV1SkipsDuplicateGas",
         R::Stamped('M', '1', kStamp)
             .Reading(1, 10)
             .Reading(1, 20)
             .Reading(4, 3)
             .Byte(0xFE)
             .Bytes(),
         Heading({"GAS ", "CO  "}) + "%X M     2.0       3    \\par ", 0},
        {"ManualV1DuplicateNeedsExactCode",
         R::Stamped('M', '1', kStamp).Reading(0x81, 10).Reading(1, 20).Byte(0xFE).Bytes(),
         Heading({"GAS ", "GAS "}) + "%X M    "
                                     " 1.0    "
                                     " 2.0    "
                                     "\\par ",
         0},
        {"ManualV2LocationPosition",
         LelCo(R::Stamped('M', '2', kStamp).Byte(1).Byte(4).Byte(0)).Byte(0xFE).Bytes(),
         kLelCoHeading + "%X M    " + kLelCoValues + "At Service Entry / Skirting Board\\par ", 0},
        {"ManualV2RoomPoint",
         LelCo(R::Stamped('M', '2', kStamp).Byte(3).Byte(1).Byte(1)).Byte(0xFE).Bytes(),
         kLelCoHeading + "%X M    " + kLelCoValues + "Kitchen / Gas pipe\\par ", 0},
        {"ManualV2LastEntries",
         LelCo(R::Stamped('M', '2', kStamp).Byte(13).Byte(13).Byte(1)).Byte(0xFE).Bytes(),
         kLelCoHeading + "%X M    " + kLelCoValues + "Other / Other\\par ", 0},
        {"ManualV2IndexBeyondTable",
         LelCo(R::Stamped('M', '2', kStamp).Byte(7).Byte(5).Byte(0)).Byte(0xFE).Bytes(),
         kLelCoHeading + "%X M    " + kLelCoValues + "?7 / ?5\\par ", 0},
        {"ManualV2RoomBeyondTable",
         LelCo(R::Stamped('M', '2', kStamp).Byte(14).Byte(200).Byte(1)).Byte(0xFE).Bytes(),
         kLelCoHeading + "%X M    " + kLelCoValues + "?14 / ?200\\par ", 0},
        {"ManualV2NeedNewTable",
         LelCo(R::Stamped('M', '2', kStamp).Byte(3).Byte(1).Byte(2)).Byte(0xFE).Bytes(),
         kLelCoHeading + "%X M    " + kLelCoValues + "Need new table\\par ", 0},
        {"ManualV2GpsThenPlace",
         LelCo(R::Stamped('M', '2', kStamp).Byte(0).Byte(0).Byte(0)).Byte(0xFF).Gps(kFix).Bytes(),
         kLelCoHeading + "%X M    " + kLelCoValues + kFixText + "No Location / No Position\\par ",
         0},
        {"ManualV3Methane", LelCo(R::Stamped('M', '3', kStamp).Byte('1')).Byte(0xFE).Bytes(),
         kLelCoHeading + "%X M    " + kLelCoValues + " Methane\\par ", 0},
        {"ManualV3NatGasGps",
         LelCo(R::Stamped('M', '3', kStamp).Byte('2')).Byte(0xFE).Gps(kFix).Bytes(),
         kLelCoHeading + "%X M    " + kLelCoValues + kFixText + " Nat Gas\\par ", 0},
        {"ManualV3OtherGasType", LelCo(R::Stamped('M', '3', kStamp).Byte('3')).Byte(0xFE).Bytes(),
         kLelCoHeading + "%X M    " + kLelCoValues + "\\par ", 0},
        {"ManualV4Marker",
         LelCo(R::Stamped('M', '4', kStamp).Byte('1')).Byte(0xFF).Gps(kFix).Bytes(),
         kLelCoHeading + "%X M    " + kLelCoValues + kFixText + " Methane\\par ", 0},
        {"ManualV4MarkerZeroBlock",
         LelCo(R::Stamped('M', '4', kStamp).Byte('2')).Byte(0xFF).Bytes(),
         kLelCoHeading + "%X M    " + kLelCoValues + kNoFixText + " Nat Gas\\par ", 0},
        {"ManualV4NoMarker",
         LelCo(R::Stamped('M', '4', kStamp).Byte('1')).Byte(0xFE).Gps(kFix).Bytes(),
         kLelCoHeading + "%X M    " + kLelCoValues + " Methane\\par ", 0},
        {"ManualV5", LelCo(R::Stamped('M', '5', kStamp).Byte('1')).Byte(0xFE).Bytes(),
         "\\par %X Manual log - new log format.\\par ", 1},
        // timed
        {"TimedV1", LelCo(R::Stamped('L', '1', kStamp)).Byte(0xFF).Gps(kFix).Bytes(),
         kLelCoHeading + "%X T    " + kLelCoValues + "\\par ", 0},
        {"TimedV1SkipsDuplicateGas",
         R::Stamped('L', '1', kStamp).Reading(1, 10).Reading(1, 20).Byte(0xFE).Bytes(),
         Heading({"GAS "}) + "%X T     2.0    \\par ", 0},
        {"TimedV2Marker", LelCo(R::Stamped('L', '2', kStamp)).Byte(0xFF).Gps(kFix).Bytes(),
         kLelCoHeading + "%X T    " + kLelCoValues + kFixText + "\\par ", 0},
        {"TimedV2MarkerZeroBlock", LelCo(R::Stamped('L', '2', kStamp)).Byte(0xFF).Bytes(),
         kLelCoHeading + "%X T    " + kLelCoValues + kNoFixText + "\\par ", 0},
        {"TimedV2KeepsDuplicateGas",
         R::Stamped('L', '2', kStamp).Reading(1, 10).Reading(1, 20).Byte(0xFE).Bytes(),
         Heading({"GAS ", "GAS "}) + "%X T    "
                                     " 1.0    "
                                     " 2.0    "
                                     "\\par ",
         0},
        {"TimedV3", LelCo(R::Stamped('L', '3', kStamp).Byte('2')).Byte(0xFF).Gps(kFix).Bytes(),
         kLelCoHeading + "%X T    " + kLelCoValues + kFixText + " Nat Gas\\par ", 0},
        {"TimedV3SkipsDuplicateGas",
         R::Stamped('L', '3', kStamp).Byte('1').Reading(1, 10).Reading(1, 20).Byte(0xFE).Bytes(),
         Heading({"GAS "}) + "%X T     2.0     Methane\\par ", 0},
        {"TimedV4Extras",
         LelCo(R::Stamped('L', '4', kStamp).Byte('1'))
             .Byte(0xFF)
             .S16(100)
             .S16(-2)
             .S16(10000)
             .S16(0)
             .S16(9999)
             .Bytes(),
         kLelCoHeading + "%X T    " + kLelCoValues +
             " 100    "
             "   0    "
             "EEEE    "
             "   0    "
             "9999    "
             " Methane\\par ",
         0},
        {"TimedV4NoExtras", LelCo(R::Stamped('L', '4', kStamp).Byte('2')).Byte(0xFE).Bytes(),
         kLelCoHeading + "%X T    " + kLelCoValues + " Nat Gas\\par ", 0},
        {"TimedV4SkipsDuplicateGas",
         R::Stamped('L', '4', kStamp).Byte('0').Reading(1, 10).Reading(1, 20).Byte(0xFE).Bytes(),
         Heading({"GAS "}) + "%X T     2.0    \\par ", 0},
        {"TimedV0", LelCo(R::Stamped('L', '0', kStamp)).Byte(0xFE).Bytes(),
         "\\par %X Timed log - new log format.\\par ", 1},
        // list shapes
        {"EmptyList", R::Stamped('L', '1', kStamp).Byte(0xFF).Bytes(),
         "\\par              \\par %X T    \\par ", 0},
        {"ListWithoutTerminator", LelCo(R::Stamped('L', '2', kStamp)).Bytes(),
         kLelCoHeading + "%X T    " + kLelCoValues + "\\par ", 0},
    };
}

class ReadingRecordTest : public ReportTest, public ::testing::WithParamInterface<ReadingCase> {};

TEST_P(ReadingRecordTest, ExactText) {
    const ReadingCase& c = GetParam();
    EXPECT_EQ(Render(c.record), T(c.expected));
    EXPECT_EQ(state.UnrecognisedLogFlag, c.unrecognised);
}

TEST_P(ReadingRecordTest, NextRecordStillDecoded) {
    std::vector<uint8_t> stream = GetParam().record;
    RecordBuilder::Stamped('Y', '1', kStamp).AppendTo(stream);
    EXPECT_EQ(Render(stream), T(GetParam().expected + "\\par %X Switch off.\\par "));
}

INSTANTIATE_TEST_SUITE_P(Records, ReadingRecordTest, ::testing::ValuesIn(ReadingCases()),
                         [](const ::testing::TestParamInfo<ReadingCase>& info) {
                             return info.param.name;
                         });

std::vector<uint8_t> Timed(int16_t lel = 25) {
    return R::Stamped('L', '1', kStamp).Reading(0, lel).Reading(4, 30).Byte(0xFE).Bytes();
}
const std::string kTimedLine = "%X T    " + kLelCoValues + "\\par ";

TEST_F(ReportTest, HeadingAboveFirstAndEleventhLineOfARun) {
    std::vector<uint8_t> stream = R::Stamped('O', '1', kStamp).Chars("GAS", 3).Byte(0).Bytes();
    std::string expected = "\\par %X Switch ON in GAS mode.\\par ";
    for (int line = 1; line <= 21; ++line) {
        stream = Join({stream, Timed()});
        expected += (line == 1 || line == 11 || line == 21 ? kLelCoHeading : "") + kTimedLine;
    }
    EXPECT_EQ(Render(stream), T(expected));
}

TEST_F(ReportTest, HeadingAfterAnotherKindOfRecord) {
    const auto stream =
        Join({Timed(), Timed(), R::Stamped('p', '1', kStamp).Byte('1').Bytes(), Timed()});
    EXPECT_EQ(Render(stream), T(kLelCoHeading + kTimedLine + kTimedLine +
                                "\\par %X Pump ON.\\par " + kLelCoHeading + kTimedLine));
}

TEST_F(ReportTest, HeadingWhenGasesChange) {
    const auto lelOnly = R::Stamped('L', '1', kStamp).Reading(0, 25).Byte(0xFE).Bytes();
    // Only the first character of a name counts: LH2 after LEL keeps the heading away.
    const auto lh2Only = R::Stamped('L', '1', kStamp).Reading(14, 25).Byte(0xFE).Bytes();
    const auto lelO2 =
        R::Stamped('L', '1', kStamp).Reading(0, 25).Reading(3, 209).Byte(0xFE).Bytes();
    // Names of columns beyond a shorter line stay as they were: the second column is still CO
    // when the two-gas line comes back, so it gets no heading.
    const auto stream = Join({Timed(), Timed(), lelOnly, lh2Only, Timed(), lelO2, Timed()});
    EXPECT_EQ(Render(stream), T(kLelCoHeading + kTimedLine + kTimedLine + "%X T     2.5    \\par " +
                                "%X T     2.5    \\par " + kTimedLine + Heading({"LEL ", "O2  "}) +
                                "%X T    "
                                " 2.5    "
                                "20.9    "
                                "\\par " +
                                kLelCoHeading + kTimedLine));
}

TEST_F(ReportTest, SurveyOfEveryVersionBreaksTheHeadingRun) {
    for (char version : {'1', '2', '3', '4'}) {
        state.HeaderCountdown = 5;
        Render(R::Stamped('W', version, kStamp).S16(7).Byte(0xFE));
        EXPECT_EQ(state.HeaderCountdown, 0) << version;
    }
}

TEST_F(ReportTest, ColumnsCarryOverRenderings) {
    Render(Timed());
    EXPECT_EQ(Render(Timed()), T(kTimedLine));
    EXPECT_EQ(state.Columns.Count, 2);
    EXPECT_STREQ(state.Columns.Names[1], "CO  ");
}

TEST_F(ReportTest, UnrecognisedReadingVersionRepeatsHeading) {
    // The countdown stands at 10: the next line brings it round to 0, the one after to 1.
    const auto stream =
        Join({Timed(), Timed(), R::Stamped('M', '7', kStamp).Bytes(), Timed(), Timed()});
    EXPECT_EQ(Render(stream), T(kLelCoHeading + kTimedLine + kTimedLine +
                                "\\par %X Manual log - new log format.\\par " + kTimedLine +
                                kLelCoHeading + kTimedLine));
    EXPECT_EQ(state.HeaderCountdown, 1);
}

TEST_F(ReportTest, FilteredKindsGiveNoTextAndLeaveCountdown) {
    state.ShowAlarmLogs = 0;
    state.ShowManualLogs = 0;
    state.ShowTimedLogs = 0;
    Render(Timed()); // sets the columns
    state.HeaderCountdown = 4;
    const auto stream = Join({Timed(), LelCo(R::Stamped('M', '1', kStamp)).Byte(0xFE).Bytes(),
                              LelCo(R::Stamped('A', '1', kStamp).Byte(0)).Byte(0xFE).Bytes()});
    EXPECT_EQ(Render(stream), "");
    EXPECT_EQ(state.HeaderCountdown, 4);
}

TEST_F(ReportTest, FilteredLineStillResetsCountdownOnGasChange) {
    state.ShowManualLogs = 0;
    state.HeaderCountdown = 4;
    EXPECT_EQ(Render(LelCo(R::Stamped('M', '1', kStamp)).Byte(0xFE)), "");
    EXPECT_EQ(state.HeaderCountdown, 1);
}

TEST_F(ReportTest, EachFilterHidesOnlyItsKind) {
    const auto alarm = LelCo(R::Stamped('A', '1', kStamp).Byte(0)).Byte(0xFE).Bytes();
    const auto manual = LelCo(R::Stamped('M', '1', kStamp)).Byte(0xFE).Bytes();
    const auto stream = Join({alarm, manual, Timed()});
    const std::string alarmLine = kAlarmMark + kLelCoValues + "    New LEL  alarm.\\par ";
    const std::string manualLine = "%X M    " + kLelCoValues + "\\par ";

    // The hidden alarm line takes the new gases, so the manual line after it has no heading.
    state.ShowAlarmLogs = 0;
    EXPECT_EQ(Render(stream), T(manualLine + kTimedLine));
    state = ReportState();
    state.ShowManualLogs = 0;
    EXPECT_EQ(Render(stream), T(kLelCoHeading + alarmLine + kTimedLine));
    state = ReportState();
    state.ShowTimedLogs = 0;
    EXPECT_EQ(Render(stream), T(kLelCoHeading + alarmLine + manualLine));
}

TEST_F(ReportTest, UnrecognisedVersionShownDespiteFilter) {
    state.ShowAlarmLogs = 0;
    state.ShowManualLogs = 0;
    state.ShowTimedLogs = 0;
    const auto stream =
        Join({R::Stamped('A', '5', kStamp).Bytes(), R::Stamped('M', '5', kStamp).Bytes(),
              R::Stamped('L', '5', kStamp).Bytes()});
    EXPECT_EQ(Render(stream), T("\\par %X Alarm log - new log format.\\par "
                                "\\par %X Manual log - new log format.\\par "
                                "\\par %X Timed log - new log format.\\par "));
    EXPECT_EQ(state.HeaderCountdown, 10);
    EXPECT_EQ(state.UnrecognisedLogFlag, 1);
}

TEST_F(ReportTest, MoreThanTenEntriesKeepTenColumns) {
    R record = R::Stamped('L', '2', kStamp);
    for (int i = 0; i < 12; ++i) {
        record.Reading(4, static_cast<int16_t>(i));
    }
    record.Byte(0xFF).Gps(kFix);
    std::string values;
    for (int i = 0; i < 10; ++i) {
        values += "   " + std::to_string(i) + "    ";
    }
    const std::string heading =
        Heading({"CO  ", "CO  ", "CO  ", "CO  ", "CO  ", "CO  ", "CO  ", "CO  ", "CO  ", "CO  "});
    EXPECT_EQ(Render(record), T(heading + "%X T    " + values + kFixText + "\\par "));
    EXPECT_EQ(state.Columns.Count, 10);
}

TEST_F(ReportTest, TenColumnsAndFiveExtrasFillTheValueTexts) {
    R record = R::Stamped('L', '4', kStamp).Byte('1');
    for (int i = 0; i < 11; ++i) {
        record.Reading(2, static_cast<int16_t>(i));
    }
    record.Byte(0xFF).S16(1).S16(2).S16(3).S16(4).S16(5);
    std::string values;
    for (int i = 0; i < 10; ++i) {
        values += "   " + std::to_string(i) + "    ";
    }
    for (int i = 1; i <= 5; ++i) {
        values += "   " + std::to_string(i) + "    ";
    }
    const std::string text = Render(record);
    EXPECT_NE(text.find(T("%X T    " + values + " Methane\\par ")), std::string::npos) << text;
}

TEST_F(ReportTest, AlarmExampleLine) {
    // LEL 25 (tenths) and CO 30 on a gas-code-0 alarm, after an earlier heading.
    Render(LelCo(R::Stamped('A', '1', kStamp).Byte(0)).Byte(0xFE));
    EXPECT_EQ(Render(LelCo(R::Stamped('A', '1', kStamp).Byte(0)).Byte(0xFE)),
              T("{\\cf5 \\highlight6 %X} A     2.5      30        New LEL  alarm.\\par "));
}

} // namespace

namespace {

// Two GAS entries in a row: manual readings of every version and timed readings of versions 1, 3
// and 4 keep only the second; alarms and timed version 2 keep both.
struct DuplicateCase {
    char type;
    char version;
    std::vector<uint8_t> before; // the bytes between the stamp and the list
    bool skipped;
};

class DuplicateGasTest : public ReportTest, public ::testing::WithParamInterface<DuplicateCase> {};

TEST_P(DuplicateGasTest, PerKindAndVersion) {
    const DuplicateCase& c = GetParam();
    const auto record = RecordBuilder::Stamped(c.type, c.version, kStamp)
                            .Bytes(c.before)
                            .Reading(1, 10)
                            .Reading(1, 20)
                            .Byte(0xFE);
    Render(record);
    if (c.skipped) {
        EXPECT_EQ(state.Columns.Count, 1);
        EXPECT_STREQ(state.Columns.Values[0], " 2.0    ");
    } else {
        EXPECT_EQ(state.Columns.Count, 2);
        EXPECT_STREQ(state.Columns.Values[0], " 1.0    ");
        EXPECT_STREQ(state.Columns.Values[1], " 2.0    ");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, DuplicateGasTest,
    ::testing::Values(DuplicateCase{'M', '1', {}, true}, DuplicateCase{'M', '2', {0, 0, 0}, true},
                      DuplicateCase{'M', '3', {'1'}, true}, DuplicateCase{'M', '4', {'1'}, true},
                      DuplicateCase{'L', '1', {}, true}, DuplicateCase{'L', '2', {}, false},
                      DuplicateCase{'L', '3', {'1'}, true}, DuplicateCase{'L', '4', {'1'}, true},
                      DuplicateCase{'A', '1', {1}, false}, DuplicateCase{'A', '2', {1}, false}));

TEST_F(ReportTest, ThreeGasEntriesInARowKeepTheLast) {
    // Each GAS entry followed by another one is skipped, so only the last of a run stays.
    Render(R::Stamped('M', '1', kStamp).Reading(1, 10).Reading(1, 20).Reading(1, 30).Byte(0xFE));
    EXPECT_EQ(state.Columns.Count, 1);
    EXPECT_STREQ(state.Columns.Values[0], " 3.0    ");
}

} // namespace
