#include "CommsFixture.h"

#include <climits>
#include <string>
#include <vector>

namespace {

using Ids = std::vector<int>;

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
    ASSERT_EQ(engine.Ask(&target, c.index), 1);
    ASSERT_EQ(link->writes.size(), 2u);
    EXPECT_EQ(link->Write(0), c.body);
    EXPECT_EQ(link->Write(1), c.checksumLine);
    link->Take();
    // The read waits twenty silent ticks for its answer...
    SilentTicks(19);
    EXPECT_TRUE(target.ids.empty());
    SilentTicks(1);
    EXPECT_EQ(target.Take(), (Ids{ID_COMMS_TIMEOUT}));
    // ...and stays the request an answer belongs to: it completes the read, or the read goes on
    // with its next part.
    Receive(Answer("00"));
    const Ids ids = target.Take();
    if (ids != Ids{FS, ID_COMMS_ASK_DONE}) {
        EXPECT_EQ(ids, Ids{FS});
        EXPECT_EQ(link->Take().substr(0, 9), std::string(c.body).substr(0, 9));
    }
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
    ASSERT_EQ(engine.Set(&target, c.value), 1);
    ASSERT_EQ(link->writes.size(), 2u);
    EXPECT_EQ(link->Write(0), c.body);
    EXPECT_EQ(link->Write(1), c.checksumLine);
    EXPECT_EQ(engine.GetNewValue(), static_cast<int32_t>(c.value));
    Receive(Answer("00"));
    EXPECT_EQ(target.Take(), (Ids{FS, ID_COMMS_SET_DONE}));
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
    ASSERT_EQ(engine.Set(&target, 10u), 1);
    EXPECT_EQ(link->Take(), "   LW  0B 00 0A 7A\r\n");
    // Acknowledged, the write leaves the engine waiting for the run as for an answer.
    Receive(Answer("00"));
    EXPECT_EQ(target.Take(), (Ids{FS, ID_COMMS_SET_DONE}));
    SilentTicks(19);
    EXPECT_TRUE(target.ids.empty());
    SilentTicks(1);
    EXPECT_EQ(target.Take(), (Ids{ID_COMMS_TIMEOUT}));
}

TEST_F(CommsTest, ZeroToTheUploadFlagStartsNoRun) {
    list.ReadDriver(nullptr);
    Select("Upload flag");
    ASSERT_EQ(engine.Set(&target, 0u), 1);
    Receive(Answer("00"));
    EXPECT_EQ(target.Take(), (Ids{FS, ID_COMMS_SET_DONE}));
    SilentTicks(40);
    EXPECT_TRUE(target.ids.empty());
}

TEST_F(CommsTest, TextWriteOfTheNewInterfaceIsOneCommandPaddedToTheTestLength) {
    UseDriver(EngineDriverV11);
    Select("Text");
    ASSERT_EQ(engine.Set(&target, std::string("AB")), 1);
    ASSERT_EQ(link->writes.size(), 2u);
    // 'Q' is 73 plus the eight characters, and equals 60 plus the body's 21.
    EXPECT_EQ(link->Write(0), "   QS  32 00 AB      ");
    EXPECT_EQ(link->Write(1), "D4\r\n");
}

TEST_F(CommsTest, TextWriteDigitsOfTestAndOffsetAreLowerCase) {
    UseDriver(EngineDriverV11);
    Select("Hex");
    ASSERT_EQ(engine.Set(&target, std::string("xy")), 1);
    EXPECT_EQ(link->Take(), "   MS  ab 00 xy  8C\r\n");
}

TEST_F(CommsTest, TextLongerThanTheTestIsCut) {
    UseDriver(EngineDriverV11);
    Select("Hex");
    engine.Set(&target, std::string("abcdefgh"));
    EXPECT_EQ(link->Write(0), "   MS  ab 00 abcd");
}

TEST_F(CommsTest, OldInterfaceTextGoesInChunksOfFourOnEachAcknowledgement) {
    Select("Text");
    ASSERT_EQ(engine.Set(&target, std::string("ABCDEFG")), 1);
    ASSERT_EQ(link->writes.size(), 1u);
    EXPECT_EQ(link->Take(), "   UW  32 00 41 42 43 44\r\n");

    Receive(Answer("00"));
    EXPECT_EQ(link->Take(), "   UW  32 04 45 46 47 20\r\n");
    EXPECT_EQ(target.Take(), (Ids{FS}));

    Receive(Answer("00"));
    EXPECT_EQ(link->Take(), "");
    EXPECT_EQ(target.Take(), (Ids{FS, ID_COMMS_SET_DONE}));
    // The write is over: a further answer is nobody's.
    Receive(Answer("00"));
    EXPECT_EQ(target.Take(), (Ids{FS, ID_COMMS_UNSOLICITED}));
}

