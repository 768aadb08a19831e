#include "CommsFixture.h"

#include <climits>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using Ids = std::vector<int>;
const int TO = ID_COMMS_TIMEOUT;
const int AD = ID_COMMS_ASK_DONE;
const int SD = ID_COMMS_SET_DONE;
const int UN = ID_COMMS_UNSOLICITED;
const int CE = ID_COMMS_CHECKSUM_ERROR;

class FrameEngineTest : public CommsTest {
protected:
    void AskByte() {
        Select("Byte");
        ASSERT_EQ(engine.Ask(&target, 0), 1);
        link->Take();
    }
};

TEST_F(FrameEngineTest, AnAnswerFrameCompletesTheAsk) {
    AskByte();
    // Sum of "YHA01 " is 355; 355 + 0x9D = 2 x 256.
    Receive("YHA01 9D\r\n");
    EXPECT_EQ(target.Take(), (Ids{FS, AD}));
    EXPECT_EQ(engine.GetNewValue(), 1);
    // The request is over: no time-out follows, the next answer is nobody's, and the next
    // request goes out at once.
    SilentTicks(40);
    EXPECT_TRUE(target.ids.empty());
    Receive(Answer("02"));
    EXPECT_EQ(target.Take(), (Ids{FS, UN}));
    EXPECT_EQ(engine.GetNewValue(), 1);
    EXPECT_EQ(engine.Ask(&target, 0), 1);
    EXPECT_EQ(link->Take(), ByteRead);
}

TEST_F(FrameEngineTest, LineFeedThenCarriageReturnAlsoEndsAFrame) {
    AskByte();
    Receive(MakeFrame('A', "2A", "\n\r"));
    EXPECT_EQ(target.Take(), (Ids{FS, AD}));
    EXPECT_EQ(engine.GetNewValue(), 0x2A);
}

TEST_F(FrameEngineTest, AFrameSplitAcrossTicksIsAssembled) {
    AskByte();
    const std::string frame = Answer("7F");
    for (char c : frame)
        Receive(std::string(1, c));
    EXPECT_EQ(target.Take(), (Ids{FS, AD}));
    EXPECT_EQ(engine.GetNewValue(), 0x7F);
}

TEST_F(FrameEngineTest, NoiseBeforeAFrameIsSkipped) {
    AskByte();
    Receive("\r\n\x00zz" + Answer("05"));
    EXPECT_EQ(target.Take(), (Ids{FS, AD}));
    EXPECT_EQ(engine.GetNewValue(), 5);
}

class BadLength : public FrameEngineTest, public ::testing::WithParamInterface<char> {};

TEST_P(BadLength, IsDroppedAtTheLengthByteAndTheNextYStartsAFrame) {
    AskByte();
    Receive(std::string("Y") + GetParam() + "A01" + Answer("03"));
    EXPECT_EQ(target.Take(), (Ids{FS, FS, AD}));
    EXPECT_EQ(engine.GetNewValue(), 3);
}

INSTANTIATE_TEST_SUITE_P(LengthCharacters, BadLength,
                         ::testing::Values('C', 's', '@', '\0', '\x80', '\xC8', 'z'));

TEST_F(FrameEngineTest, TheLongestFrameIsAccepted) {
    AskByte();
    const std::string payload = "0A" + std::string(42, ' ');
    Receive(Answer(payload));
    EXPECT_EQ(target.Take(), (Ids{FS, AD}));
    EXPECT_EQ(engine.GetNewValue(), 10);
    // Its whole payload arrives: a bulk frame of that length stores all 44 bytes.
    const std::string data(44, 'd');
    Receive(MakeFrame('M', data));
    char stored[CommsEngine::UploadCapacity + 1];
    int length = 0;
    engine.GetUploadedData(stored, length);
    EXPECT_EQ(std::string(stored, static_cast<size_t>(length)), data);
}

TEST_F(FrameEngineTest, AFrameWithoutLineEndIsDroppedSilently) {
    AskByte();
    std::string frame = Answer("01");
    frame[frame.size() - 1] = '\r';
    Receive(frame);
    EXPECT_EQ(target.Take(), (Ids{FS}));
    // The request still waits: the next good answer completes it.
    Receive(Answer("02"));
    EXPECT_EQ(target.Take(), (Ids{FS, AD}));
    EXPECT_EQ(engine.GetNewValue(), 2);
}

