#include "core/SessionTable.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/LogImage.h"
#include "testsupport/EnvGuard.h"
#include "testsupport/InstrumentStamp.h"

namespace {

using testsupport::InstrumentStamp;

// A 19-character session name: the stamp in upper-case hexadecimal, a separator and the tags at
// positions 9 to 12.
std::string Name(unsigned int stamp, const char* tags = "____") {
    char text[32];
    std::snprintf(text, sizeof text, "%08X_%.4s______", stamp, tags);
    return std::string(text, 19);
}

struct Node {
    int level;
    std::string text;
    uint32_t data;
    bool operator==(const Node& o) const {
        return level == o.level && text == o.text && data == o.data;
    }
};

std::ostream& operator<<(std::ostream& out, const Node& node) {
    return out << "{" << node.level << ", \"" << node.text << "\", " << node.data << "}";
}

class SessionTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        // An erased index: every slot empty.
        std::vector<uint8_t> erased(10 * LogImage::kSectorSize, 0xFF);
        image->Store(0, erased.data(), static_cast<uint32_t>(erased.size()));
    }

    void SetName(int slot, const std::string& name) {
        const uint32_t offset = static_cast<uint32_t>(slot / 50) * LogImage::kSectorSize +
                                static_cast<uint32_t>(slot % 50) * 20;
        std::vector<uint8_t> bytes(20, 0);
        std::memcpy(bytes.data(), name.data(), name.size() < 19 ? name.size() : 19);
        image->Store(offset, bytes.data(), 20);
    }
    void Erase(int slot) {
        const uint8_t ff[20] = {0xFF};
        const uint32_t offset = static_cast<uint32_t>(slot / 50) * LogImage::kSectorSize +
                                static_cast<uint32_t>(slot % 50) * 20;
        image->Store(offset, ff, 1);
    }

    std::vector<Node> Nodes(SessionBoxes boxes = SessionBoxes()) {
        std::vector<Node> out;
        for (const SessionNode& node : table->Nodes(boxes)) {
            out.push_back({static_cast<int>(node.level), node.text, node.itemData});
        }
        return out;
    }

    std::unique_ptr<LogImage> image = std::make_unique<LogImage>();
    std::unique_ptr<SessionTable> table = std::make_unique<SessionTable>();
};

constexpr uint32_t kFolder = 0xFFFF;

TEST_F(SessionTableTest, LabelsOfAnUntaggedSession) {
    SetName(17, Name(InstrumentStamp(2026, 12, 7, 9, 30, 15)));
    table->Build(*image);
    const SessionEntry* entry = table->FindSlot(17);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->used, 1);
    EXPECT_EQ(entry->slot, 17);
    EXPECT_EQ(entry->undated, 0);
    EXPECT_STREQ(entry->monthLabel, "Dec 2026");
    EXPECT_STREQ(entry->dayLabel, "Monday 07");
    EXPECT_STREQ(entry->sessionLabel, "09:30:15     ");
    EXPECT_EQ(entry->alarm, 0);
    EXPECT_EQ(entry->calibration, 0);
    EXPECT_EQ(std::string(entry->name), Name(InstrumentStamp(2026, 12, 7, 9, 30, 15)));
}

struct TagCase {
    const char* tags; // positions 9 to 12
    const char* label;
    int alarm;
    int calibration;
};

class SessionTagTest : public SessionTableTest, public ::testing::WithParamInterface<TagCase> {};

TEST_P(SessionTagTest, TagsAppendTheirTextsInOrder) {
    SetName(3, Name(InstrumentStamp(2027, 1, 2, 23, 59, 58), GetParam().tags));
    table->Build(*image);
    const SessionEntry* entry = table->FindSlot(3);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(std::string(entry->sessionLabel), GetParam().label);
    EXPECT_EQ(entry->alarm, GetParam().alarm);
    EXPECT_EQ(entry->calibration, GetParam().calibration);
}

INSTANTIATE_TEST_SUITE_P(Cases, SessionTagTest,
                         ::testing::Values(TagCase{"____", "23:59:58     ", 0, 0},
                                           TagCase{"FACC", "23:59:58FC C Alm (cont) ", 1, 1},
                                           TagCase{"F__C", "23:59:58FC C ", 0, 1},
                                           TagCase{"F___", "23:59:58FC   ", 0, 1},
                                           TagCase{"___C", "23:59:58   C ", 0, 1},
                                           TagCase{"_A__", "23:59:58     Alm ", 1, 0},
                                           TagCase{"__C_", "23:59:58     (cont) ", 0, 0},
                                           TagCase{"facc", "23:59:58     ", 0, 0},
                                           TagCase{"AFCC", "23:59:58   C (cont) ", 0, 1}));