TEST_F(CommsTest, ShortOldInterfaceTextIsFilledWithBlanks) {
    Select("Hex");
    engine.Set(&target, std::string(""));
    EXPECT_EQ(link->Take(), "   UW  ab 00 20 20 20 20\r\n");
    // One chunk is the whole text: its acknowledgement ends the write.
    Receive(Answer("00"));
    EXPECT_EQ(link->Take(), "");
    EXPECT_EQ(target.Take(), (Ids{FS, ID_COMMS_SET_DONE}));
}

TEST_F(CommsTest, CharactersAboveOneHundredTwentySevenGoOutAsTwoDigits) {
    Select("Hex");
    engine.Set(&target, std::string("\xC4\xFF"
                                    "a"));
    EXPECT_EQ(link->Take(), "   UW  ab 00 c4 ff 61 20\r\n");
}

TEST_F(CommsTest, TextSetOfANonTextTestWritesNothingAndTimesOut) {
    Select("Word");
    EXPECT_EQ(engine.Set(&target, std::string("AB")), 1);
    EXPECT_EQ(link->Take(), "");
    SilentTicks(20);
    EXPECT_EQ(target.Take(), (std::vector<int>{ID_COMMS_TIMEOUT}));
}

TEST_F(CommsTest, NoCurrentTestSendsNothing) {
    EXPECT_EQ(list.FindTest("Nothing"), 0);
    EXPECT_EQ(engine.Ask(&target, 0), 0);
    EXPECT_EQ(engine.Set(&target, 5u), 0);
    EXPECT_EQ(engine.Set(&target, std::string("x")), 0);
    EXPECT_EQ(link->Take(), "");
    SilentTicks(25);
    EXPECT_TRUE(target.ids.empty());
    // None of them left the engine busy.
    Select("Byte");
    EXPECT_EQ(engine.Ask(&target, 0), 1);
}

TEST_F(CommsTest, NoTestListSendsNothing) {
    engine.SetTestList(nullptr);
    EXPECT_EQ(engine.Ask(&target, 0), 0);
    EXPECT_EQ(engine.Set(&target, 5u), 0);
    EXPECT_EQ(link->Take(), "");
}

// Sensor numbers and indexes come from the caller, stride and text lengths from the
// instrument's driver text: arithmetic on them wraps and only the low byte goes out.
TEST_F(CommsTest, ExtremeSensorNumbersAndIndexesStillGiveTwoDigitFields) {
    UseDriver("V10!ASensText!62!5!S2000000000!ASensWord!61!130!S!ASensByte!60!129!S!"
              "AByte!11!129!N!");
    Select("SensText");
    list.SetSensorNumber(3);
    ASSERT_EQ(engine.Ask(&target, 5), 1);
    EXPECT_EQ(link->Take(), "   LT  3E 05 10 82\r\n");

    SilentTicks(20);
    Select("SensWord");
    list.SetSensorNumber(INT_MIN);
    ASSERT_EQ(engine.Ask(&target, 0), 1);
    EXPECT_EQ(link->Take(), "   LR  3D FE 02 5E\r\n");
    SilentTicks(20);
    ASSERT_EQ(engine.Set(&target, 0x1234u), 1);
    EXPECT_EQ(link->Take(), "   OW  3D FE 34 12 CE\r\n");

    SilentTicks(20);
    Select("SensByte");
    ASSERT_EQ(engine.Ask(&target, 0), 1);
    EXPECT_EQ(link->Take(), "   LR  3C FF 01 5F\r\n");

    SilentTicks(20);
    Select("Byte");
    ASSERT_EQ(engine.Ask(&target, INT_MAX), 1);
    EXPECT_EQ(link->Take(), "   LR  0B FF 01 63\r\n");
    EXPECT_EQ(engine.Ask(nullptr, 1), 0);
}

TEST_F(CommsTest, ATextReadContinuedPastTheLargestIndexWraps) {
    UseDriver(EngineDriverV11);
    Select("LongText");
    ASSERT_EQ(engine.Ask(&target, INT_MAX), 1);
    EXPECT_EQ(link->Take(), "   LT  46 FF 10 69\r\n");
    link->QueueTick(Answer("ABCDEFGHIJKLMNOP"));
    engine.OnTimer();
    EXPECT_EQ(link->Take(), "   LT  46 0F 04 7C\r\n");
}

TEST_F(CommsTest, NoLinkWritesNothingAndTimesOut) {
    CommsEngine unlinked;
    unlinked.SetTestList(&list);
    EXPECT_FALSE(unlinked.LinkOpen());
    Select("Byte");
    EXPECT_EQ(unlinked.Ask(&target, 0), 1);
    for (int i = 0; i < 20; ++i)
        unlinked.OnTimer();
    EXPECT_EQ(target.Take(), (Ids{ID_COMMS_TIMEOUT}));
    EXPECT_EQ(link->Take(), "");
}

} // namespace