TEST_F(FrameEngineTest, ABadChecksumIsReportedAndTheRequestKeepsWaiting) {
    AskByte();
    SilentTicks(5);
    std::string frame = Answer("01");
    frame[frame.size() - 3] = frame[frame.size() - 3] == '0' ? '1' : '0';
    Receive(frame);
    EXPECT_EQ(target.Take(), (Ids{FS, CE}));
    // The countdown goes on where it was: fifteen silent ticks are left.
    SilentTicks(14);
    EXPECT_TRUE(target.ids.empty());
    SilentTicks(1);
    EXPECT_EQ(target.Take(), (Ids{TO}));
    // The read is still the outstanding request, and the assembler starts afresh.
    Receive(Answer("09"));
    EXPECT_EQ(target.Take(), (Ids{FS, AD}));
    EXPECT_EQ(engine.GetNewValue(), 9);
}

TEST_F(FrameEngineTest, LowerCaseChecksumDigitsReadAsZero) {
    AskByte();
    // "YHA01 " needs 9D; "9d" reads as 0 and fails.
    Receive("YHA01 9d\r\n");
    EXPECT_EQ(target.Take(), (Ids{FS, CE}));
}

TEST_F(FrameEngineTest, ABlankMayStandForALeadingChecksumDigit) {
    AskByte();
    // Find a payload whose checksum is below 16 and send it as a blank and one digit.
    for (int v = 0; v < 0x10000; ++v) {
        char payload[5];
        std::snprintf(payload, sizeof payload, "%04X", v);
        std::string frame = Answer(payload);
        if (frame[frame.size() - 4] != '0')
            continue;
        frame[frame.size() - 4] = ' ';
        Receive(frame);
        EXPECT_EQ(target.Take(), (Ids{FS, AD}));
        EXPECT_EQ(engine.GetNewValue(), v);
        return;
    }
    FAIL() << "no payload with a small checksum";
}

TEST_F(FrameEngineTest, AYInsideAFrameIsData) {
    AskByte();
    Receive(Answer("1 YY"));
    EXPECT_EQ(target.Take(), (Ids{FS, AD}));
    EXPECT_EQ(engine.GetNewValue(), 1);
    UseDriver(EngineDriverV11);
    Select("Text");
    ASSERT_EQ(engine.Ask(&target, 0), 1);
    Receive(Answer("1 YY"));
    EXPECT_EQ(target.Take(), (Ids{FS, AD}));
    EXPECT_STREQ(engine.GetNewString(), "1 YY");
}

TEST_F(FrameEngineTest, TwoFramesInOneTickAreBothHandled) {
    AskByte();
    Receive(Answer("01") + Answer("02"));
    EXPECT_EQ(target.Take(), (Ids{FS, AD, FS, UN}));
    EXPECT_EQ(engine.GetNewValue(), 1);
}

TEST_F(FrameEngineTest, FramesOfLengthFourAndFiveCarryNoPayload) {
    AskByte();
    // Y E A: 223, checksum 0x21.
    Receive("YEA21\r\n");
    EXPECT_EQ(target.Take(), (Ids{FS, AD}));
    EXPECT_EQ(engine.GetNewValue(), 0);
    // The read is over, so the next one is unsolicited. Y D: 157, checksum 0x63; its checksum
    // stands where the kind would.
    Receive("YD63\r\n");
    EXPECT_EQ(target.Take(), (Ids{FS, UN}));
    // A short frame with a wrong checksum is still a checksum error.
    Receive("YD64\r\n");
    EXPECT_EQ(target.Take(), (Ids{FS, CE}));
}

TEST_F(FrameEngineTest, AnswerWithNothingOutstandingIsUnsolicited) {
    AskByte();
    Receive(Answer("01"));
    target.Take();
    Receive(Answer("07"));
    EXPECT_EQ(target.Take(), (Ids{FS, UN}));
    EXPECT_EQ(engine.GetNewValue(), 1);
}

TEST_F(FrameEngineTest, TimeOutAfterTwentySilentTicks) {
    AskByte();
    SilentTicks(19);
    EXPECT_TRUE(target.ids.empty());
    SilentTicks(1);
    EXPECT_EQ(target.Take(), (Ids{TO}));
    SilentTicks(40);
    EXPECT_TRUE(target.ids.empty());
    // The request stays what it was: a late answer still completes it.
    Receive(Answer("03"));
    EXPECT_EQ(target.Take(), (Ids{FS, AD}));
    EXPECT_EQ(engine.GetNewValue(), 3);
}

