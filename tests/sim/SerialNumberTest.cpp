#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>

#include "sim/SerialNumber.h"

TEST(SimSerialNumber, FixedForASeedAndShortAndReadable) {
    struct Case {
        uint64_t seed;
        const char* serial;
    };
    for (const Case& c :
         {Case{0, "TAV-41200078315"}, Case{1, "TAV-41200678388"}, Case{2, "TAV-41201278461"},
          Case{99999999999ull, "TAV-41199478242"}, Case{100000000000ull, "000000174876E800"},
          Case{UINT64_MAX, "FFFFFFFFFFFFFFFF"}}) {
        EXPECT_EQ(sim::SerialNumberForSeed(c.seed), c.serial) << c.seed;
        EXPECT_TRUE(sim::FitsSerialNumber(c.serial)) << c.serial;
    }
}

TEST(SimSerialNumber, DifferentSeedsDifferentNumbers) {
    std::set<uint64_t> seeds;
    std::set<std::string> seen;
    const auto add = [&](uint64_t seed) {
        const std::string serial = sim::SerialNumberForSeed(seed);
        EXPECT_TRUE(sim::FitsSerialNumber(serial)) << seed << " " << serial;
        seeds.insert(seed);
        seen.insert(serial);
    };
    for (uint64_t seed = 0; seed < 20000; ++seed)
        add(seed);
    // Seeds the shuffle's split and its edge could confuse.
    const uint64_t edges[] = {999999,          1000000,        1000001,
                              99999999999,     100000000000,   100000000001,
                              123456789012345, UINT64_MAX - 1, UINT64_MAX};
    for (uint64_t seed : edges)
        add(seed);
    for (uint64_t step = 1; step < 100000000000ull; step *= 7)
        add(step * 13 + 5);
    EXPECT_EQ(seen.size(), seeds.size());
}

TEST(SimSerialNumber, WhatFitsTheTest) {
    for (const char* good : {"A", "TAV-1", "0123456789ABCDEF", "with blank ~"})
        EXPECT_TRUE(sim::FitsSerialNumber(good)) << good;
    for (const char* bad : {"", "0123456789ABCDEFG", "tab\there", "caf\xC3\xA9"})
        EXPECT_FALSE(sim::FitsSerialNumber(bad)) << bad;
}
