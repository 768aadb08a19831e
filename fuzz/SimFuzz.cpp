// The simulated instrument's parsers: host command lines (alone, through the line assembler and
// through the whole instrument), its fault list, its dump reader and its program options.
//
// Input: byte 0 picks the path (modulo 6), the rest is that path's own (see each function).
#include "ByteReader.h"
#include "sim/Options.h"

#include "sim/Faults.h"
#include "sim/Instrument.h"
#include "sim/LogMemory.h"
#include "sim/OutputQueue.h"
#include "sim/Wire.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

sim::LogMemory* g_memory;
uint8_t* g_snapshot;
char g_dumpPath[64];

// Takes whatever the instrument sends, reading every byte so that the sanitizer sees a send from
// outside its buffer.
class CheckingSink : public sim::ByteSink {
public:
    FUZZ_HARNESS bool Put(const uint8_t* data, size_t length) override {
        volatile uint8_t sum = 0;
        for (size_t i = 0; i < length; ++i) {
            sum = static_cast<uint8_t>(sum + data[i]);
        }
        (void)sum;
        return true;
    }
};

void CheckCommand(const sim::ParseOutcome& outcome, const sim::HostCommand& cmd) {
    FUZZ_CHECK(outcome.reason != nullptr);
    if (outcome.status != sim::ParseStatus::Ok) {
        return;
    }
    FUZZ_CHECK(cmd.test >= 0 && cmd.test <= 255);
    FUZZ_CHECK(cmd.address >= 0 && cmd.address <= 255);
    FUZZ_CHECK(cmd.valueCount >= 0 && cmd.valueCount <= 4);
    FUZZ_CHECK(cmd.textLength >= 0 && static_cast<size_t>(cmd.textLength) <= sim::kMaxCommandText);
}

// Path 0: the rest is one line.
void ParseLine(ByteReader& in) {
    size_t size = 0;
    const uint8_t* line = in.Take(in.Left(), size);
    // A copy of exactly the line's size, so that a read past it is seen.
    std::unique_ptr<uint8_t[]> copy(new uint8_t[size == 0 ? 1 : size]);
    if (size > 0) {
        std::memcpy(copy.get(), line, size);
    }
    sim::HostCommand cmd;
    CheckCommand(sim::ParseCommandLine(size == 0 ? nullptr : copy.get(), size, cmd), cmd);
}

// Path 1: the rest goes through the line assembler byte by byte.
void AssembleLines(ByteReader& in) {
    sim::LineAssembler lines;
    while (!in.Empty()) {
        if (!lines.Push(in.Byte())) {
            continue;
        }
        FUZZ_CHECK(lines.LineLength() <= sim::kMaxLine);
        FUZZ_CHECK(!lines.Overlong() || lines.LineLength() == 0);
        sim::HostCommand cmd;
        CheckCommand(sim::ParseCommandLine(lines.Line(), lines.LineLength(), cmd), cmd);
    }
}

// Path 2: byte options (bit 0 letter 'A', bits 1-4 interface version 1 + n), four fault bytes
// (probability n / 255 of checksum, drop, refuse, garbage), byte stall-after (255: never), byte
// seed, then host bytes in pieces: byte length, that many bytes, until the input ends.
void RunInstrument(ByteReader& in) {
    const uint8_t flags = in.Byte();
    sim::InstrumentOptions options;
    options.uploadFlagLetter = (flags & 1) ? 'A' : 'B';
    options.interfaceVersion = 1 + ((flags >> 1) & 15);
    sim::FaultPlan faults;
    faults.checksum = in.Byte() / 255.0;
    faults.drop = in.Byte() / 255.0;
    faults.refuse = in.Byte() / 255.0;
    faults.garbage = in.Byte() / 255.0;
    const uint8_t stall = in.Byte();
    faults.stallAfter = stall == 255 ? -1 : stall;
    const uint64_t seed = in.Byte();
    CheckingSink sink;
    sim::Instrument instrument(options, g_memory->Bytes(), faults, seed, sink);
    while (!in.Empty()) {
        const size_t wanted = in.Byte();
        size_t got = 0;
        const uint8_t* bytes = in.Take(wanted, got);
        instrument.Receive(bytes, got);
        if (wanted == 0) {
            instrument.NewClient();
        }
    }
}

// Path 3: the rest is the text of --fault.
void ParseFaults(ByteReader& in) {
    sim::FaultPlan plan;
    std::string error;
    if (sim::ParseFaultPlan(in.Rest(), plan, error)) {
        FUZZ_CHECK(plan.checksum >= 0 && plan.checksum <= 1);
        FUZZ_CHECK(plan.drop >= 0 && plan.drop <= 1);
        FUZZ_CHECK(plan.refuse >= 0 && plan.refuse <= 1);
        FUZZ_CHECK(plan.garbage >= 0 && plan.garbage <= 1);
        FUZZ_CHECK(plan.stallAfter >= -1);
    } else {
        FUZZ_CHECK(!error.empty());
    }
}

// Path 4: the rest is a dump file for --image.
void LoadDump(ByteReader& in) {
    const std::string text = in.Rest();
    std::FILE* file = std::fopen(g_dumpPath, "wb");
    if (file == nullptr) {
        return;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (std::fclose(file) != 0 || !written) {
        return;
    }
    std::string error;
    if (g_memory->LoadDump(g_dumpPath, error)) {
        // Short inputs never make a whole dump; should one, the memory goes back to the generated
        // one for the runs that follow.
        std::memcpy(g_memory->MutableBytes(), g_snapshot, sim::kMemorySize);
        return;
    }
    FUZZ_CHECK(!error.empty());
    FUZZ_CHECK(std::memcmp(g_memory->Bytes(), g_snapshot, sim::kMemorySize) == 0);
}

// Path 5: the program's arguments, separated by NUL bytes.
void ParseOptions(ByteReader& in) {
    const std::string rest = in.Rest();
    QStringList arguments{QStringLiteral("tavon-instrument")};
    size_t start = 0;
    while (start <= rest.size() && arguments.size() < 64) {
        size_t end = rest.find('\0', start);
        if (end == std::string::npos) {
            end = rest.size();
        }
        arguments << QString::fromUtf8(rest.data() + start, static_cast<int>(end - start));
        start = end + 1;
    }
    SimOptions options;
    QString message;
    const OptionsResult result = ParseSimOptions(arguments, options, message);
    if (result == OptionsResult::Error) {
        FUZZ_CHECK(!message.isEmpty());
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_memory = new sim::LogMemory;
    sim::MemoryOptions memoryOptions;
    memoryOptions.withUnknownRecords = true;
    g_memory->Generate(memoryOptions);
    g_snapshot = new uint8_t[sim::kMemorySize];
    std::memcpy(g_snapshot, g_memory->Bytes(), sim::kMemorySize);
    const char* tmp = std::getenv("TMPDIR");
    std::snprintf(g_dumpPath, sizeof g_dumpPath, "%s/sim-fuzz-%d.txt",
                  tmp != nullptr && std::strlen(tmp) < 32 ? tmp : "/tmp",
                  static_cast<int>(getpid()));
    std::atexit([] { std::remove(g_dumpPath); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ByteReader in(data, size);
    switch (in.Byte() % 6) {
    case 0:
        ParseLine(in);
        break;
    case 1:
        AssembleLines(in);
        break;
    case 2:
        RunInstrument(in);
        break;
    case 3:
        ParseFaults(in);
        break;
    case 4:
        LoadDump(in);
        break;
    default:
        ParseOptions(in);
        break;
    }
    return 0;
}
