#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unistd.h>

#include "sim/LogMemory.h"
#include "sim/MemoryLayout.h"
#include "testsupport/TempDir.h"

namespace {

std::unique_ptr<sim::LogMemory> Make(uint64_t seed, bool unknown = false, int newSessions = 0) {
    auto m = std::make_unique<sim::LogMemory>();
    sim::MemoryOptions options;
    options.seed = seed;
    options.withUnknownRecords = unknown;
    options.newSessions = newSessions;
    EXPECT_TRUE(m->Generate(options));
    return m;
}

const sim::LogMemory& Default() {
    static const auto memory = Make(1);
    return *memory;
}

// The de-escaping read of a session, as the host does it: a stored 0x55 takes the next byte.
std::vector<uint8_t> ReadStream(const uint8_t* memory, int slot, size_t outputBytes,
                                size_t* consumed = nullptr) {
    std::vector<uint8_t> out;
    size_t i = sim::SessionSectorOffset(slot);
    const size_t start = i;
    while (out.size() < outputBytes) {
        uint8_t b = memory[i++];
        if (b == 0x55)
            b = memory[i++];
        out.push_back(b);
    }
    if (consumed)
        *consumed = i - start;
    return out;
}

struct Record {
    char type;
    char version;
    size_t offset;
    size_t length;
};

std::vector<Record> Walk(const std::vector<uint8_t>& stream) {
    std::vector<Record> records;
    size_t p = 0;
    while (p + 3 < stream.size() && stream[p] == '<') {
        const size_t l = stream[p + 1];
        if (l < 4)
            break;
        records.push_back(
            {static_cast<char>(stream[p + 2]), static_cast<char>(stream[p + 3]), p, l});
        p += l;
    }
    EXPECT_EQ(p, stream.size());
    return records;
}

// FNV-1a over the memory image and everything Sessions() tells about each session.
uint64_t Digest(const sim::LogMemory& m) {
    uint64_t h = 0xCBF29CE484222325ull;
    const auto mix = [&h](const void* data, size_t length) {
        const auto* p = static_cast<const uint8_t*>(data);
        for (size_t i = 0; i < length; ++i)
            h = (h ^ p[i]) * 0x100000001B3ull;
    };
    mix(m.Bytes(), sim::kMemorySize);
    for (const sim::GeneratedSession& s : m.Sessions()) {
        const uint32_t fields[] = {
            static_cast<uint32_t>(s.slot), s.stamp, static_cast<uint32_t>(s.storedLength),
            static_cast<uint32_t>(s.stream.size()),
            static_cast<uint32_t>(s.dated | s.alarm << 1 | s.fieldCal << 2 | s.cal << 3 |
                                  s.continuation << 4 | s.unknownRecords << 5)};
        mix(fields, sizeof fields);
        mix(s.name.data(), s.name.size());
        mix(s.stream.data(), s.stream.size());
        mix(s.kinds.data(), s.kinds.size());
    }
    return h;
}

} // namespace

TEST(SimLogMemory, SameSeedSameMemoryOtherSeedOther) {
    const auto a = Make(1), b = Make(1), c = Make(2);
    EXPECT_EQ(std::memcmp(a->Bytes(), b->Bytes(), sim::kMemorySize), 0);
    EXPECT_NE(std::memcmp(a->Bytes(), c->Bytes(), sim::kMemorySize), 0);
}

// The invariants hold for any seed, not only the default one.
class SimLogMemorySeeds : public ::testing::TestWithParam<uint64_t> {
protected:
    const sim::LogMemory& Seeded() {
        static std::map<uint64_t, std::unique_ptr<sim::LogMemory>> cache;
        std::unique_ptr<sim::LogMemory>& memory = cache[GetParam()];
        if (!memory)
            memory = Make(GetParam());
        return *memory;
    }
};