TEST_F(FrameEngineTest, BytesThatMakeNoFrameHoldTheTimeOutOff) {
    AskByte();
    for (int i = 0; i < 50; ++i)
        Receive("xx");
    EXPECT_TRUE(target.ids.empty());
    SilentTicks(10);
    Receive("zz");
    SilentTicks(9);
    EXPECT_TRUE(target.ids.empty());
    SilentTicks(1);
    EXPECT_EQ(target.Take(), (Ids{TO}));
}

// Fast uploads: everything waiting is taken in one call, far past one read of 512 bytes, and
// the calls themselves never count the time-out down.
TEST_F(FrameEngineTest, OnArrivalTakesAWholeRunAtOnce) {
    Select("Byte");
    ASSERT_EQ(engine.Set(&target, 3), 1);
    std::string run = Answer("");
    Ids expected{FS, SD};
    for (int i = 0; i < 40; ++i) {
        run += MakeFrame('M', std::string(44, static_cast<char>('a' + i % 26)));
        expected.push_back(FS);
    }
    run += Answer("00");
    expected.insert(expected.end(), {FS, UN});
    ASSERT_GT(run.size(), 4u * 512u);
    link->QueueTick(run);
    engine.OnArrival();
    EXPECT_EQ(target.Take(), expected);
    std::vector<char> stored(CommsEngine::UploadCapacity + 1);
    int length = 0;
    engine.GetUploadedData(stored.data(), length);
    EXPECT_EQ(length, 40 * 44);
    for (int i = 0; i < 100; ++i)
        engine.OnArrival();
    EXPECT_TRUE(target.ids.empty());
}

TEST_F(FrameEngineTest, BytesTakenBetweenTicksKeepTheNextTickFromCountingAsSilent) {
    AskByte();
    SilentTicks(19);
    link->QueueTick("xx");
    for (int i = 0; i < 100; ++i)
        engine.OnArrival();
    SilentTicks(1);
    EXPECT_TRUE(target.ids.empty());
    SilentTicks(1);
    EXPECT_EQ(target.Take(), (Ids{TO}));
}

TEST_F(FrameEngineTest, ASecondAskWaitsForTheFirstAnswerWhichIsNotReported) {
    Select("Byte");
    ASSERT_EQ(engine.Ask(&target, 0), 1);
    RecordingTarget other;
    Select("Word");
    EXPECT_EQ(engine.Ask(&other, 0), 0);
    EXPECT_EQ(link->Take(), "   LR  0B 00 01 8F\r\n");
    Receive(Answer("01"));
    EXPECT_EQ(link->Take(), "   LR  14 00 02 9B\r\n");
    EXPECT_EQ(target.Take(), (Ids{FS}));
    EXPECT_TRUE(other.ids.empty());
    // Sent from frame handling, the queued request has no countdown.
    SilentTicks(40);
    EXPECT_TRUE(other.ids.empty());
    EXPECT_TRUE(target.ids.empty());
    Receive(Answer("34 12"));
    EXPECT_EQ(other.Take(), (Ids{FS, AD}));
    EXPECT_EQ(engine.GetNewValue(), 0x1234);
    EXPECT_TRUE(target.ids.empty());
}

TEST_F(FrameEngineTest, TheLatestQueuedRequestReplacesTheEarlierOne) {
    AskByte();
    Select("Word");
    RecordingTarget first, second;
    EXPECT_EQ(engine.Set(&first, 5u), 0);
    EXPECT_EQ(engine.Set(&second, 7u), 0);
    Receive(Answer("01"));
    EXPECT_EQ(link->Take(), "   OW  14 00 07 00 0E\r\n");
    Receive(Answer("00"));
    EXPECT_EQ(second.Take(), (Ids{FS, SD}));
    EXPECT_TRUE(first.ids.empty());
    EXPECT_EQ(target.Take(), (Ids{FS}));
}

TEST_F(FrameEngineTest, AQueuedTextWriteTakesTheLengthOfTheTestCurrentWhenItIsSent) {
    UseDriver(EngineDriverV11);
    Select("LongText");
    ASSERT_EQ(engine.Ask(&target, 0), 1);
    // Queued padded to the twenty characters of "LongText"...
    ASSERT_EQ(engine.Set(&target, std::string("AB")), 0);
    // ...but sent to a test of four, which must not receive twenty.
    Select("Hex");
    link->Take();
    Receive(Answer("41 42"));
    EXPECT_EQ(link->Take(), "   MS  ab 00 AB  FA\r\n");
}

