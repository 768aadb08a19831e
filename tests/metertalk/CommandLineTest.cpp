#include "CommsFixture.h"

#include <climits>

namespace {

struct AskCase {
    const char* driver;
    const char* test;
    int sensor;
    int index;
    const char* body;
    const char* checksumLine;
};

class AskLines : public CommsTest, public ::testing::WithParamInterface<AskCase> {};

TEST_P(AskLines, BodyAndChecksumGoOutAsTwoWrites) {
    const AskCase& c = GetParam();
    UseDriver(c.driver);
    Select(c.test);
    list.SetSensorNumber(c.sensor);
    ASSERT_EQ(comms.Ask(&target, c.index), 1);
    ASSERT_EQ(link->writes.size(), 2u);
    EXPECT_EQ(link->Write(0), c.body);
    EXPECT_EQ(link->Write(1), c.checksumLine);
    EXPECT_EQ(Comms().BusyTicks, 20);
    EXPECT_EQ(Comms().PendingKind, PendingAsk);
}

INSTANTIATE_TEST_SUITE_P(
    EveryShape, AskLines,
    ::testing::Values(
        // The upload flag read: 'L' to the last blank sums to 625, and 625 + 0x8F = 3 x 256.
        AskCase{nullptr, "Upload flag", 0, 0, "   LR  0B 00 01 ", "8F\r\n"},
        AskCase{EngineDriverV10, "Word", 0, 5, "   LR  14 05 02 ", "96\r\n"},
        AskCase{EngineDriverV10, "Long", 0, 0, "   LR  21 00 04 ", "9B\r\n"},
        AskCase{EngineDriverV10, "Split", 0, 0, "   LR  2C 00 04 ", "89\r\n"},
        AskCase{EngineDriverV10, "Text", 0, 0, "   LR  32 00 08 ", "95\r\n"},
        AskCase{EngineDriverV11, "Text", 0, 0, "   LT  32 00 08 ", "93\r\n"},
        AskCase{EngineDriverV11, "LongText", 0, 0, "   LT  46 00 10 ", "95\r\n"},
        AskCase{EngineDriverV10, "SensByte", 3, 0, "   LR  3C 02 01 ", "89\r\n"},
        AskCase{EngineDriverV11, "SensWord", 3, 7, "   LR  3D 04 02 ", "85\r\n"},
        AskCase{EngineDriverV10, "SensText", 3, 0, "   LT  3E 0C 06 ", "6F\r\n"},
        // Fields above 255 go out as their low byte, so the body keeps its sixteen characters.
        AskCase{EngineDriverV10, "Byte", 0, 300, "   LR  0B 2C 01 ", "7A\r\n"}));

struct SetCase {
    const char* driver;
    const char* test;
    int sensor;
    unsigned int value;
    const char* body;
    const char* checksumLine;
};

class SetLines : public CommsTest, public ::testing::WithParamInterface<SetCase> {};

TEST_P(SetLines, BodyAndChecksumGoOutAsTwoWrites) {
    const SetCase& c = GetParam();
    UseDriver(c.driver);
    Select(c.test);
    list.SetSensorNumber(c.sensor);
    ASSERT_EQ(comms.Set(&target, c.value), 1);
    ASSERT_EQ(link->writes.size(), 2u);
    EXPECT_EQ(link->Write(0), c.body);
    EXPECT_EQ(link->Write(1), c.checksumLine);
    EXPECT_EQ(comms.GetNewValue(), static_cast<int32_t>(c.value));
    EXPECT_EQ(Comms().PendingKind, PendingSet);
}

INSTANTIATE_TEST_SUITE_P(
    EveryShape, SetLines,
    ::testing::Values(
        // Writing 10 to the upload flag: sum 646, and 646 + 0x7A = 3 x 256.
        SetCase{nullptr, "Upload flag", 0, 10, "   LW  0B 00 0A ", "7A\r\n"},
        SetCase{EngineDriverV10, "Word", 0, 0x12345678, "   OW  14 00 78 56 ", "FB\r\n"},
        SetCase{EngineDriverV10, "Long", 0, 0x12345678, "   OW  21 00 78 56 ", "FD\r\n"},
        SetCase{EngineDriverV10, "Split", 0, 0x12345678, "   UW  2C 00 34 12 78 56 ", "DB\r\n"},
        SetCase{EngineDriverV11, "Text", 0, 0x12345678, "   UW  32 00 78 56 34 12 ", "EB\r\n"},
        SetCase{EngineDriverV10, "SensByte", 3, 0x12345678, "   LW  3C 02 78 ", "76\r\n"},
        SetCase{EngineDriverV10, "SensWord", 3, 0x12345678, "   OW  3D 04 78 56 ", "E5\r\n"},
        SetCase{EngineDriverV10, "SensText", 3, 0x12345678, "   OW  3E 04 78 56 ", "E4\r\n"}));

TEST_F(CommsTest, UploadFlagWriteOfTenStartsABulkRun) {
    list.ReadDriver(nullptr);
    Select("Upload flag");
    ASSERT_EQ(comms.Set(&target, 10u), 1);
    EXPECT_EQ(link->Take(), "   LW  0B 00 0A 7A\r\n");
    EXPECT_EQ(Comms().UploadMode, 2);
}

TEST_F(CommsTest, ZeroToTheUploadFlagStartsNoRun) {
    list.ReadDriver(nullptr);
    Select("Upload flag");
    ASSERT_EQ(comms.Set(&target, 0u), 1);
    EXPECT_EQ(Comms().UploadMode, 0);
}

TEST_F(CommsTest, TextWriteOfTheNewInterfaceIsOneCommandPaddedToTheTestLength) {
    UseDriver(EngineDriverV11);
    Select("Text");
    ASSERT_EQ(comms.Set(&target, std::string("AB")), 1);
    ASSERT_EQ(link->writes.size(), 2u);
    // 'Q' is 73 plus the eight characters, and equals 60 plus the body's 21.
    EXPECT_EQ(link->Write(0), "   QS  32 00 AB      ");
    EXPECT_EQ(link->Write(1), "D4\r\n");
}

TEST_F(CommsTest, TextWriteDigitsOfTestAndOffsetAreLowerCase) {
    UseDriver(EngineDriverV11);
    Select("Hex");
    ASSERT_EQ(comms.Set(&target, std::string("xy")), 1);
    EXPECT_EQ(link->Take(), "   MS  ab 00 xy  8C\r\n");
}

TEST_F(CommsTest, TextLongerThanTheTestIsCut) {
    UseDriver(EngineDriverV11);
    Select("Hex");
    comms.Set(&target, std::string("abcdefgh"));
    EXPECT_EQ(link->Write(0), "   MS  ab 00 abcd");
}

TEST_F(CommsTest, OldInterfaceTextGoesInChunksOfFourOnEachAcknowledgement) {
    Select("Text");
    ASSERT_EQ(comms.Set(&target, std::string("ABCDEFG")), 1);
    ASSERT_EQ(link->writes.size(), 1u);
    EXPECT_EQ(link->Take(), "   UW  32 00 41 42 43 44\r\n");
    EXPECT_EQ(Comms().TextOffset, 4);

    Receive(Answer("00"));
    EXPECT_EQ(link->Take(), "   UW  32 04 45 46 47 20\r\n");
    EXPECT_EQ(target.Take(), (std::vector<int>{FS}));
    EXPECT_EQ(Comms().TextOffset, 0);

    Receive(Answer("00"));
    EXPECT_EQ(link->Take(), "");
    EXPECT_EQ(target.Take(), (std::vector<int>{FS, ID_COMMS_SET_DONE}));
    EXPECT_EQ(Comms().PendingKind, PendingNone);
}

TEST_F(CommsTest, ShortOldInterfaceTextIsFilledWithBlanks) {
    Select("Hex");
    comms.Set(&target, std::string(""));
    EXPECT_EQ(link->Take(), "   UW  ab 00 20 20 20 20\r\n");
    EXPECT_EQ(Comms().TextOffset, 0);
}

TEST_F(CommsTest, CharactersAboveOneHundredTwentySevenGoOutAsTwoDigits) {
    Select("Hex");
    comms.Set(&target, std::string("\xC4\xFF"
                                   "a"));
    EXPECT_EQ(link->Take(), "   UW  ab 00 c4 ff 61 20\r\n");
}

TEST_F(CommsTest, TextSetOfANonTextTestWritesNothingAndTimesOut) {
    Select("Word");
    EXPECT_EQ(comms.Set(&target, std::string("AB")), 1);
    EXPECT_EQ(link->Take(), "");
    SilentTicks(20);
    EXPECT_EQ(target.Take(), (std::vector<int>{ID_COMMS_TIMEOUT}));
}

TEST_F(CommsTest, NoCurrentTestSendsNothing) {
    EXPECT_EQ(list.FindTest("Nothing"), 0);
    EXPECT_EQ(comms.Ask(&target, 0), 0);
    EXPECT_EQ(comms.Set(&target, 5u), 0);
    EXPECT_EQ(comms.Set(&target, std::string("x")), 0);
    EXPECT_EQ(link->Take(), "");
    EXPECT_EQ(Comms().BusyTicks, 0);
    SilentTicks(25);
    EXPECT_TRUE(target.ids.empty());
}

TEST_F(CommsTest, NoTestListSendsNothing) {
    comms.SetTestList(nullptr);
    EXPECT_EQ(comms.Ask(&target, 0), 0);
    EXPECT_EQ(comms.Set(&target, 5u), 0);
    EXPECT_EQ(link->Take(), "");
}

// Sensor numbers and indexes come from the caller, stride and text lengths from the
// instrument's driver text: arithmetic on them wraps and only the low byte goes out.
TEST_F(CommsTest, ExtremeSensorNumbersAndIndexesStillGiveTwoDigitFields) {
    UseDriver("V10!ASensText!62!5!S2000000000!ASensWord!61!130!S!ASensByte!60!129!S!"
              "AByte!11!129!N!");
    Select("SensText");
    list.SetSensorNumber(3);
    ASSERT_EQ(comms.Ask(&target, 5), 1);
    EXPECT_EQ(link->Take(), "   LT  3E 05 10 82\r\n");

    Comms().BusyTicks = 0;
    Select("SensWord");
    list.SetSensorNumber(INT_MIN);
    ASSERT_EQ(comms.Ask(&target, 0), 1);
    EXPECT_EQ(link->Take(), "   LR  3D FE 02 5E\r\n");
    Comms().BusyTicks = 0;
    ASSERT_EQ(comms.Set(&target, 0x1234u), 1);
    EXPECT_EQ(link->Take(), "   OW  3D FE 34 12 CE\r\n");

    Comms().BusyTicks = 0;
    Select("SensByte");
    ASSERT_EQ(comms.Ask(&target, 0), 1);
    EXPECT_EQ(link->Take(), "   LR  3C FF 01 5F\r\n");

    Comms().BusyTicks = 0;
    Select("Byte");
    ASSERT_EQ(comms.Ask(&target, INT_MAX), 1);
    EXPECT_EQ(link->Take(), "   LR  0B FF 01 63\r\n");
    EXPECT_EQ(comms.Ask(nullptr, 1), 0);
}

TEST_F(CommsTest, ATextReadContinuedPastTheLargestIndexWraps) {
    UseDriver(EngineDriverV11);
    Select("LongText");
    ASSERT_EQ(comms.Ask(&target, INT_MAX), 1);
    EXPECT_EQ(link->Take(), "   LT  46 FF 10 69\r\n");
    link->QueueTick(Answer("ABCDEFGHIJKLMNOP"));
    comms.OnTimer();
    EXPECT_EQ(link->Take(), "   LT  46 0F 04 7C\r\n");
}

TEST_F(CommsTest, NoLinkWritesNothingAndTimesOut) {
    Comms().Port.reset();
    Select("Byte");
    EXPECT_EQ(comms.Ask(&target, 0), 1);
    SilentTicks(20);
    EXPECT_EQ(target.Take(), (std::vector<int>{ID_COMMS_TIMEOUT}));
}

} // namespace
