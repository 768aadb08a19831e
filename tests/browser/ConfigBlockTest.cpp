#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "session/ConfigBlock.h"

namespace {

std::vector<uint8_t> Block(uint8_t first) {
    std::vector<uint8_t> block(600, 0);
    block[0] = first;
    return block;
}

TEST(ConfigBlock, NamesStandSeventyBytesApartFrom308) {
    std::vector<uint8_t> block = Block(8);
    std::memcpy(&block[308], "One", 3);
    std::memcpy(&block[378], "Two", 3);
    std::memcpy(&block[448], "[T]", 3);
    std::memcpy(&block[518], "Four", 4);
    std::string names[4];
    ASSERT_TRUE(ReadModeNames(block.data(), static_cast<int>(block.size()), names));
    EXPECT_EQ(names[0], "One");
    EXPECT_EQ(names[1], "Two");
    EXPECT_EQ(names[2], "\xE9T\xEA");
    EXPECT_EQ(names[3], "Four");
}

TEST(ConfigBlock, OtherLayoutsLeaveTheNames) {
    std::vector<uint8_t> block = Block(9);
    std::memcpy(&block[308], "One", 3);
    std::string names[4] = {"a", "b", "c", "d"};
    EXPECT_FALSE(ReadModeNames(block.data(), 600, names));
    EXPECT_FALSE(ReadModeNames(nullptr, 600, names));
    EXPECT_FALSE(ReadModeNames(block.data(), 0, names));
    EXPECT_EQ(names[0], "a");
    EXPECT_EQ(names[3], "d");
}

TEST(ConfigBlock, ANameEndsWhereTheReceivedBytesEnd) {
    std::vector<uint8_t> block = Block(8);
    std::memcpy(&block[308], "Survey", 6);
    std::memcpy(&block[378], "Leftover", 8);
    std::string names[4];
    ASSERT_TRUE(ReadModeNames(block.data(), 311, names));
    EXPECT_EQ(names[0], "Sur");
    EXPECT_EQ(names[1], "");
    EXPECT_EQ(names[3], "");
}

TEST(ConfigBlock, AnUnterminatedNameRunsOnToTheNextOnlyWithinTheBlock) {
    std::vector<uint8_t> block = Block(8);
    std::memset(&block[308], 'x', 600 - 308);
    std::string names[4];
    ASSERT_TRUE(ReadModeNames(block.data(), 600, names));
    EXPECT_EQ(names[0].size(), 600u - 308u);
    EXPECT_EQ(names[3].size(), 600u - 518u);
}

} // namespace