TEST_F(FrameEngineTest, AQueuedRequestWhoseAnswerNeverComesDoesNotTimeOut) {
    AskByte();
    Select("Word");
    engine.Set(&target, 5u);
    Receive(Answer("01"));
    EXPECT_EQ(link->Take(), "   OW  14 00 05 00 10\r\n");
    target.Take();
    SilentTicks(60);
    EXPECT_TRUE(target.ids.empty());
    // The engine does not count as busy: a new request goes out at once.
    EXPECT_EQ(engine.Ask(&target, 0), 1);
}

TEST_F(FrameEngineTest, TimeOutGoesToTheWindowOfTheQueuedRequest) {
    AskByte();
    RecordingTarget queued;
    engine.Ask(&queued, 3);
    SilentTicks(20);
    EXPECT_EQ(queued.Take(), (Ids{TO}));
    EXPECT_TRUE(target.ids.empty());
}

TEST_F(FrameEngineTest, ARefusedSetIsSentAgainAtEveryRefusal) {
    Select("Word");
    ASSERT_EQ(engine.Set(&target, 5u), 1);
    const std::string line = link->Take();
    EXPECT_EQ(line, "   OW  14 00 05 00 10\r\n");
    for (int i = 0; i < 5; ++i) {
        Receive(Answer("?"));
        EXPECT_EQ(link->Take(), line) << i;
        // Every resend starts the full countdown again.
        SilentTicks(19);
    }
    EXPECT_EQ(target.Take(), (Ids{FS, FS, FS, FS, FS}));
    SilentTicks(1);
    EXPECT_EQ(target.Take(), (Ids{TO}));
    // Still the write that waits: its acknowledgement completes it.
    Receive(Answer("00"));
    EXPECT_EQ(target.Take(), (Ids{FS, SD}));
    EXPECT_EQ(link->Take(), "");
}

TEST_F(FrameEngineTest, ARefusalFurtherInResendsWithoutCountdown) {
    Select("Word");
    engine.Set(&target, 5u);
    const std::string line = link->Take();
    Receive(Answer("0 ?"));
    EXPECT_EQ(link->Take(), line);
    SilentTicks(40);
    EXPECT_EQ(target.Take(), (Ids{FS}));
}

TEST_F(FrameEngineTest, ARefusedOldInterfaceChunkGoesBackToItsOwnOffset) {
    Select("Text");
    engine.Set(&target, std::string("ABCDEFGH"));
    EXPECT_EQ(link->Take(), "   UW  32 00 41 42 43 44\r\n");
    Receive(Answer("?"));
    EXPECT_EQ(link->Take(), "   UW  32 00 41 42 43 44\r\n");
    Receive(Answer("00"));
    EXPECT_EQ(link->Take(), "   UW  32 04 45 46 47 48\r\n");
    Receive(Answer("?"));
    EXPECT_EQ(link->Take(), "   UW  32 04 45 46 47 48\r\n");
    Receive(Answer("00"));
    EXPECT_EQ(link->Take(), "");
    EXPECT_EQ(target.Take(), (Ids{FS, FS, FS, FS, SD}));
}

TEST_F(FrameEngineTest, ANewTextWriteStartsAtOffsetZeroAfterAnAbandonedOne) {
    Select("Text");
    engine.Set(&target, std::string("ABCDEFGH"));
    link->Take();
    SilentTicks(20);
    EXPECT_EQ(target.Take(), (Ids{TO}));
    engine.Set(&target, std::string("WXYZ"));
    EXPECT_EQ(link->Take(), "   UW  32 00 57 58 59 5a\r\n");
}

TEST_F(FrameEngineTest, TheRestOfAnAbandonedTextWriteNeverFollowsALaterWrite) {
    Select("Text");
    engine.Set(&target, std::string("ABCDEFGH"));
    SilentTicks(20);
    EXPECT_EQ(target.Take(), (Ids{TO}));
    link->Take();
    Select("Word");
    ASSERT_EQ(engine.Set(&target, 5u), 1);
    link->Take();
    Receive(Answer("00"));
    EXPECT_EQ(link->Take(), "");
    EXPECT_EQ(target.Take(), (Ids{FS, SD}));
}