TEST_P(SimLogMemorySeeds, IndexEntriesNameEverySessionAndEmptySlotsAreErased) {
    const sim::LogMemory& m = Seeded();
    std::set<int> used;
    int undated = 0;
    for (const auto& s : m.Sessions()) {
        const size_t entry = sim::IndexEntryOffset(s.slot);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.Bytes()) + entry, 19), s.name);
        ASSERT_EQ(s.name.size(), 19u);
        if (s.dated) {
            char hex[9];
            std::snprintf(hex, sizeof hex, "%08X", s.stamp);
            EXPECT_EQ(s.name.substr(0, 8), hex);
        } else {
            EXPECT_EQ(s.name.substr(0, 8), "FFFFFFFF");
            ++undated;
        }
        used.insert(s.slot);
    }
    EXPECT_EQ(undated, 1);
    int emptyWithin = 0;
    for (int slot = 0; slot < sim::kSlotCount; ++slot) {
        const size_t entry = sim::IndexEntryOffset(slot);
        const bool empty = m.Bytes()[entry] == 0xFF;
        EXPECT_EQ(empty, used.count(slot) == 0) << slot;
        if (empty && slot < *used.rbegin())
            ++emptyWithin;
    }
    EXPECT_GE(emptyWithin, 1);
    // The bytes after the last entry of each index sector hold nothing.
    for (size_t s = 0; s < sim::kIndexSectors; ++s)
        for (size_t i = sim::kEntriesPerIndexSector * sim::kIndexEntrySize; i < sim::kSectorSize;
             ++i)
            ASSERT_EQ(m.Bytes()[s * sim::kSectorSize + i], 0xFF);
}

TEST_P(SimLogMemorySeeds, TagsMatchEachSessionsRecords) {
    int alarms = 0, fc = 0, c = 0, cont = 0;
    for (const auto& s : Seeded().Sessions()) {
        bool hasA = false, hasF = false, hasC = false;
        for (const Record& r : Walk(s.stream)) {
            hasA = hasA || r.type == 'A';
            hasF = hasF || r.type == 'F';
            hasC = hasC || r.type == 'C';
        }
        EXPECT_EQ(s.name[9] == 'F', hasF) << s.name;
        EXPECT_EQ(s.name[10] == 'A', hasA) << s.name;
        EXPECT_EQ(s.name[11] == 'C', s.continuation) << s.name;
        EXPECT_EQ(s.name[12] == 'C', hasC) << s.name;
        alarms += hasA;
        fc += hasF;
        c += hasC;
        cont += s.continuation;
        if (s.continuation) {
            EXPECT_NE(Walk(s.stream).front().type, 'O');
        }
    }
    EXPECT_GT(alarms, 0);
    EXPECT_GT(fc, 0);
    EXPECT_GT(c, 0);
    EXPECT_EQ(cont, 1);
}

TEST_P(SimLogMemorySeeds, SwitchOnInTheFirstModeAndOtherModesByAModeChange) {
    int changes = 0;
    for (const auto& s : Seeded().Sessions()) {
        const std::vector<Record> records = Walk(s.stream);
        const std::string named(s.name.substr(13, 3));
        for (size_t i = 0; i < records.size(); ++i) {
            if (records[i].type != 'O')
                continue;
            const char* mode =
                reinterpret_cast<const char*>(s.stream.data() + records[i].offset + 8);
            EXPECT_EQ(std::string(mode, 3), "SUR") << s.name;
            if (named != "SUR") {
                // The session's own mode follows at once.
                ASSERT_LT(i + 1, records.size()) << s.name;
                EXPECT_EQ(records[i + 1].type, 'D') << s.name;
                const char* next =
                    reinterpret_cast<const char*>(s.stream.data() + records[i + 1].offset + 8);
                EXPECT_EQ(std::string(next, 3), named) << s.name;
                ++changes;
            }
        }
    }
    EXPECT_GT(changes, 0);
}

