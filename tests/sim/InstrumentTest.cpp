#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "GeneratedMemory.h"
#include "HostLines.h"
#include "sim/Instrument.h"
#include "sim/LogMemory.h"
#include "sim/MemoryLayout.h"
#include "sim/SerialNumber.h"

using simtest::CommandLine;
using simtest::Frame;

namespace {

const sim::LogMemory& Memory() {
    return simtest::GeneratedMemory();
}

class Bench {
public:
    explicit Bench(sim::InstrumentOptions options = {}, sim::FaultPlan faults = {},
                   uint64_t seed = 1)
        : instrument(options, Memory().Bytes(), faults, seed, queue) {}

    // Sends a line and returns the frames it brought.
    std::vector<Frame> Send(const std::string& line, size_t* noise = nullptr) {
        instrument.Receive(reinterpret_cast<const uint8_t*>(line.data()), line.size());
        std::vector<uint8_t> bytes(queue.Size());
        queue.Peek(bytes.data(), bytes.size());
        queue.Drop(bytes.size());
        raw.insert(raw.end(), bytes.begin(), bytes.end());
        return simtest::SplitFrames(bytes, noise);
    }
    std::string Answer(const std::string& line) {
        const auto frames = Send(line);
        return frames.size() == 1 ? frames[0].payload : "<" + std::to_string(frames.size()) + ">";
    }
    // Data of the bulk frames of a run, checking the run's shape.
    std::string Run(const std::vector<Frame>& frames) {
        std::string data;
        EXPECT_GE(frames.size(), 2u);
        for (size_t i = 1; i + 1 < frames.size(); ++i) {
            EXPECT_EQ(frames[i].kind, 'M');
            EXPECT_TRUE(frames[i].checksumOk);
            EXPECT_LE(frames[i].payload.size(), 44u);
            data += frames[i].payload;
        }
        EXPECT_NE(frames.back().kind, 'M');
        return data;
    }

    sim::OutputQueue queue;
    sim::Instrument instrument;
    std::vector<uint8_t> raw;
};

std::string MemoryText(size_t offset, size_t length) {
    return std::string(reinterpret_cast<const char*>(Memory().Bytes()) + offset, length);
}

} // namespace

TEST(SimInstrument, UploadFlagReadsZero) {
    Bench b;
    const auto frames = b.Send("   LR  0B 00 01 8F\r\n");
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_NE(frames[0].kind, 'M');
    EXPECT_TRUE(frames[0].checksumOk);
    EXPECT_EQ(frames[0].payload, "00");
}

TEST(SimInstrument, DriverTextRunAfterAcknowledgement) {
    Bench b;
    const auto frames = b.Send("   LW  0B 00 0A 7A\r\n");
    ASSERT_GE(frames.size(), 3u);
    EXPECT_EQ(frames[0].payload, "0A");
    const std::string text = b.Run(frames);
    EXPECT_EQ(text, b.instrument.Tests().DriverText());
    EXPECT_EQ(text.rfind("V11!", 0), 0u);
    EXPECT_NE(text.find("BUpload flag!11!129!N!"), std::string::npos);
    EXPECT_NE(text.find("ASector to upload!12!130!N!"), std::string::npos);
    EXPECT_NE(text.find("AIndex to upload!13!130!N!"), std::string::npos);
    EXPECT_NE(text.find("ASerial number!20!5!N16!"), std::string::npos);
    EXPECT_NE(text.find("AFirmware version!21!5!N12!"), std::string::npos);
    EXPECT_NE(text.find("ASensor reading!30!2!S!"), std::string::npos);
    // The flag reads 0 again once the run is over.
    EXPECT_EQ(b.Answer("   LR  0B 00 01 8F\r\n"), "00");
}

TEST(SimInstrument, DriverVersionAAndInterfaceTen) {
    sim::InstrumentOptions options;
    options.uploadFlagLetter = 'A';
    options.interfaceVersion = 10;
    Bench b(options);
    const std::string text = b.Run(b.Send("   LW  0B 00 0A 7A\r\n"));
    EXPECT_EQ(text.rfind("V10!", 0), 0u);
    EXPECT_NE(text.find("AUpload flag!11!129!N!"), std::string::npos);
}

TEST(SimInstrument, ConfigurationBlock) {
    Bench b;
    const std::string block = b.Run(b.Send(CommandLine('W', {11, 0, 20})));
    ASSERT_EQ(block.size(), sim::kConfigBlockSize);
    EXPECT_EQ(block[0], 8);
    EXPECT_STREQ(block.c_str() + 308, "Survey");
    EXPECT_STREQ(block.c_str() + 378, "Leak Search");
    EXPECT_STREQ(block.c_str() + 448, "Barhole");
    EXPECT_STREQ(block.c_str() + 518, "R[seau Enqu]te");
}