TEST_F(FrameEngineTest, AnAskRefusedAtTheStartEndsInATimeOut) {
    AskByte();
    Receive(Answer("?"));
    EXPECT_EQ(target.Take(), (Ids{FS}));
    SilentTicks(19);
    EXPECT_TRUE(target.ids.empty());
    SilentTicks(1);
    EXPECT_EQ(target.Take(), (Ids{TO}));
    // The read is still the outstanding request.
    Receive(Answer("04"));
    EXPECT_EQ(target.Take(), (Ids{FS, AD}));
    EXPECT_EQ(engine.GetNewValue(), 4);
}

TEST_F(FrameEngineTest, AnAskRefusedFurtherInEndsSilently) {
    AskByte();
    Receive(Answer("0?"));
    SilentTicks(30);
    EXPECT_EQ(target.Take(), (Ids{FS}));
    // Nothing counts as busy any more: the next request goes out at once.
    EXPECT_EQ(engine.Ask(&target, 0), 1);
}

// A caller that takes a refusal for an answer hears of it at once, whether the '?' leads or
// follows; the command line is the one a plain read sends, and a continued text read keeps the
// way its read began.
TEST_F(FrameEngineTest, AnAskThatTakesARefusalForAnAnswerEndsAtIt) {
    for (const char* refusal : {"?", "0?"}) {
        SCOPED_TRACE(refusal);
        Select("Byte");
        link->Take();
        ASSERT_EQ(engine.Ask(&target, 0, CommsEngine::Refusal::Answers), 1);
        EXPECT_EQ(link->Take(), ByteRead);
        Receive(Answer(refusal));
        EXPECT_EQ(target.Take(), (Ids{FS, ID_COMMS_REFUSED}));
        SilentTicks(30);
        EXPECT_TRUE(target.ids.empty());
        // Nothing counts as busy any more: the next request goes out at once.
        ASSERT_EQ(engine.Ask(&target, 0), 1);
        Receive(Answer("04"));
        EXPECT_EQ(target.Take(), (Ids{FS, AD}));
    }
    // The second part of a text read, refused.
    UseDriver(EngineDriverV11);
    Select("LongText");
    engine.Ask(&target, 0, CommsEngine::Refusal::Answers);
    Receive(Answer("ABCDEFGHIJKLMNOP"));
    Receive(Answer("?"));
    EXPECT_EQ(target.Take(), (Ids{FS, FS, ID_COMMS_REFUSED}));
    // A plain read after one that took refusals is refused as ever.
    Select("Byte");
    engine.Ask(&target, 0, CommsEngine::Refusal::Answers);
    Receive(Answer("01"));
    engine.Ask(&target, 0);
    Receive(Answer("?"));
    SilentTicks(20);
    EXPECT_EQ(target.Take(), (Ids{FS, AD, FS, TO}));
}

struct ValueCase {
    const char* test;
    const char* payload;
    int32_t value;
};

