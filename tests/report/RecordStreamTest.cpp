#include "SessionFixture.h"

#include <cstring>

namespace {

const std::string kHeader =
    "{\\rtf{\\colortbl\\red0\\green0\\blue0;\\red150\\green150\\blue255;\\red0\\green255\\blue255;"
    "\\red0\\green255\\blue0;\\red255\\green0\\blue255;\\red255\\green0\\blue0;\\red255\\green255"
    "\\blue0;\\red255\\green255\\blue255;\\red0\\green0\\blue128;\\red0\\green128\\blue128;\\red0"
    "\\green128\\blue0;\\red128\\green0\\blue128;\\red128\\green0\\blue0;\\red128\\green128\\blue0;"
    "}"
    "{\\fonttbl{\\f1\\froman\\fcharset2\\fprq2 Symbol;}{\\f2\\fmodern Courier New;}}{\\f2 \\fs20 ";

const std::string kUnrecognised = "\\par Unrecognised log.\\par ";

std::vector<uint8_t> SwitchOff(uint32_t stamp = kStamp) {
    return RecordBuilder::Stamped('Y', '1', stamp).Bytes();
}

class RecordStreamTest : public ReportTest {};

TEST_F(RecordStreamTest, HeaderIsByteExact) {
    EXPECT_EQ(std::strlen(RtfHeader), 411u);
    EXPECT_EQ(std::string(RtfHeader), kHeader);
    EXPECT_EQ(kHeader.back(), ' ');
}

TEST_F(RecordStreamTest, StreamNotStartingWithRecordRendersEmpty) {
    state.HeadingDay = "Monday 07 ";
    state.HeadingMonth = "Dec 2026";
    EXPECT_EQ(Render(std::vector<uint8_t>{0x00, '<', 12, 'Y'}), "");
    EXPECT_EQ(state.SessionReport, "");
    EXPECT_EQ(state.ReportBody, kHeader + "Monday 07 Dec 2026 \\par ");
    EXPECT_EQ(state.ReportText, state.ReportBody + "}}");
}

TEST_F(RecordStreamTest, ErasedSessionRendersEmpty) {
    sessions.Store(3, {});
    EXPECT_EQ(RenderSession(state, sessions, 3), "");
    EXPECT_EQ(state.UnrecognisedLogFlag, 0);
}

TEST_F(RecordStreamTest, FurtherRenderingsAppendSections) {
    state.HeadingDay = "Monday 07 ";
    state.HeadingMonth = "Dec 2026";
    const std::string first = Render(SwitchOff());
    EXPECT_EQ(first, T("\\par %X Switch off.\\par "));
    state.HeadingDay = "Tuesday 08 ";
    const std::string second = Render(RecordBuilder::Stamped('I', '1', kStamp));
    EXPECT_EQ(second, T("\\par %X 07 Dec 2026 Instrument opened.\\par "));
    EXPECT_EQ(state.ReportBody, kHeader + "Monday 07 Dec 2026 \\par " + first +
                                    "\\par -------- Tuesday 08 Dec 2026 --------- \\par " + second);
    EXPECT_EQ(state.ReportText, state.ReportBody + "}}");
    EXPECT_EQ(state.SessionReport, second);
}

TEST_F(RecordStreamTest, EmptiedBodyStartsNewReport) {
    Render(SwitchOff());
    state.ReportBody.clear();
    const std::string text = Render(SwitchOff());
    EXPECT_EQ(state.ReportBody, kHeader + " \\par " + text);
}

TEST_F(RecordStreamTest, RecordsFollowEachOther) {
    const auto stream =
        Join({SwitchOff(), RecordBuilder::Stamped('z', '1', kStamp).Bytes(), SwitchOff()});
    EXPECT_EQ(Render(stream), T("\\par %X Switch off.\\par \\par Manual zero %X\\par "
                                "\\par %X Switch off.\\par "));
    EXPECT_EQ(state.UnrecognisedLogFlag, 0);
}

// Letters outside the dispatch table: the record's length is not used, the stream resumes at the
// next '<' (here the following switch-off record).
class UnrecognisedLetterTest : public RecordStreamTest,
                               public ::testing::WithParamInterface<uint8_t> {};

TEST_P(UnrecognisedLetterTest, SkipsToNextRecordAndFlags) {
    state.HeaderCountdown = 4;
    const auto unknown =
        RecordBuilder::Stamped(static_cast<char>(GetParam()), '1', kStamp).Text("abc").Bytes();
    EXPECT_EQ(Render(Join({unknown, SwitchOff()})),
              kUnrecognised + T("\\par %X Switch off.\\par "));
    EXPECT_EQ(state.UnrecognisedLogFlag, 1);
}

INSTANTIATE_TEST_SUITE_P(Letters, UnrecognisedLetterTest,
                         ::testing::Values('E', 'K', 'N', 'Q', 'R', 'V', 'X', 'a', 'o', 'y', 'q',
                                           ' ', 0x00, 0x7F, 0x80, 0xFF, '[', '`', '{'));

TEST_F(RecordStreamTest, UnrecognisedLetterLeavesHeaderCountdown) {
    state.HeaderCountdown = 4;
    Render(RecordBuilder::Stamped('Q', '1', kStamp));
    EXPECT_EQ(state.HeaderCountdown, 4);
}

TEST_F(RecordStreamTest, RecordStartInsideUnrecognisedPayloadIsTakenAsNextRecord) {
    // The payload's '<' 9 'Y' '1' ... is a switch-off record of its own.
    const auto unknown = RecordBuilder::Stamped('Q', '1', kStamp).Bytes(SwitchOff()).Bytes();
    EXPECT_EQ(Render(unknown), kUnrecognised + T("\\par %X Switch off.\\par "));
}

TEST_F(RecordStreamTest, UnrecognisedLetterAtEndOfDataEndsStream) {
    // No further '<' anywhere: the scan stops at the buffer's end.
    const auto unknown = RecordBuilder::Stamped('Q', '1', kStamp).Bytes();
    std::vector<uint8_t> stream = unknown;
    stream.resize(4000, 0x00);
    EXPECT_EQ(Render(stream), kUnrecognised);
}

TEST_F(RecordStreamTest, ZeroLengthEndsStream) {
    auto stuck = SwitchOff();
    stuck[1] = 0;
    EXPECT_EQ(Render(Join({SwitchOff(), stuck, SwitchOff()})), T("\\par %X Switch off.\\par "));
}

TEST_F(RecordStreamTest, LengthsOneAndTwoEndStream) {
    for (uint8_t length : {1, 2}) {
        auto bad = SwitchOff();
        bad[1] = length;
        EXPECT_EQ(Render(Join({bad, SwitchOff()})), T("\\par %X Switch off.\\par "))
            << "length " << int(length);
    }
}

TEST_F(RecordStreamTest, KnownRecordWithWrongLengthEndsStreamWhereItLands) {
    // Length 10 ends on a byte of the following record that is not '<'.
    auto shortRecord = RecordBuilder::Stamped('Y', '1', kStamp).ForceLength(10).Bytes();
    EXPECT_EQ(Render(Join({shortRecord, SwitchOff()})), T("\\par %X Switch off.\\par "));
}

TEST_F(RecordStreamTest, RecordAt3999EndsStream) {
    auto stream = Join({Filler(3999), SwitchOff()});
    EXPECT_EQ(Render(stream), "");
    EXPECT_EQ(state.UnrecognisedLogFlag, 0);
}

TEST_F(RecordStreamTest, RecordAt3998EndsStream) {
    auto stream = Join({Filler(3998), SwitchOff()});
    EXPECT_EQ(Render(stream), "");
    EXPECT_EQ(state.UnrecognisedLogFlag, 0);
}

TEST_F(RecordStreamTest, RecordAt3997IsDecodedWithZerosPastTheEnd) {
    // Type letter at 3999, version and stamp beyond the buffer read as 0: version 0 is not known.
    auto stream = Join({Filler(3997), SwitchOff()});
    EXPECT_EQ(Render(stream), "\\par 00:00:00 Switch off - new log format.\\par ");
    EXPECT_EQ(state.UnrecognisedLogFlag, 1);
}

TEST_F(RecordStreamTest, RecordRunningPastTheEndReadsZeros) {
    // A job number whose text runs past byte 4000: the zeros beyond end the text.
    auto job = RecordBuilder::Stamped('J', '1', kStamp).Chars("ABCDEFGHIJKL", 12).Byte(0).Bytes();
    auto stream = Join({Filler(3986), job});
    ASSERT_EQ(stream.size(), 4007u);
    EXPECT_EQ(Render(stream), "\\par Job Number ABCDEF\\par ");
}

TEST_F(RecordStreamTest, RecordEndingExactlyAtEndIsDecoded) {
    auto stream = Join({Filler(3992), SwitchOff()});
    ASSERT_EQ(stream.size(), 4000u);
    EXPECT_EQ(Render(stream), T("\\par %X Switch off.\\par "));
}

TEST_F(RecordStreamTest, UnknownVersionFlagsAndGoesOn) {
    const auto on2 = RecordBuilder::Stamped('O', '2', kStamp).Chars("GAS", 3).Bytes();
    EXPECT_EQ(Render(Join({on2, SwitchOff()})),
              T("\\par %X Switch ON- new log format.\\par \\par %X Switch off.\\par "));
    EXPECT_EQ(state.UnrecognisedLogFlag, 1);
}

TEST_F(RecordStreamTest, UnknownVersionResynchronisesOnNextRecord) {
    // The unknown version's length ends inside the next record's stamp; the decoder resumes at
    // the next '<' found after that.
    const auto on2 =
        RecordBuilder::Stamped('O', '2', kStamp).Chars("GAS", 3).ForceLength(14).Bytes();
    EXPECT_EQ(Render(Join({on2, SwitchOff(), SwitchOff()})),
              T("\\par %X Switch ON- new log format.\\par \\par %X Switch off.\\par "));
}

TEST_F(RecordStreamTest, FlagAndCountdownCarryOverRenderings) {
    Render(RecordBuilder::Stamped('Q', '1', kStamp));
    state.HeaderCountdown = 3;
    Render(std::vector<uint8_t>{});
    EXPECT_EQ(state.UnrecognisedLogFlag, 1);
    EXPECT_EQ(state.HeaderCountdown, 3);
}

TEST_F(RecordStreamTest, TextDoneDoesNotEndTheStream) {
    const auto done = RecordBuilder::FreeText("Done").Bytes();
    EXPECT_EQ(Render(Join({done, SwitchOff()})), T("Done\\par %X Switch off.\\par "));
}

TEST_F(RecordStreamTest, EscapedBytesAcrossChunkBoundaries) {
    // 0x55 bytes in stamps and texts are stored escaped; with many of them the stored stream is
    // far longer than the 4,000 bytes it yields, and every 100-byte chunk boundary is crossed.
    std::vector<uint8_t> stream;
    std::string expected;
    while (stream.size() < 3900) {
        RecordBuilder::Stamped('J', '1', 0x55555555).Text("UUUUUUUUUUUU").Byte(0).AppendTo(stream);
        expected += "\\par Job Number UUUUUUUUUUUU\\par ";
    }
    EXPECT_EQ(Render(stream), expected);
    EXPECT_GT(EscapeForFlash(stream).size(), 6500u);
}

TEST_F(RecordStreamTest, ResultIsSessionReport) {
    const std::string text = Render(SwitchOff());
    EXPECT_EQ(text, state.SessionReport);
}

} // namespace