TEST_P(SimLogMemorySeeds, StoredStreamsReadBackAndEndOnErasedFlash) {
    const sim::LogMemory& m = Seeded();
    int pastSector = 0;
    std::set<int> used;
    for (const auto& s : m.Sessions())
        used.insert(s.slot);
    for (const auto& s : m.Sessions()) {
        ASSERT_LE(s.stream.size(), 3990u) << s.name;
        size_t consumed = 0;
        const std::vector<uint8_t> read = ReadStream(m.Bytes(), s.slot, 4000, &consumed);
        ASSERT_TRUE(std::equal(s.stream.begin(), s.stream.end(), read.begin())) << s.name;
        EXPECT_NE(read[s.stream.size()], '<') << s.name;
        if (s.storedLength > sim::kSectorSize) {
            ++pastSector;
            EXPECT_EQ(used.count(s.slot + 1), 0u) << "the next slot holds the stored overflow";
            EXPECT_GT(std::count(s.stream.begin(), s.stream.end(), 0x55), 96);
        } else {
            EXPECT_LT(s.storedLength, sim::kSectorSize) << s.name;
        }
    }
    EXPECT_EQ(pastSector, 1);
}

TEST_P(SimLogMemorySeeds, AnEscapeFallsOnTheLastByteOfAHundredByteChunk) {
    bool found = false;
    for (const auto& s : Seeded().Sessions())
        if (s.stream.size() > 99 && s.stream[99] == 0x55)
            found = true;
    EXPECT_TRUE(found);
}

TEST_P(SimLogMemorySeeds, EveryDecodedTypeAndVersionOccurs) {
    std::set<std::string> kinds;
    for (const auto& s : Seeded().Sessions())
        for (const Record& r : Walk(s.stream))
            kinds.insert(std::string{r.type, r.type == 'T' ? '-' : r.version});
    for (const char* k :
         {"A1", "A2", "B1", "B2", "C1", "C2", "D1", "D2", "F1", "G1", "H1", "H2", "H3",
          "H4", "H5", "I1", "J1", "L1", "L2", "L3", "L4", "M1", "M2", "M3", "M4", "O1",
          "P1", "P2", "S1", "T-", "U1", "W1", "W2", "W3", "Y1", "Z2", "p1", "z1"})
        EXPECT_EQ(kinds.count(k), 1u) << k;
    // Nothing the host cannot decode, unless asked for.
    const std::set<std::string> known = {"A1", "A2", "B1", "B2", "C1", "C2", "D1", "D2", "F1", "G1",
                                         "H1", "H2", "H3", "H4", "H5", "I1", "J1", "L1", "L2", "L3",
                                         "L4", "M1", "M2", "M3", "M4", "O1", "P1", "P2", "S1", "T-",
                                         "U1", "W1", "W2", "W3", "Y1", "Z2", "p1", "z1"};
    for (const std::string& k : kinds)
        EXPECT_EQ(known.count(k), 1u) << k;
}

TEST_P(SimLogMemorySeeds, PositionsWithAndWithoutAFix) {
    int fix = 0, noFixMarker = 0, none = 0;
    for (const auto& s : Seeded().Sessions())
        for (const Record& r : Walk(s.stream))
            if (r.type == 'W' && r.version == '3') {
                const uint8_t b = s.stream[r.offset + 10];
                fix += r.length == 19 && (b & 1);
                noFixMarker += b == 0xFF;
                none += b == 0xFE;
            }
    EXPECT_GT(fix, 0);
    EXPECT_GT(noFixMarker, 0);
    EXPECT_GT(none, 0);
}

TEST_P(SimLogMemorySeeds, MonthsAndDays) {
    std::set<uint32_t> months;
    std::map<uint32_t, int> perDay;
    for (const auto& s : Seeded().Sessions()) {
        if (!s.dated)
            continue;
        perDay[s.stamp / 86400]++;
        // The stamp counts the instrument's wall clock from 2000; read it back as UTC fields.
        const std::time_t t = static_cast<std::time_t>(s.stamp) + 946684800;
        std::tm tm{};
        gmtime_r(&t, &tm);
        months.insert(static_cast<uint32_t>(tm.tm_year * 12 + tm.tm_mon));
    }
    EXPECT_GE(months.size(), 3u);
    int busyDays = 0;
    for (const auto& d : perDay)
        busyDays += d.second > 1;
    EXPECT_GE(busyDays, 3);
    EXPECT_GE(Seeded().Sessions().size(), 40u);
}