TEST_F(SessionTableTest, StampIsReadAsPercentXReadsIt) {
    // Lower-case digits are hexadecimal too; the stamp ends at the first other character.
    SetName(0, "0000003c_____");
    SetName(1, "E10 rest");
    table->Build(*image);
    EXPECT_STREQ(table->FindSlot(0)->sessionLabel, "00:01:00     ");
    EXPECT_STREQ(table->FindSlot(1)->sessionLabel, "01:00:00     ");
    EXPECT_STREQ(table->FindSlot(1)->monthLabel, "Jan 2000");
}

TEST_F(SessionTableTest, UndatedAndEmptySlots) {
    SetName(4, "FFFFFFFF_FACC");
    SetName(5, Name(InstrumentStamp(2026, 3, 1, 8, 0, 0)));
    table->Build(*image);
    const SessionEntry* undated = table->FindSlot(4);
    ASSERT_NE(undated, nullptr);
    EXPECT_EQ(undated->used, 1);
    EXPECT_EQ(undated->undated, 1);
    EXPECT_STREQ(undated->name, "FFFFFFFF_FACC");
    EXPECT_EQ(table->FindDated(4), nullptr);
    EXPECT_NE(table->FindDated(5), nullptr);
    EXPECT_EQ(table->FindSlot(6), nullptr); // empty
    EXPECT_EQ(table->FindSlot(-1), nullptr);
    EXPECT_EQ(table->FindSlot(500), nullptr);
    // The undated session is shown nowhere.
    EXPECT_EQ(Nodes(),
              (std::vector<Node>{
                  {0, "Mar 2026", kFolder}, {1, "Sunday 01", kFolder}, {2, "08:00:00     ", 5}}));
}

TEST_F(SessionTableTest, SortsByTheFirstEightCharacters) {
    const unsigned int stamps[] = {
        InstrumentStamp(2026, 5, 3, 10, 0, 0), InstrumentStamp(2026, 5, 1, 9, 0, 0),
        InstrumentStamp(2026, 4, 30, 23, 0, 0), InstrumentStamp(2026, 5, 3, 8, 0, 0)};
    SetName(0, Name(stamps[0]));
    SetName(1, "FFFFFFFF");
    SetName(2, Name(stamps[1]));
    SetName(300, Name(stamps[2]));
    SetName(499, Name(stamps[3]));
    table->Build(*image);
    for (int i = 0; i + 1 < SessionTable::kEntryCount; ++i) {
        ASSERT_LE(std::strncmp(table->Entry(i).name, table->Entry(i + 1).name, 8), 0) << i;
    }
    std::vector<int> usedOrder;
    for (int i = 0; i < SessionTable::kEntryCount; ++i) {
        if (table->Entry(i).used) {
            usedOrder.push_back(table->Entry(i).slot);
        }
    }
    EXPECT_EQ(usedOrder, (std::vector<int>{300, 2, 499, 0, 1}));
    EXPECT_EQ(Nodes(), (std::vector<Node>{{0, "Apr 2026", kFolder},
                                          {1, "Thursday 30", kFolder},
                                          {2, "23:00:00     ", 300},
                                          {0, "May 2026", kFolder},
                                          {1, "Friday 01", kFolder},
                                          {2, "09:00:00     ", 2},
                                          {1, "Sunday 03", kFolder},
                                          {2, "08:00:00     ", 499},
                                          {2, "10:00:00     ", 0}}));
}

TEST_F(SessionTableTest, EmptyIndexGivesNoNodes) {
    table->Build(*image);
    EXPECT_TRUE(Nodes().empty());
    for (int i = 0; i < SessionTable::kEntryCount; ++i) {
        EXPECT_EQ(table->Entry(i).used, 0);
    }
}

TEST_F(SessionTableTest, RebuildReplacesTheOldList) {
    SetName(10, Name(InstrumentStamp(2026, 6, 1, 12, 0, 0)));
    SetName(11, Name(InstrumentStamp(2026, 6, 2, 12, 0, 0)));
    table->Build(*image);
    EXPECT_EQ(Nodes().size(), 5u);
    Erase(10);
    SetName(11, "FFFFFFFF");
    SetName(12, Name(InstrumentStamp(2026, 7, 4, 6, 5, 4), "_A__"));
    table->Build(*image);
    EXPECT_EQ(table->FindSlot(10), nullptr);
    EXPECT_EQ(table->FindDated(11), nullptr);
    EXPECT_EQ(Nodes(), (std::vector<Node>{{0, "Jul 2026", kFolder},
                                          {1, "Saturday 04", kFolder},
                                          {2, "06:05:04     Alm ", 12}}));
}