TEST(SimInstrument, IndexSectorIsWholeSectorWhateverTheOffset) {
    Bench b;
    EXPECT_EQ(b.Answer(CommandLine('W', {12, 0, 4, 0})), "04 00");
    EXPECT_EQ(b.Answer(CommandLine('W', {13, 0, 0, 4})), "00 04");
    const std::string data = b.Run(b.Send(CommandLine('W', {11, 0, 3})));
    EXPECT_EQ(data, MemoryText(4 * sim::kSectorSize, sim::kSectorSize));
}

TEST(SimInstrument, SessionPieceOf1024FromTheOffset) {
    Bench b;
    EXPECT_EQ(b.Answer(CommandLine('W', {12, 0, 0xFD, 0x01})), "FD 01"); // sector 509
    EXPECT_EQ(b.Answer(CommandLine('W', {13, 0, 0x00, 0x0C})), "00 0C"); // offset 3072
    const auto frames = b.Send(CommandLine('W', {11, 0, 3}));
    EXPECT_EQ(frames.size(), 1u + 24u + 1u); // 23 frames of 44 and one of 12
    EXPECT_EQ(b.Run(frames), MemoryText(509 * sim::kSectorSize + 3072, sim::kSessionPiece));
    EXPECT_EQ(frames.back().payload, "00 04");
}

TEST(SimInstrument, LastBytesOfTheMemoryAreCutAtItsEnd) {
    Bench b;
    b.Send(CommandLine('W', {12, 0, 0xFF, 0x01}));
    b.Send(CommandLine('W', {13, 0, 0xFF, 0x0F}));
    EXPECT_EQ(b.Run(b.Send(CommandLine('W', {11, 0, 3}))), MemoryText(2097151, 1));
}

TEST(SimInstrument, Refusals) {
    Bench b;
    EXPECT_EQ(b.Answer(CommandLine('R', {0x63, 0, 1})), "?");        // unknown test
    EXPECT_EQ(b.Answer(CommandLine('W', {14, 0, 1, 2})), "?");       // not alterable
    EXPECT_EQ(b.Answer(CommandLine('W', {12, 0, 0x00, 0x02})), "?"); // sector 512
    EXPECT_EQ(b.Answer(CommandLine('W', {13, 0, 0x00, 0x10})), "?"); // offset 4096
    EXPECT_EQ(b.Answer(CommandLine('T', {14, 0, 4})), "?");          // text read of a number
    EXPECT_EQ(b.Answer(CommandLine('R', {30, 8, 2})), "?");          // sensor 5
    EXPECT_EQ(b.Answer(CommandLine('Q', {14, 0, 4})), "?");          // unknown letter
    EXPECT_EQ(b.Answer("   LR  0B 00 01 8E\r\n"), "<0>");            // bad checksum: silence
    EXPECT_EQ(b.Answer("   LR 0B 00 01 8F\r\n"), "<0>");             // malformed: silence
    EXPECT_EQ(b.instrument.LinesRejected(), 3u);
}

TEST(SimInstrument, NumericValuesOnTheWire) {
    Bench b;
    EXPECT_EQ(b.Answer(CommandLine('R', {14, 0, 2})), "9C 01");       // 412
    EXPECT_EQ(b.Answer(CommandLine('R', {16, 0, 4})), "2E 49 00 00"); // 18734
    EXPECT_EQ(b.Answer(CommandLine('R', {15, 0, 4})), "A2 31 C0 F4"); // high word first
    EXPECT_EQ(b.Answer(CommandLine('W', {15, 0, 0x01, 0x00, 0x02, 0x00})), "01 00 02 00");
    EXPECT_EQ(b.instrument.Tests().Value(b.instrument.Tests().Find(15), 0), 65538u);
    // Per-sensor: byte tests by sensor - 1, others by 2 x sensor - 2.
    EXPECT_EQ(b.Answer(CommandLine('R', {30, 4, 2})), "D1 00"); // sensor 3: O2 20.9
    EXPECT_EQ(b.Answer(CommandLine('R', {32, 1, 1})), "04");    // sensor 2: CO
    EXPECT_EQ(b.Answer(CommandLine('W', {31, 2, 40, 0})), "28 00");
    EXPECT_EQ(b.instrument.Tests().Value(b.instrument.Tests().Find(31), 1), 40u);
}

TEST(SimInstrument, TextReadsOnBothInterfaces) {
    Bench b;
    EXPECT_EQ(b.Answer(CommandLine('R', {21, 0, 12})), "34 2E 31 32"); // "4.12"
    EXPECT_EQ(b.Answer(CommandLine('R', {21, 8, 12})), "33 20 20 20"); // "3" and blanks
    // Per-sensor text: (sensor - 1) x length + index.
    EXPECT_EQ(b.Answer(CommandLine('T', {33, 12, 12})), "CO cell     ");
}