class ValueDecoding : public FrameEngineTest, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(ValueDecoding, AnswerGivesTheValue) {
    Select(GetParam().test);
    ASSERT_EQ(engine.Ask(&target, 0), 1);
    Receive(Answer(GetParam().payload));
    EXPECT_EQ(target.Take(), (Ids{FS, AD}));
    EXPECT_EQ(engine.GetNewValue(), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Types, ValueDecoding,
    ::testing::Values(ValueCase{"Byte", "A5", 0xA5}, ValueCase{"Byte", "ffffffff", -1},
                      ValueCase{"Word", "FE FF", -2}, ValueCase{"Word", "34 12", 0x1234},
                      ValueCase{"Word", "00 80", -32768}, ValueCase{"Word", "FF 7F", 32767},
                      ValueCase{"Long", "78 56 34 12", 0x12345678},
                      ValueCase{"Long", "FF FF FF FF", -1},
                      ValueCase{"Split", "01 00 02 00", 65538},
                      ValueCase{"Split", "78 56 34 12", 0x56781234}, ValueCase{"SensByte", "3", 3},
                      ValueCase{"SensWord", "FE FF", -2}));

TEST_F(FrameEngineTest, AnUnreadableNumberLeavesTheValue) {
    Select("Word");
    engine.Set(&target, 77u);
    Receive(Answer("00"));
    Select("Byte");
    engine.Ask(&target, 0);
    Receive(Answer("zz"));
    EXPECT_EQ(engine.GetNewValue(), 77);
}

TEST_F(FrameEngineTest, NewInterfaceTextIsReadInPartsOfSixteen) {
    UseDriver(EngineDriverV11);
    Select("LongText");
    ASSERT_EQ(engine.Ask(&target, 0), 1);
    EXPECT_EQ(link->Take(), "   LT  46 00 10 95\r\n");
    Receive(Answer("Gas detector 123"));
    EXPECT_EQ(link->Take(), "   LT  46 10 04 91\r\n");
    EXPECT_EQ(target.Take(), (Ids{FS}));
    // The next part is asked from frame handling, without a countdown.
    SilentTicks(40);
    EXPECT_TRUE(target.ids.empty());
    Receive(Answer("4567"));
    EXPECT_EQ(target.Take(), (Ids{FS, AD}));
    EXPECT_STREQ(engine.GetNewString(), "Gas detector 1234567");
    // A finished read leaves the text position at its start: a read continued without a target
    // fills the text from there.
    ASSERT_EQ(engine.Ask(nullptr, 0), 1);
    EXPECT_EQ(link->Take(), "   LT  46 00 04 92\r\n");
    Receive(Answer("WXYZ"));
    EXPECT_EQ(target.Take(), (Ids{FS, AD}));
    EXPECT_STREQ(engine.GetNewString(), "WXYZ");
}

TEST_F(FrameEngineTest, OldInterfaceTextIsReadFourCharactersAtATime) {
    Select("Text");
    ASSERT_EQ(engine.Ask(&target, 0), 1);
    EXPECT_EQ(link->Take(), "   LR  32 00 08 95\r\n");
    Receive(Answer("41 42 43 44"));
    EXPECT_EQ(link->Take(), "   LR  32 04 08 91\r\n");
    EXPECT_EQ(target.Take(), (Ids{FS}));
    Receive(Answer("45 46 47 48"));
    EXPECT_EQ(target.Take(), (Ids{FS, AD}));
    EXPECT_STREQ(engine.GetNewString(), "ABCDEFGH");
}

TEST_F(FrameEngineTest, AShortTextPartLeavesNoOldCharactersBehind) {
    UseDriver(EngineDriverV11);
    Select("Text");
    engine.Ask(&target, 0);
    Receive(Answer("ABCDEFGH"));
    EXPECT_STREQ(engine.GetNewString(), "ABCDEFGH");
    engine.Ask(&target, 0);
    Receive(Answer("XY"));
    EXPECT_STREQ(engine.GetNewString(), "XY");
}

TEST_F(FrameEngineTest, ALongTextReadIsCutToThirtyNineCharacters) {
    UseDriver(EngineDriverV11);
    Select("HugeText");
    ASSERT_EQ(engine.Ask(&target, 0), 1);
    EXPECT_EQ(link->Take(), "   LT  47 00 10 94\r\n");
    Receive(Answer("AAAAAAAAAAAAAAAA"));
    EXPECT_EQ(link->Take(), "   LT  47 10 10 93\r\n");
    Receive(Answer("BBBBBBBBBBBBBBBB"));
    EXPECT_EQ(link->Take(), "   LT  47 20 10 92\r\n");
    Receive(Answer("CCCCCCCCCCCCCCCC"));
    EXPECT_EQ(target.Take(), (Ids{FS, FS, FS, AD}));
    EXPECT_STREQ(engine.GetNewString(), "AAAAAAAAAAAAAAAABBBBBBBBBBBBBBBBCCCCCCC");
}

TEST_F(FrameEngineTest, ALongOldInterfaceTextReadIsCutToo) {
    UseDriver("V10!AHuge!9!5!N48!");
    Select("Huge");
    engine.Ask(&target, 0);
    for (int i = 0; i < 12; ++i)
        Receive(Answer("61 62 63 64"));
    EXPECT_EQ(target.ids.back(), AD);
    std::string expected;
    for (int i = 0; i < 10; ++i)
        expected += "abcd";
    expected.resize(39);
    EXPECT_EQ(std::string(engine.GetNewString()), expected);
}

TEST_F(FrameEngineTest, AnAskAfterAnAbandonedTextReadStartsTheTextAfresh) {
    Select("Text");
    engine.Ask(&target, 0);
    Receive(Answer("41 42 43 44"));
    SilentTicks(5);
    // The second part never came; the caller asks again.
    engine.Ask(&target, 0);
    Receive(Answer("51 52 53 54"));
    Receive(Answer("55 56 57 58"));
    EXPECT_STREQ(engine.GetNewString(), "QRSTUVWX");
}

TEST_F(FrameEngineTest, SetStringLengthServesReadsContinuedWithoutAWindow) {
    UseDriver(EngineDriverV11);
    Select("LongText");
    engine.Ask(&target, 0);
    Receive(Answer("ABCDEFGHIJKLMNOP"));
    Receive(Answer("QRST"));
    link->Take();
    target.Take();
    engine.SetStringLength(6);
    engine.SetStringLength(33);
    engine.SetStringLength(0);
    ASSERT_EQ(engine.Ask(nullptr, 2), 1);
    // Address 2 past the last start (0), six characters.
    EXPECT_EQ(link->Write(0), "   LT  46 02 06 ");

    // The length is also the stride between the sensors' texts of a per-sensor text test.
    SilentTicks(20);
    Select("SensText");
    list.SetSensorNumber(3);
    ASSERT_EQ(engine.Ask(&target, 0), 1);
    SilentTicks(20);
    link->Take();
    engine.SetStringLength(4);
    ASSERT_EQ(engine.Ask(nullptr, 2), 1);
    // Sensor 3 at a stride of four, two characters in: address 10, four characters.
    EXPECT_EQ(link->Write(0), "   LT  3E 0A 04 ");
}

} // namespace