INSTANTIATE_TEST_SUITE_P(Seeds, SimLogMemorySeeds, ::testing::Values(1u, 2u, 3u, 42u, 1234u));

TEST(SimLogMemory, UnknownRecordsOnlyWhenAskedAndNothingElseMoves) {
    const auto plain = Make(1);
    const auto withUnknown = Make(1, true);
    ASSERT_EQ(withUnknown->Sessions().size(), plain->Sessions().size() + 1);
    const auto& extra = withUnknown->Sessions().back();
    EXPECT_TRUE(extra.unknownRecords);
    EXPECT_NE(extra.kinds.find("Q1"), std::string::npos);
    const size_t entry = sim::IndexEntryOffset(extra.slot);
    const size_t sector = sim::SessionSectorOffset(extra.slot);
    for (size_t i = 0; i < sim::kMemorySize; ++i) {
        if ((i >= entry && i < entry + sim::kIndexEntrySize) ||
            (i >= sector && i < sector + sim::kSectorSize))
            continue;
        ASSERT_EQ(plain->Bytes()[i], withUnknown->Bytes()[i]) << i;
    }
}

TEST(SimLogMemory, DumpRoundTripAndRejects) {
    const testsupport::TempDir dir("simdump");
    ASSERT_TRUE(dir.Ok());
    const std::string path = dir.File("FlashData.txt");
    std::string error;
    ASSERT_TRUE(Default().WriteDump(path, error)) << error;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    char line[64];
    ASSERT_NE(std::fgets(line, sizeof line, f), nullptr);
    EXPECT_EQ(std::strlen(line), 50u);
    EXPECT_EQ(line[48], '\r');
    std::fseek(f, 0, SEEK_END);
    EXPECT_EQ(std::ftell(f), 131072L * 50);
    std::fclose(f);

    sim::LogMemory loaded;
    ASSERT_TRUE(loaded.LoadDump(path, error)) << error;
    EXPECT_EQ(std::memcmp(loaded.Bytes(), Default().Bytes(), sim::kMemorySize), 0);

    const std::string bad = dir.File("bad.txt");
    f = std::fopen(bad.c_str(), "wb");
    std::fputs("00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF \r\nZZ\r\n", f);
    std::fclose(f);
    sim::LogMemory untouched;
    EXPECT_FALSE(untouched.LoadDump(bad, error));
    EXPECT_NE(error.find("line 2"), std::string::npos) << error;
    EXPECT_EQ(untouched.Bytes()[0], 0xFF);
    f = std::fopen(bad.c_str(), "wb");
    std::fputs("00 11 22 \r\n", f);
    std::fclose(f);
    EXPECT_FALSE(untouched.LoadDump(bad, error));
    EXPECT_FALSE(untouched.LoadDump(dir.File("missing.txt"), error));
}

// The memory every seed and option gives, recorded before the generator was taken apart; any
// change to the generator that moves a byte of it shows here.
TEST(SimLogMemory, GeneratedMemoryIsUnchanged) {
    struct Case {
        uint64_t seed;
        bool unknown;
        uint64_t digest;
    };
    const Case cases[] = {
        {0, false, 0xBD9170FFA5712427ull},          {0, true, 0xDA93674A302D4A6Full},
        {1, false, 0x99B741B55C7A5847ull},          {1, true, 0xCA783A91CAC35F1Bull},
        {2, false, 0xCFFA100B27A357C1ull},          {3, true, 0xBC4CE04910B6CCECull},
        {42, false, 0x42A19CE99EA43D0Aull},         {1234, true, 0xAA4263840B1A66C3ull},
        {UINT64_MAX, false, 0x5F09E66E9E18857Cull},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Digest(*Make(c.seed, c.unknown)), c.digest)
            << c.seed << (c.unknown ? " unknown" : "");
}

