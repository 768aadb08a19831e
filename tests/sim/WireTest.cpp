#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "HostLines.h"
#include "sim/Wire.h"

using sim::CommandKind;
using sim::HostCommand;
using sim::ParseStatus;

namespace {

sim::ParseOutcome Parse(const std::string& line, HostCommand& cmd) {
    return sim::ParseCommandLine(reinterpret_cast<const uint8_t*>(line.data()), line.size(), cmd);
}

std::string Frame(uint8_t kind, const std::string& payload) {
    uint8_t out[sim::kMaxFrame];
    const size_t n = sim::BuildFrame(kind, reinterpret_cast<const uint8_t*>(payload.data()),
                                     payload.size(), out);
    return std::string(reinterpret_cast<char*>(out), n);
}

} // namespace

TEST(SimWire, ReadOfUploadFlagAsTheHostSendsIt) {
    HostCommand cmd;
    ASSERT_EQ(Parse("   LR  0B 00 01 8F\r\n", cmd).status, ParseStatus::Ok);
    EXPECT_EQ(cmd.kind, CommandKind::Read);
    EXPECT_EQ(cmd.test, 11);
    EXPECT_EQ(cmd.address, 0);
    EXPECT_EQ(cmd.count, 1);
}

TEST(SimWire, WriteByteOfTen) {
    HostCommand cmd;
    ASSERT_EQ(Parse("   LW  0B 00 0A 7A\r\n", cmd).status, ParseStatus::Ok);
    EXPECT_EQ(cmd.kind, CommandKind::WriteByte);
    EXPECT_EQ(cmd.test, 11);
    ASSERT_EQ(cmd.valueCount, 1);
    EXPECT_EQ(cmd.values[0], 10);
}

TEST(SimWire, WriteWordAndLong) {
    HostCommand cmd;
    ASSERT_EQ(Parse(simtest::CommandLine('W', {0x0C, 0, 0xFD, 0x01}), cmd).status, ParseStatus::Ok);
    EXPECT_EQ(cmd.kind, CommandKind::WriteWord);
    EXPECT_EQ(cmd.values[0], 0xFD);
    EXPECT_EQ(cmd.values[1], 0x01);
    ASSERT_EQ(Parse(simtest::CommandLine('W', {0x0F, 0, 1, 2, 3, 4}), cmd).status, ParseStatus::Ok);
    EXPECT_EQ(cmd.kind, CommandKind::WriteLong);
    EXPECT_EQ(cmd.valueCount, 4);
    EXPECT_EQ(cmd.values[3], 4);
}

TEST(SimWire, TextWriteKeepsBlanksAndLowerCaseFields) {
    HostCommand cmd;
    const std::string line = simtest::TextWriteLine(0x16, 0, "AB 12       ");
    ASSERT_EQ(Parse(line, cmd).status, ParseStatus::Ok);
    EXPECT_EQ(cmd.kind, CommandKind::WriteText);
    EXPECT_EQ(cmd.test, 0x16);
    EXPECT_EQ(std::string(cmd.text, static_cast<size_t>(cmd.textLength)), "AB 12       ");
}

TEST(SimWire, TextChunkOfOlderInterfacesHasNoChecksum) {
    HostCommand cmd;
    ASSERT_EQ(Parse("   UW  16 04 41 42 20 7a\r\n", cmd).status, ParseStatus::Ok);
    EXPECT_EQ(cmd.kind, CommandKind::WriteTextChunk);
    EXPECT_EQ(cmd.test, 0x16);
    EXPECT_EQ(cmd.address, 4);
    EXPECT_EQ(std::string(cmd.text, 4), "AB z");
}

struct BadLine {
    const char* what;
    std::string line;
    ParseStatus expected;
};

class SimWireBadLines : public ::testing::TestWithParam<BadLine> {};

TEST_P(SimWireBadLines, RejectedWithoutCrashing) {
    HostCommand cmd;
    const BadLine& bad = GetParam();
    EXPECT_EQ(Parse(bad.line, cmd).status, bad.expected) << bad.what;
}