// The serial number read as the host reads text: whole from interface 11 on, four character
// codes at a time up to 10.
TEST(SimInstrument, SerialNumberOnBothInterfaces) {
    struct Case {
        int interfaceVersion;
        uint64_t seed;
        std::string given;
        std::string read; // blank-padded to 16
    };
    const std::string ofSeed7 = sim::SerialNumberForSeed(7);
    for (const Case& c :
         {Case{11, 7, "", ofSeed7 + std::string(16 - ofSeed7.size(), ' ')},
          Case{10, 7, "", ofSeed7 + std::string(16 - ofSeed7.size(), ' ')},
          Case{11, 7, "BENCH 7", "BENCH 7         "}, Case{10, 8, "BENCH 7", "BENCH 7         "},
          Case{10, 1, "0123456789ABCDEF", "0123456789ABCDEF"}}) {
        sim::InstrumentOptions options;
        options.interfaceVersion = c.interfaceVersion;
        options.serialNumber = c.given;
        Bench b(options, {}, c.seed);
        std::string read;
        if (c.interfaceVersion >= 11) {
            read = b.Answer(CommandLine('T', {20, 0, 16}));
        } else {
            for (int offset = 0; offset < 16; offset += 4) {
                unsigned code[4] = {};
                const std::string answer = b.Answer(CommandLine('R', {20, offset, 16}));
                ASSERT_EQ(std::sscanf(answer.c_str(), "%2X %2X %2X %2X", &code[0], &code[1],
                                      &code[2], &code[3]),
                          4)
                    << answer;
                for (unsigned k : code)
                    read += static_cast<char>(k);
            }
        }
        EXPECT_EQ(read, c.read) << "interface " << c.interfaceVersion;
    }
}

TEST(SimInstrument, TextWritesOnBothInterfaces) {
    Bench b;
    EXPECT_EQ(b.Answer(simtest::TextWriteLine(22, 0, "JOB-7 A?    ")), "00 0C");
    EXPECT_EQ(b.Answer(CommandLine('T', {22, 0, 12})), "JOB-7 A?    ");
    EXPECT_EQ(b.Answer(simtest::TextChunkLine(22, 0, "ABCD")), "00 04");
    EXPECT_EQ(b.Answer(simtest::TextChunkLine(22, 4, "EFGH")), "04 04");
    EXPECT_EQ(b.Answer(simtest::TextChunkLine(22, 8, "IJ  ")), "08 04");
    EXPECT_EQ(b.Answer(CommandLine('T', {22, 0, 12})), "ABCDEFGHIJ  ");
    EXPECT_EQ(b.Answer(simtest::TextChunkLine(22, 12, "KLMN")), "?"); // past its end
    EXPECT_EQ(b.Answer(simtest::TextWriteLine(20, 0, "X")), "?");     // serial: fixed
}

TEST(SimInstrument, CommandSplitAcrossReadsAndJoined) {
    Bench b;
    const std::string two = "   LR  0B 00 01 8F\r\n" + CommandLine('R', {14, 0, 2});
    std::vector<Frame> all;
    for (char c : two) {
        const auto frames = b.Send(std::string(1, c));
        all.insert(all.end(), frames.begin(), frames.end());
    }
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].payload, "00");
    EXPECT_EQ(all[1].payload, "9C 01");
}

TEST(SimInstrument, RefuseFaultAnswersQuestionMarks) {
    sim::FaultPlan faults;
    faults.refuse = 1;
    Bench b({}, faults);
    EXPECT_EQ(b.Answer("   LR  0B 00 01 8F\r\n"), "?");
    EXPECT_EQ(b.Answer("   LW  0B 00 0A 7A\r\n"), "?");
}

TEST(SimInstrument, DropFaultSendsNothing) {
    sim::FaultPlan faults;
    faults.drop = 1;
    Bench b({}, faults);
    EXPECT_TRUE(b.Send("   LW  0B 00 0A 7A\r\n").empty());
    EXPECT_EQ(b.instrument.CommandsAccepted(), 1u);
}

TEST(SimInstrument, StallAfterFramesCutsARunShort) {
    sim::FaultPlan faults;
    faults.stallAfter = 5;
    Bench b({}, faults);
    EXPECT_EQ(b.Send("   LW  0B 00 0A 7A\r\n").size(), 5u);
    EXPECT_TRUE(b.instrument.Stalled());
    EXPECT_TRUE(b.Send("   LR  0B 00 01 8F\r\n").empty());
}

TEST(SimInstrument, ChecksumFaultSpoilsEveryFrame) {
    sim::FaultPlan faults;
    faults.checksum = 1;
    Bench b({}, faults);
    const auto frames = b.Send("   LW  0B 00 0A 7A\r\n");
    ASSERT_FALSE(frames.empty());
    for (const Frame& f : frames)
        EXPECT_FALSE(f.checksumOk);
}