// A second visit of the same instrument: the same memory with sessions added after the last one.
TEST(SimLogMemory, NewSessionsFollowTheLastAndMoveNothingElse) {
    struct Case {
        uint64_t seed;
        bool unknown;
        int count;
    };
    for (const Case& c : {Case{1, false, 2}, Case{2, false, 5}, Case{3, true, 1},
                          Case{42, false, 9}, Case{1234, true, 4}}) {
        SCOPED_TRACE(testing::Message() << "seed " << c.seed << ", " << c.count << " new");
        const auto base = Make(c.seed, c.unknown);
        const auto grown = Make(c.seed, c.unknown, c.count);
        const std::vector<sim::GeneratedSession>& before = base->Sessions();
        const std::vector<sim::GeneratedSession>& after = grown->Sessions();
        ASSERT_EQ(after.size(), before.size() + static_cast<size_t>(c.count));

        // The new ones come after the generated ones (and before the unknown records' slot).
        const size_t generated = before.size() - (c.unknown ? 1 : 0);
        std::vector<sim::GeneratedSession> added(after.begin() + static_cast<long>(generated),
                                                 after.begin() + static_cast<long>(generated) +
                                                     c.count);
        std::map<uint32_t, int> perDay;
        uint32_t latest = 0;
        for (size_t i = 0; i < generated; ++i) {
            if (before[i].dated) {
                latest = std::max(latest, before[i].stamp);
                perDay[before[i].stamp / 86400]++;
            }
        }
        const uint32_t lastDay = latest / 86400;
        const bool lastDayFull = perDay[lastDay] == 3;
        std::vector<bool> newBytes(sim::kMemorySize, false);
        for (const sim::GeneratedSession& s : added) {
            EXPECT_GT(s.slot, before[generated - 1].slot);
            EXPECT_GT(s.stamp, latest) << s.name;
            EXPECT_TRUE(s.dated);
            latest = s.stamp;
            const uint32_t day = s.stamp / 86400;
            EXPECT_GE(day, lastDay + (lastDayFull ? 1 : 0)) << s.name;
            EXPECT_LE(++perDay[day], 3) << "a day holds at most three sessions: " << s.name;
            EXPECT_NE((day + 6) % 7, 0u) << "not on a Sunday: " << s.name;
            EXPECT_NE((day + 6) % 7, 6u) << "not on a Saturday: " << s.name;
            char hex[9];
            std::snprintf(hex, sizeof hex, "%08X", s.stamp);
            EXPECT_EQ(s.name.substr(0, 8), hex);
            const size_t entry = sim::IndexEntryOffset(s.slot);
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(grown->Bytes()) + entry, 19),
                      s.name);
            std::fill_n(newBytes.begin() + static_cast<long>(entry), sim::kIndexEntrySize, true);
            std::fill_n(newBytes.begin() + static_cast<long>(sim::SessionSectorOffset(s.slot)),
                        sim::kSectorSize, true);
        }

        for (size_t i = 0; i < generated; ++i) {
            EXPECT_EQ(after[i].name, before[i].name);
            EXPECT_EQ(after[i].slot, before[i].slot);
        }
        size_t moved = 0;
        for (size_t i = 0; i < sim::kMemorySize; ++i)
            moved += !newBytes[i] && base->Bytes()[i] != grown->Bytes()[i];
        EXPECT_EQ(moved, 0u);

        // Asking for one more on a third visit keeps those of the second.
        const auto third = Make(c.seed, c.unknown, c.count + 1);
        EXPECT_EQ(third->Sessions()[generated + static_cast<size_t>(c.count) - 1].name,
                  added.back().name);
    }
}

TEST(SimLogMemory, NewSessionsThatDoNotFitAreRefusedAndChangeNothing) {
    sim::LogMemory memory;
    sim::MemoryOptions options;
    ASSERT_TRUE(memory.Generate(options));
    options.newSessions = 450;
    std::string error;
    EXPECT_FALSE(memory.Generate(options, &error));
    EXPECT_NE(error.find("new sessions fit"), std::string::npos) << error;
    EXPECT_EQ(Digest(memory), Digest(Default()));
}