INSTANTIATE_TEST_SUITE_P(
    Table, SimWireBadLines,
    ::testing::Values(
        BadLine{"wrong checksum", "   LR  0B 00 01 8E\r\n", ParseStatus::BadChecksum},
        BadLine{"checksum of another line", "   LR  0B 00 02 8F\r\n", ParseStatus::BadChecksum},
        BadLine{"no CR LF", "   LR  0B 00 01 8F", ParseStatus::Malformed},
        BadLine{"LF only", "   LR  0B 00 01 8F\n", ParseStatus::Malformed},
        BadLine{"LF CR", "   LR  0B 00 01 8F\n\r", ParseStatus::Malformed},
        BadLine{"two leading blanks", "  LR  0B 00 01 8F\r\n", ParseStatus::Malformed},
        BadLine{"length character too small", "   MR  0B 00 01 8F\r\n", ParseStatus::Malformed},
        BadLine{"length character too large", "   KR  0B 00 01 8F\r\n", ParseStatus::Malformed},
        BadLine{"length character below 67", "   !R  0B\r\n", ParseStatus::Malformed},
        BadLine{"checksum not hexadecimal", "   LR  0B 00 01 G1\r\n", ParseStatus::Malformed},
        BadLine{"one blank after letter", simtest::Checksummed("   LR 0B 00 01 "),
                ParseStatus::Malformed},
        BadLine{"field not hexadecimal", simtest::Checksummed("   LR  0B 0Z 01 "),
                ParseStatus::Malformed},
        BadLine{"three-digit field", simtest::Checksummed("   MR  1FD 00 01 "),
                ParseStatus::Malformed},
        BadLine{"unknown command letter", simtest::CommandLine('Q', {1, 2, 3}),
                ParseStatus::Unsupported},
        BadLine{"read with two fields", simtest::CommandLine('R', {1, 2}),
                ParseStatus::Unsupported},
        BadLine{"read with four fields", simtest::CommandLine('R', {1, 2, 3, 4}),
                ParseStatus::Unsupported},
        BadLine{"write with five fields", simtest::CommandLine('W', {1, 2, 3, 4, 5}),
                ParseStatus::Unsupported},
        BadLine{"text write without fields", simtest::Checksummed("   IS  "),
                ParseStatus::Malformed},
        BadLine{"text chunk with signed character codes", "   UW  16 00 ffffffe9 41 42 43\r\n",
                ParseStatus::Malformed},
        BadLine{"text chunk with a bad field", "   UW  16 00 4G 41 42 43\r\n",
                ParseStatus::Malformed},
        BadLine{"empty", "", ParseStatus::Malformed},
        BadLine{"CR LF alone", "\r\n", ParseStatus::Malformed},
        BadLine{"binary noise", std::string("\x00\xff\x59\x4c\x52\x0d\x0a", 7),
                ParseStatus::Malformed},
        BadLine{"overlong", std::string(300, ' ') + "\r\n", ParseStatus::Malformed}));

TEST(SimWire, AnswerFrameBytes) {
    // L = 8: 'Y' 'H' 'A' '0' 'A' ';' sum to 398; 398 + 0x72 = 512.
    EXPECT_EQ(Frame('A', "0A"), "YHA0A;72\r\n");
    // Refusal: 'Y' 'G' 'A' '?' ';' sum to 89+71+65+63+59 = 347; 347 + 0xA5 = 512.
    EXPECT_EQ(Frame('A', "?"), "YGA?;A5\r\n");
}

TEST(SimWire, BulkFrameCarriesAnyByteAndAtMost44) {
    std::string data(44, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 37 + 13);
    data[5] = '\r';
    data[6] = '\n';
    data[7] = 'Y';
    const std::string frame = Frame('M', data);
    ASSERT_EQ(frame.size(), 52u);
    EXPECT_EQ(frame[1], 'r'); // L = 50
    const std::vector<uint8_t> bytes(frame.begin(), frame.end());
    const auto frames = simtest::SplitFrames(bytes);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_TRUE(frames[0].checksumOk);
    EXPECT_EQ(frames[0].payload, data);
    uint8_t out[sim::kMaxFrame];
    uint8_t big[45] = {};
    EXPECT_EQ(sim::BuildFrame('M', big, 45, out), 0u);
}

TEST(SimWire, AssemblerKeepsLineFeedInsideTextWrite) {
    sim::LineAssembler lines;
    const std::string line = simtest::TextWriteLine(0x16, 0, "AB\nCD");
    int complete = 0;
    std::string got;
    for (char c : line) {
        if (lines.Push(static_cast<uint8_t>(c))) {
            ++complete;
            got.assign(reinterpret_cast<const char*>(lines.Line()), lines.LineLength());
        }
    }
    EXPECT_EQ(complete, 1);
    EXPECT_EQ(got, line);
}

TEST(SimWire, AssemblerDropsOverlongLineAndRecovers) {
    sim::LineAssembler lines;
    const std::string junk(400, 'x');
    bool overlong = false;
    for (char c : junk + "\r\n")
        if (lines.Push(static_cast<uint8_t>(c)))
            overlong = lines.Overlong();
    EXPECT_TRUE(overlong);
    const std::string good = "   LR  0B 00 01 8F\r\n";
    std::string got;
    for (char c : good)
        if (lines.Push(static_cast<uint8_t>(c)))
            got.assign(reinterpret_cast<const char*>(lines.Line()), lines.LineLength());
    EXPECT_EQ(got, good);
}