TEST(SimInstrument, GarbageFaultPutsNoiseWithoutYBetweenFrames) {
    sim::FaultPlan faults;
    faults.garbage = 1;
    Bench b({}, faults);
    size_t noise = 0;
    const auto frames = b.Send("   LW  0B 00 0A 7A\r\n", &noise);
    EXPECT_GE(noise, frames.size());
    EXPECT_EQ(b.Run(frames), b.instrument.Tests().DriverText());
}

TEST(SimInstrument, FaultsAreDeterministicFromTheSeed) {
    sim::FaultPlan faults;
    faults.checksum = 0.3;
    faults.refuse = 0.3;
    faults.garbage = 0.3;
    faults.drop = 0.2;
    const auto play = [&faults](uint64_t seed) {
        Bench b({}, faults, seed);
        for (int i = 0; i < 20; ++i) {
            b.Send("   LW  0B 00 0A 7A\r\n");
            b.Send("   LR  0B 00 01 8F\r\n");
        }
        return b.raw;
    };
    EXPECT_EQ(play(7), play(7));
    EXPECT_NE(play(7), play(8));
}

TEST(SimFaults, ParseTable) {
    sim::FaultPlan plan;
    std::string error;
    ASSERT_TRUE(sim::ParseFaultPlan("checksum:0.1,drop:0.2,refuse:1,garbage:0,stall-after:12", plan,
                                    error));
    EXPECT_DOUBLE_EQ(plan.checksum, 0.1);
    EXPECT_DOUBLE_EQ(plan.drop, 0.2);
    EXPECT_DOUBLE_EQ(plan.refuse, 1);
    EXPECT_EQ(plan.stallAfter, 12);
    for (const char* bad :
         {"", "checksum", "checksum:", "checksum:1.5", "drop:-0.1", "refuse:x", "stall-after:-1",
          "stall-after:1.5", "noise:0.1", "drop:0.1,,", "drop:0.1,garbage"}) {
        sim::FaultPlan untouched;
        untouched.drop = 0.25;
        EXPECT_FALSE(sim::ParseFaultPlan(bad, untouched, error)) << bad;
        EXPECT_DOUBLE_EQ(untouched.drop, 0.25) << bad;
        EXPECT_FALSE(error.empty());
    }
}

TEST(SimPacer, SendsBaudOverTenBytesPerSecond) {
    sim::Pacer pacer(115200);
    EXPECT_EQ(pacer.Allowance(1000000000, 100000), 1u); // a burst starts with one byte
    pacer.Sent(1);
    EXPECT_EQ(pacer.Allowance(1000000000 + 100000000, 100000), 1152u); // 100 ms later
    pacer.Sent(1152);
    EXPECT_EQ(pacer.Allowance(1000000000 + 100000000, 100000), 0u);
    pacer.Idle(); // idle time earns nothing
    EXPECT_EQ(pacer.Allowance(9000000000, 100000), 1u);
    sim::Pacer unpaced;
    EXPECT_EQ(unpaced.Allowance(0, 4242), 4242u);
}

TEST(SimOutputQueue, WrapsAndRefusesWhatDoesNotFit) {
    sim::OutputQueue queue;
    std::vector<uint8_t> block(40000);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<uint8_t>(i * 7);
    ASSERT_TRUE(queue.Put(block.data(), block.size()));
    EXPECT_FALSE(queue.Put(block.data(), block.size())); // 80,000 > 65,536: all or nothing
    queue.Drop(30000);
    ASSERT_TRUE(queue.Put(block.data(), block.size())); // wraps round the ring
    std::vector<uint8_t> out(queue.Size());
    ASSERT_EQ(queue.Peek(out.data(), out.size()), 50000u);
    EXPECT_TRUE(std::equal(block.begin() + 30000, block.end(), out.begin()));
    EXPECT_TRUE(std::equal(block.begin(), block.end(), out.begin() + 10000));
}

TEST(SimInstrument, RandomBytesNeverCrashAndGoodLinesStillWork) {
    Bench b;
    sim::Dice dice(99);
    std::string noise;
    for (int i = 0; i < 200000; ++i) {
        // Mostly the bytes a command line is made of, so that many lines get far into parsing.
        static const char kAlphabet[] = "   LRTWSUOI0123456789ABCDEFabcdef\r\n\r\n";
        noise += dice.Chance(0.9) ? kAlphabet[dice.Below(sizeof kAlphabet - 1)]
                                  : static_cast<char>(dice.Below(256));
    }
    b.Send(noise);
    b.Send("\r\n");
    EXPECT_EQ(b.Answer("   LR  0B 00 01 8F\r\n"), "00");
}