namespace {

// The text of a read: at most 39 characters and its NUL.
constexpr size_t NewStringRoom = 40;
// The longest command line: a text write of a hundred characters behind its header.
constexpr int LongestWrite = 120;

// Arbitrary bytes, broken frames and requests on every kind of test, in a fixed pseudo-random
// order: nothing may crash or run past a buffer (the sanitizers watch), what the engine hands
// out stays within its documented bounds, and it always comes back to a sound state.
TEST_F(CommsTest, RandomStreamsAndRequestsKeepTheEngineInBounds) {
    UseDriver(EngineDriverV11);
    const char* tests[] = {"Byte",     "Word",     "Long", "Split",    "Text",    "SensByte",
                           "SensWord", "SensText", "Hex",  "LongText", "HugeText"};
    std::mt19937 random(20261207);
    std::vector<char> uploaded(CommsEngine::UploadCapacity + 1);
    auto pick = [&random](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    for (int round = 0; round < 3000; ++round) {
        switch (pick(8)) {
        case 0:
            list.FindTest(tests[pick(11)]);
            list.SetSensorNumber(pick(300) - 20);
            break;
        case 1:
            engine.Ask(pick(4) ? &target : nullptr, pick(600) - 100);
            break;
        case 2:
            engine.Set(&target, static_cast<unsigned int>(random()));
            break;
        case 3:
            engine.Set(&target, std::string(static_cast<size_t>(pick(150)), 'q'));
            break;
        case 4: {
            std::string payload;
            for (int i = pick(50); i > 0; --i)
                payload += static_cast<char>(random());
            Receive(MakeFrame(pick(2) ? 'M' : 'A', payload.substr(0, 44)));
            break;
        }
        case 5: {
            std::string noise;
            for (int i = pick(700); i > 0; --i)
                noise += static_cast<char>(pick(3) ? random() : "Y\r\n?"[pick(4)]);
            Receive(noise);
            break;
        }
        case 6:
            engine.SetStringLength(pick(40) - 4);
            engine.SetFileSize(pick(100000) - 1000, "x");
            break;
        default:
            SilentTicks(pick(25));
            break;
        }
        ASSERT_NE(std::memchr(engine.GetNewString(), '\0', NewStringRoom), nullptr);
        int length = -1;
        engine.GetUploadedData(uploaded.data(), length);
        ASSERT_GE(length, 0);
        ASSERT_LE(length, CommsEngine::UploadCapacity);
        ASSERT_EQ(uploaded[static_cast<size_t>(length)], '\0');
        ASSERT_LE(engine.GetUploadOverflow(), 1);
        for (int written : link->writes)
            ASSERT_LE(written, LongestWrite);
        if (round % 50 == 49) {
            ExpectRecovers();
            ASSERT_FALSE(HasFatalFailure());
        }
        link->Take();
        target.Take();
    }
}

// Driver texts come from the instrument: random ones, with extreme numbers, lengths and sensor
// numbers, must give tests that every request handles without overflow or a write past a buffer.
TEST_F(CommsTest, RandomDriverTextsGiveTestsThatEveryRequestHandles) {
    std::mt19937 random(7122026);
    auto pick = [&random](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const char* numbers[] = {"0",           "11",          "-1", "255", "2147483647",
                             "-2147483648", "99999999999", "",   "x",   " 7"};
    const char* flags[] = {"1", "2", "3", "4", "5", "133", "-1", "2147483647", "", "37"};
    const char* sensors[] = {
        "N",   "S", "N16",         "S6", "N2147483647", "S2147483647", "N-2147483648",
        "S-5", "",  "N99999999999"};
    const int sensorNumbers[] = {0, 1, 3, -1, INT_MAX, INT_MIN, 1000000};
    for (int round = 0; round < 400; ++round) {
        std::string text = pick(2) ? "V10!" : "V11!";
        for (int entry = pick(6); entry > 0; --entry) {
            text += "A";
            text += "T" + std::to_string(entry);
            text += std::string("!") + numbers[pick(10)] + "!" + flags[pick(10)] + "!" +
                    sensors[pick(10)] + (pick(5) ? "!" : "\r\n!");
        }
        if (pick(4) == 0) {
            for (int i = pick(300); i > 0; --i)
                text += static_cast<char>(pick(2) ? "!\r\nSN5-"[pick(7)] : 1 + pick(255));
        }
        UseDriver(text.c_str());
        for (std::string name = list.FindFirst(0); !name.empty(); name = list.FindNext()) {
            list.FindTest(name);
            list.SetSensorNumber(sensorNumbers[pick(7)]);
            // The previous request times out, so this one goes out at once.
            SilentTicks(20);
            switch (pick(4)) {
            case 0:
                engine.Ask(&target, pick(2) ? INT_MAX : pick(100));
                break;
            case 1:
                engine.Set(&target, static_cast<unsigned int>(random()));
                break;
            case 2:
                engine.Set(&target, std::string(static_cast<size_t>(pick(120)), 'w'));
                break;
            default:
                engine.Ask(&target, 0);
                Receive(Answer("41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E"));
                Receive(Answer("?"));
                break;
            }
            ASSERT_NE(std::memchr(engine.GetNewString(), '\0', NewStringRoom), nullptr);
            for (int written : link->writes)
                ASSERT_LE(written, LongestWrite);
            link->Take();
            target.Take();
        }
    }
}

// The engine tells its owner typed events, each after the call that asked has returned; CComms
// posts each to its CommandTarget as the id documented for it.
TEST_F(FrameEngineTest, EveryEventReachesATypedListenerAndATargetAsItsId) {
    using E = CommsEvent;
    using Events = std::vector<CommsEvent>;
    RecordingListener owner;
    Select("Byte");
    ASSERT_EQ(engine.Ask(&owner, 0), 1);
    EXPECT_TRUE(owner.events.empty());
    Receive(Answer("01"));
    EXPECT_EQ(owner.Take(), (Events{E::FrameStart, E::AskDone}));
    Receive(Answer("02"));
    EXPECT_EQ(owner.Take(), (Events{E::FrameStart, E::UploadDone}));
    ASSERT_EQ(engine.Set(&owner, 5u), 1);
    EXPECT_TRUE(owner.events.empty());
    Receive(Answer("00"));
    EXPECT_EQ(owner.Take(), (Events{E::FrameStart, E::SetDone}));
    engine.Ask(&owner, 0);
    Receive("YHA01 9E\r\n");
    SilentTicks(20);
    EXPECT_EQ(owner.Take(), (Events{E::FrameStart, E::ChecksumError, E::TimedOut}));
    engine.Ask(&owner, 0, CommsEngine::Refusal::Answers);
    Receive(Answer("?"));
    EXPECT_EQ(owner.Take(), (Events{E::FrameStart, E::Refused}));
    // A listener that has gone hears nothing more.
    engine.Ask(&owner, 0);
    engine.ForgetListener(&owner);
    Receive(Answer("01"));
    SilentTicks(20);
    EXPECT_TRUE(owner.events.empty());

    const std::pair<CommsEvent, int> ids[] = {
        {E::FrameStart, 18100}, {E::TimedOut, 18101},      {E::AskDone, 18102}, {E::SetDone, 18103},
        {E::UploadDone, 18104}, {E::ChecksumError, 18105}, {E::Refused, 18106}};
    for (const auto& [event, id] : ids) {
        CommsListener& listener = target;
        listener.OnCommsEvent(event);
        EXPECT_EQ(target.Take(), (Ids{id}));
    }
}

} // namespace
