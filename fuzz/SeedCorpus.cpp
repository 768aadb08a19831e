// Writes the starting corpus of every fuzz target: real session streams, index sectors, dump
// lines, reply frames and host command lines from the simulated instrument's generated memory, so
// that the fuzzers begin from inputs that reach deep into each parser.
//
// Usage: fuzz-seeds <folder>; writes <folder>/<target>/<name> for the targets report, core, dump,
// metertalk, settings, sim and browser.
#include "sim/InstrumentTests.h"
#include "sim/LogMemory.h"
#include "sim/Wire.h"

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

std::string g_root;

void Put(Bytes& out, const std::string& text) {
    out.insert(out.end(), text.begin(), text.end());
}
void PutU16(Bytes& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}
void PutU32(Bytes& out, uint32_t value) {
    PutU16(out, static_cast<uint16_t>(value));
    PutU16(out, static_cast<uint16_t>(value >> 16));
}

bool Save(const std::string& target, const std::string& name, const Bytes& bytes) {
    const std::string folder = g_root + "/" + target;
    mkdir(g_root.c_str(), 0755);
    mkdir(folder.c_str(), 0755);
    const std::string path = folder + "/" + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::perror(path.c_str());
        return false;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

std::string DumpLines(const uint8_t* bytes, int lines, const char* end) {
    std::string text;
    char group[4];
    for (int line = 0; line < lines; ++line) {
        for (int i = 0; i < 16; ++i) {
            std::snprintf(group, sizeof group, "%02X ", bytes[line * 16 + i]);
            text += group;
        }
        text += end;
    }
    return text;
}

// A reply frame with the blank separator that the host's own tests use.
std::string HostStyleFrame(char kind, const std::string& payload) {
    std::string frame = "Y";
    frame += static_cast<char>(64 + payload.size() + 6);
    frame += kind;
    frame += payload;
    frame += ' ';
    unsigned sum = 0;
    for (unsigned char c : frame) {
        sum += c;
    }
    char digits[8];
    std::snprintf(digits, sizeof digits, "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
    return frame + digits;
}

// A reply frame as the simulated instrument builds it.
std::string InstrumentFrame(char kind, const uint8_t* payload, size_t length) {
    uint8_t out[sim::kMaxFrame];
    const size_t n = sim::BuildFrame(static_cast<uint8_t>(kind), payload, length, out);
    return std::string(reinterpret_cast<const char*>(out), n);
}

// Host command lines, written from the wire format.
std::string Checksummed(const std::string& body) {
    unsigned sum = 0;
    for (size_t i = 3; i < body.size(); ++i) {
        sum += static_cast<uint8_t>(body[i]);
    }
    char cs[8];
    std::snprintf(cs, sizeof cs, "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
    return body + cs;
}
std::string CommandLine(char letter, const std::vector<int>& fields) {
    std::string body = "   ?";
    body += letter;
    body += "  ";
    for (int f : fields) {
        char field[8];
        std::snprintf(field, sizeof field, "%02X ", f);
        body += field;
    }
    body[3] = static_cast<char>(60 + body.size());
    return Checksummed(body);
}
std::string TextWriteLine(int test, int offset, const std::string& text) {
    char head[32];
    std::snprintf(head, sizeof head, "   %cS  %02x %02x ", static_cast<char>(73 + text.size()),
                  test, offset);
    return Checksummed(std::string(head) + text);
}

// One engine operation "receive these bytes in one tick".
void Receive(Bytes& ops, const std::string& bytes) {
    ops.push_back(4);
    if (bytes.size() < 255) {
        ops.push_back(static_cast<uint8_t>(bytes.size()));
    } else {
        ops.push_back(255);
        PutU16(ops, static_cast<uint16_t>(bytes.size()));
    }
    Put(ops, bytes);
}

void ReportSeeds(const sim::LogMemory& memory) {
    std::set<std::string> seen;
    int n = 0;
    for (const sim::GeneratedSession& session : memory.Sessions()) {
        // One session of every mix of record kinds, up to a few dozen.
        if (!seen.insert(session.kinds).second || n >= 40) {
            continue;
        }
        Bytes seed;
        const uint8_t flags = static_cast<uint8_t>(0x1F | (n % 2 ? 0x20 : 0) | (n % 3 ? 0 : 0x40));
        seed.push_back(flags);
        seed.push_back(static_cast<uint8_t>(0x1F ^ (n & 7)));
        seed.push_back(static_cast<uint8_t>(session.slot));
        PutU16(seed, static_cast<uint16_t>(session.stream.size() / 2));
        if (flags & 0x40) {
            for (const char* name : sim::kModeNames) {
                const std::string text = name;
                seed.push_back(static_cast<uint8_t>(text.size()));
                Put(seed, text);
            }
        }
        const size_t length = session.stream.size() < 4000 ? session.stream.size() : 4000;
        seed.insert(seed.end(), session.stream.begin(), session.stream.begin() + length);
        Save("report", "session-" + std::to_string(n++), seed);
    }
    // The stored form, escapes and all, straight from the memory's sector.
    const sim::GeneratedSession& first = memory.Sessions().front();
    Bytes stored{0x9F, 0x9F, static_cast<uint8_t>(first.slot), 0, 0};
    const uint8_t* sector = memory.Bytes() + sim::SessionSectorOffset(first.slot);
    stored.insert(stored.end(), sector, sector + sim::kSectorSize);
    Save("report", "stored", stored);
}

void CoreSeeds(const sim::LogMemory& memory) {
    const uint8_t* bytes = memory.Bytes();
    Bytes text{0};
    Put(text, DumpLines(bytes, 4, "\r\n"));
    Save("core", "dump-crlf", text);
    Bytes lf{4};
    Put(lf, DumpLines(bytes + 40960, 3, "\n") + "00 11 22\n");
    Save("core", "dump-lf-bad", lf);

    Bytes whole{0, 0};
    whole.insert(whole.end(), bytes + 40960, bytes + 40960 + 256);
    Save("dump", "whole-dump", whole);
    Bytes damaged{1, 1};
    PutU32(damaged, 50 * 4000 + 7);
    damaged.push_back('G');
    damaged.insert(damaged.end(), bytes, bytes + 64);
    Save("dump", "whole-dump-damaged", damaged);

    Bytes index{2, 0, 0, 0};
    index.insert(index.end(), bytes, bytes + 50 * 20);
    Save("core", "index-sector", index);
    Bytes tiled{2, 1, 0, 0};
    tiled.insert(tiled.end(), bytes + 20, bytes + 20 + 7 * 20);
    Save("core", "index-tiled", tiled);

    const sim::GeneratedSession& session = memory.Sessions()[memory.Sessions().size() / 2];
    Bytes read{3};
    PutU16(read, static_cast<uint16_t>(session.slot));
    PutU16(read, 0);
    PutU32(read, 0);
    PutU32(read, 0x1FFFF0);
    const uint8_t* sector = bytes + sim::SessionSectorOffset(session.slot);
    read.insert(read.end(), sector, sector + sim::kSectorSize);
    Save("core", "session-read", read);
}

void MeterTalkSeeds(const sim::LogMemory& memory) {
    // Names of the built-in engine list: 0 Byte, 4 Text, 7 SensText, 8 Hex, 11 Upload flag.
    Bytes ask{1, 0, 0, 20, 1, 0, 0, 0};
    Receive(ask, HostStyleFrame('A', "01"));
    ask.insert(ask.end(), {0, 4, 20, 1, 0, 0, 0});
    Receive(ask, HostStyleFrame('A', "41 42 43 44 45 46 47 48"));
    ask.insert(ask.end(), {5, 25});
    Save("metertalk", "ask-byte-and-text", ask);

    Bytes oldText{0, 0, 4, 20, 1, 0, 0, 0};
    Receive(oldText, HostStyleFrame('A', "41 42 43 44"));
    Receive(oldText, HostStyleFrame('A', "?"));
    oldText.insert(oldText.end(), {3, 6, 'a', 'b', 'c', 'd', 'e', 'f'});
    Receive(oldText, HostStyleFrame('A', "00 04"));
    Receive(oldText, HostStyleFrame('A', "04 02"));
    Save("metertalk", "old-interface-text", oldText);

    // A bulk upload of one index sector, as the instrument sends it.
    Bytes bulk{2 | 8, 7, 0x00, 0x10, 0, 0, 0, 0, 20, 2, 3, 0, 0, 0};
    Receive(bulk, InstrumentFrame('A', reinterpret_cast<const uint8_t*>("03"), 2));
    std::string frames;
    for (size_t done = 0; done < 1024; done += sim::kMaxPayload) {
        const size_t n = 1024 - done < sim::kMaxPayload ? 1024 - done : sim::kMaxPayload;
        frames += InstrumentFrame('M', memory.Bytes() + done, n);
    }
    Receive(bulk, frames);
    Receive(bulk, InstrumentFrame('A', reinterpret_cast<const uint8_t*>("00 04"), 5));
    bulk.insert(bulk.end(), {8, 0x00, 0x80, 8, 0x10, 0x00});
    Save("metertalk", "bulk-upload", bulk);

    // The instrument's own driver texts, then a read of its first test.
    for (int version : {10, 11}) {
        sim::InstrumentOptions options;
        options.interfaceVersion = version;
        const std::string driver = sim::InstrumentTests(options).DriverText();
        Bytes seed{3 | 4};
        PutU16(seed, static_cast<uint16_t>(driver.size()));
        Put(seed, driver);
        seed.insert(seed.end(), {0, 0, 20, 1, 0, 0, 0});
        Receive(seed, InstrumentFrame('A', reinterpret_cast<const uint8_t*>("0A"), 2));
        Save("metertalk", "driver-v" + std::to_string(version), seed);
    }
}

void SettingsSeeds() {
    const struct {
        const char* name;
        std::string key, value, file;
    } seeds[] = {
        {"replace", "Com Port", "ttyUSB0", "Com Port=COM3\r\nConnect To=Pipe\r\n"},
        {"append", "Show Barhole Graph", "TRUE", "Com Port=rfcomm0\nno line end"},
        {"twice", "Connect To", "", "Connect To=a\r\n\r\nConnect To=b\r\n=\r\n"},
        {"absent", "Com Port -x", "COM4", "-"},
    };
    for (const auto& s : seeds) {
        Bytes seed;
        seed.push_back(static_cast<uint8_t>(s.key.size()));
        Put(seed, s.key);
        seed.push_back(static_cast<uint8_t>(s.value.size()));
        Put(seed, s.value);
        Put(seed, s.file);
        Save("settings", s.name, seed);
    }
}

void SimSeeds(const sim::LogMemory& memory) {
    const std::string read = CommandLine('R', {11, 0, 1});
    const std::string text = TextWriteLine(0x30, 0, "Hello");
    const std::string chunk = "   UW  30 04 41 42 43 44\r\n";
    Bytes one{0};
    Put(one, read);
    Save("sim", "read-line", one);
    Bytes two{0};
    Put(two, text);
    Save("sim", "text-line", two);
    Bytes lines{1};
    Put(lines, read + text + chunk + CommandLine('W', {12, 0, 10}) + "garbage\n" +
                   CommandLine('T', {0x30, 0, 16}));
    Save("sim", "lines", lines);

    Bytes run{2, 20, 0, 0, 0, 0, 255, 1};
    for (const std::string& line :
         {read, CommandLine('W', {12, 0, 10, 0}), CommandLine('W', {13, 0, 0, 0}),
          CommandLine('W', {11, 0, 3}), CommandLine('W', {11, 0, 10}), text,
          CommandLine('T', {0x30, 0, 16})}) {
        run.push_back(static_cast<uint8_t>(line.size()));
        Put(run, line);
    }
    Save("sim", "instrument-run", run);

    Bytes faults{3};
    Put(faults, "checksum:0.1,drop:0.2,refuse:1,garbage:0,stall-after:5");
    Save("sim", "faults", faults);

    Bytes dump{4};
    Put(dump, DumpLines(memory.Bytes(), 3, "\r\n"));
    Save("sim", "dump", dump);

    Bytes options{5};
    const char args[] = "--seed\0"
                        "5\0--fault\0drop:0.1\0--pty\0--interface-version\0"
                        "10";
    options.insert(options.end(), args, args + sizeof args - 1);
    Save("sim", "options", options);
}

// One upload notification with its bytes.
void Upload(Bytes& ops, const uint8_t* bytes, size_t length) {
    ops.push_back(3);
    PutU16(ops, static_cast<uint16_t>(length));
    ops.insert(ops.end(), bytes, bytes + length);
}

void BrowserSeeds(const sim::LogMemory& memory) {
    sim::InstrumentOptions options;
    const std::string driver = sim::InstrumentTests(options).DriverText();
    const auto config = sim::BuildConfigBlock();
    Bytes startUp{1};
    Upload(startUp, reinterpret_cast<const uint8_t*>(driver.data()), driver.size());
    startUp.push_back(1);
    Upload(startUp, config.data(), config.size());
    Save("browser", "start-up", startUp);

    // Start-up, GO with the ten index sectors, then one session in four pieces and the tree.
    Bytes full = startUp;
    full.push_back(4);
    for (int sector = 0; sector < 10; ++sector) {
        full.insert(full.end(), {1, 2, 2});
        Upload(full, memory.Bytes() + sector * sim::kSectorSize, sim::kSectorSize);
    }
    const sim::GeneratedSession& session = memory.Sessions()[3];
    full.push_back(5);
    PutU16(full, static_cast<uint16_t>(session.slot));
    for (int piece = 0; piece < 4; ++piece) {
        full.insert(full.end(), {1, 2, 2});
        Upload(full, memory.Bytes() + sim::SessionSectorOffset(session.slot) + piece * 1024, 1024);
    }
    full.insert(full.end(), {6, 4, 8, 9, 1, 8, 10, 6, 11, 7, 3});
    Save("browser", "index-and-session", full);

    Bytes dump{12};
    const std::string text = DumpLines(memory.Bytes(), 8, "\r\n");
    PutU16(dump, static_cast<uint16_t>(text.size()));
    Put(dump, text);
    dump.insert(dump.end(), {6, 3, 8, 11});
    Save("browser", "open-dump", dump);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    g_root = argv[1];
    sim::LogMemory memory;
    sim::MemoryOptions options;
    options.withUnknownRecords = true;
    memory.Generate(options);
    ReportSeeds(memory);
    CoreSeeds(memory);
    MeterTalkSeeds(memory);
    SettingsSeeds();
    SimSeeds(memory);
    BrowserSeeds(memory);
    return 0;
}