TEST_F(SessionTableTest, EqualDayLabelsInDifferentMonthsGetADayNodeEach) {
    // February and March 2027 both begin on a Monday: the 5th is "Friday 05" in each.
    SetName(0, Name(InstrumentStamp(2027, 2, 5, 10, 0, 0)));
    SetName(1, Name(InstrumentStamp(2027, 3, 5, 11, 0, 0)));
    table->Build(*image);
    EXPECT_EQ(Nodes(), (std::vector<Node>{{0, "Feb 2027", kFolder},
                                          {1, "Friday 05", kFolder},
                                          {2, "10:00:00     ", 0},
                                          {0, "Mar 2027", kFolder},
                                          {1, "Friday 05", kFolder},
                                          {2, "11:00:00     ", 1}}));
}

class SessionBoxTest : public SessionTableTest {
protected:
    void SetUp() override {
        SessionTableTest::SetUp();
        SetName(0, Name(InstrumentStamp(2026, 8, 10, 9, 0, 0)));          // plain
        SetName(1, Name(InstrumentStamp(2026, 8, 10, 10, 0, 0), "_A__")); // alarm
        SetName(2, Name(InstrumentStamp(2026, 8, 11, 9, 0, 0), "F___"));  // FC
        SetName(3, Name(InstrumentStamp(2026, 8, 11, 10, 0, 0), "___C")); // C
        SetName(4, Name(InstrumentStamp(2026, 8, 12, 9, 0, 0)));          // plain day
        SetName(5, Name(InstrumentStamp(2026, 9, 1, 9, 0, 0), "FA_C"));   // everything
        table->Build(*image);
    }
};

TEST_F(SessionBoxTest, AllListsEverySession) {
    SessionBoxes boxes;
    boxes.all = true;
    EXPECT_EQ(Nodes(boxes), (std::vector<Node>{{0, "Aug 2026", kFolder},
                                               {1, "Monday 10", kFolder},
                                               {2, "09:00:00     ", 0},
                                               {2, "10:00:00     Alm ", 1},
                                               {1, "Tuesday 11", kFolder},
                                               {2, "09:00:00FC   ", 2},
                                               {2, "10:00:00   C ", 3},
                                               {1, "Wednesday 12", kFolder},
                                               {2, "09:00:00     ", 4},
                                               {0, "Sep 2026", kFolder},
                                               {1, "Tuesday 01", kFolder},
                                               {2, "09:00:00FC C Alm ", 5}}));
}

TEST_F(SessionBoxTest, AlarmOnlyLeavesOutTheDaysWithoutAnAlarm) {
    SessionBoxes boxes;
    boxes.all = false;
    boxes.alarm = true;
    EXPECT_EQ(Nodes(boxes), (std::vector<Node>{{0, "Aug 2026", kFolder},
                                               {1, "Monday 10", kFolder},
                                               {2, "10:00:00     Alm ", 1},
                                               {0, "Sep 2026", kFolder},
                                               {1, "Tuesday 01", kFolder},
                                               {2, "09:00:00FC C Alm ", 5}}));
}

TEST_F(SessionBoxTest, CalOnly) {
    SessionBoxes boxes;
    boxes.all = false;
    boxes.cal = true;
    EXPECT_EQ(Nodes(boxes), (std::vector<Node>{{0, "Aug 2026", kFolder},
                                               {1, "Tuesday 11", kFolder},
                                               {2, "09:00:00FC   ", 2},
                                               {2, "10:00:00   C ", 3},
                                               {0, "Sep 2026", kFolder},
                                               {1, "Tuesday 01", kFolder},
                                               {2, "09:00:00FC C Alm ", 5}}));
}

TEST_F(SessionBoxTest, AlarmAndCalListTheSessionWithBothTagsOnce) {
    SessionBoxes boxes;
    boxes.all = false;
    boxes.alarm = true;
    boxes.cal = true;
    std::vector<Node> nodes = Nodes(boxes);
    int sessions = 0;
    for (const Node& node : nodes) {
        sessions += node.level == 2;
    }
    EXPECT_EQ(sessions, 4); // slots 1, 2, 3 and 5
    EXPECT_EQ(nodes.back(), (Node{2, "09:00:00FC C Alm ", 5}));
}

TEST_F(SessionBoxTest, NoBoxListsNothing) {
    SessionBoxes boxes;
    boxes.all = false;
    EXPECT_TRUE(Nodes(boxes).empty());
}

TEST_F(SessionTableTest, LabelsDoNotDependOnTheTimeZone) {
    SetName(0, Name(InstrumentStamp(2026, 7, 15, 2, 30, 0)));
    {
        const testsupport::ZoneGuard zone("America/New_York");
        table->Build(*image);
    }
    EXPECT_STREQ(table->FindSlot(0)->sessionLabel, "02:30:00     ");
    EXPECT_STREQ(table->FindSlot(0)->dayLabel, "Wednesday 15");
}

} // namespace