namespace {

// Streams of random bytes, biased towards record starts, known letters, list terminators and
// plausible lengths, rendered under the sanitizers: whatever the bytes, the rendering ends,
// stays inside its buffers and keeps the report well formed.
TEST(RecordStreamRobustness, RandomStreamsRenderSafely) {
    uint32_t seed = 12345;
    auto next = [&seed]() {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7FFF;
    };
    const char letters[] = "ABCDFGHIJLMOPSTUWYZpzQ<";
    for (int round = 0; round < 300; ++round) {
        std::vector<uint8_t> stream;
        while (stream.size() < 4100) {
            switch (next() % 6) {
            case 0: {
                // A record header of a known letter, then random payload.
                const uint8_t length = static_cast<uint8_t>(next() % 60);
                stream.push_back('<');
                stream.push_back(length);
                stream.push_back(static_cast<uint8_t>(letters[next() % (sizeof letters - 1)]));
                stream.push_back(static_cast<uint8_t>('0' + next() % 7));
                break;
            }
            case 1:
                stream.push_back(static_cast<uint8_t>(0xF0 | (next() % 16)));
                break;
            case 2:
                stream.push_back('{');
                break;
            default:
                stream.push_back(static_cast<uint8_t>(next()));
                break;
            }
        }
        stream[0] = '<';
        StoredSessions sessions;
        sessions.Store(1, EscapeForFlash(stream));
        ReportState state;
        state.ShowBarholeGraph = static_cast<int32_t>(round % 2);
        state.ModeNames[0] = round % 3 == 0 ? "" : "{Mode}";
        const std::string text = RenderSession(state, sessions, 1);
        EXPECT_EQ(state.ReportText, state.ReportBody + "}}");
        // Every brace written comes either escaped or from the report's own alarm mark, so the
        // groups stay balanced.
        int depth = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\\') {
                ++i;
            } else if (text[i] == '{') {
                ++depth;
            } else if (text[i] == '}') {
                --depth;
                ASSERT_GE(depth, 0) << "round " << round;
            }
        }
        EXPECT_EQ(depth, 0) << "round " << round;
    }
}

} // namespace
