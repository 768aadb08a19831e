// The tree built from the index, the session boxes, and what choosing a node does.
#include "TreeFixture.h"

namespace {

struct Expected {
    int parent;
    std::string text;
    uint32_t itemData;
};

void ExpectTree(const FakeView& view, const SessionTree& tree, const std::vector<Expected>& nodes) {
    ASSERT_EQ(view.items.size(), nodes.size());
    ASSERT_EQ(tree.Count(), static_cast<int>(nodes.size()));
    for (size_t i = 0; i < nodes.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(view.items[i].id, static_cast<int>(i));
        EXPECT_EQ(view.items[i].parent, nodes[i].parent);
        EXPECT_EQ(view.items[i].text, nodes[i].text);
        EXPECT_EQ(view.items[i].itemData, nodes[i].itemData);
        EXPECT_EQ(view.items[i].makeVisible, nodes[i].itemData == 0xFFFF);
        EXPECT_EQ(tree.At(static_cast<int>(i)).text, nodes[i].text);
    }
}

TEST_F(TreeTest, EveryDatedSessionUnderItsMonthAndDay) {
    ToIdle();
    UploadIndex();
    ExpectTree(view, browser->Tree(),
               {{-1, "Feb 2026", 0xFFFF},
                {0, "Thursday 05", 0xFFFF},
                {1, "09:00:00     Alm ", 1},
                {-1, "Mar 2026", 0xFFFF},
                {3, "Thursday 05", 0xFFFF},
                {4, "08:30:00FC C ", 2},
                {4, "10:00:00     ", 0},
                {3, "Friday 06", 0xFFFF},
                {7, "12:00:00FC C Alm (cont) ", 3},
                {-1, "Apr 2026", 0xFFFF},
                {9, "Thursday 02", 0xFFFF},
                {10, "07:00:00     ", 60}});
}

TEST_F(TreeTest, OnlyAlarmSessionsAndTheirDays) {
    ToIdle();
    browser->OnAllSessions(false);
    browser->OnCalSessions(false);
    EXPECT_FALSE(view.boxes.all);
    EXPECT_TRUE(view.boxes.alarm);
    EXPECT_FALSE(view.boxes.cal);
    UploadIndex();
    ExpectTree(view, browser->Tree(),
               {{-1, "Feb 2026", 0xFFFF},
                {0, "Thursday 05", 0xFFFF},
                {1, "09:00:00     Alm ", 1},
                {-1, "Mar 2026", 0xFFFF},
                {3, "Friday 06", 0xFFFF},
                {4, "12:00:00FC C Alm (cont) ", 3}});
}

TEST_F(TreeTest, CalSessionsOnly) {
    ToIdle();
    browser->OnAlarmSessions(false);
    UploadIndex();
    std::vector<uint32_t> sessions;
    for (const FakeView::TreeItem& item : view.items) {
        if (item.itemData != 0xFFFF) {
            sessions.push_back(item.itemData);
        }
    }
    EXPECT_EQ(sessions, (std::vector<uint32_t>{2, 3}));
}

TEST_F(TreeTest, SessionBoxesFollowEachOther) {
    browser->OnAlarmSessions(false);
    EXPECT_FALSE(browser->Boxes().all);
    EXPECT_FALSE(browser->Boxes().alarm);
    EXPECT_TRUE(browser->Boxes().cal);
    browser->OnAllSessions(true);
    EXPECT_TRUE(browser->Boxes().all && browser->Boxes().alarm && browser->Boxes().cal);
    browser->OnCalSessions(true);
    EXPECT_FALSE(browser->Boxes().all);
    browser->OnAllSessions(false);
    EXPECT_FALSE(browser->Boxes().all);
    EXPECT_TRUE(browser->Boxes().alarm && browser->Boxes().cal);
}

TEST_F(TreeTest, TheBoxesApplyAtOnceToTheTreeAlreadyBuilt) {
    browser->OnAllSessions(true);
    EXPECT_EQ(view.clears, 0) << "no index yet: nothing to rebuild";
    ToIdle();
    UploadIndex();
    const size_t all = view.items.size();
    browser->SelectNode(6);
    Pump();
    const int16_t shownSlot = static_cast<int16_t>(view.items[6].itemData);
    comms.Take();

    browser->OnAllSessions(false); // Alarm and Cal stay
    browser->OnCalSessions(false); // Alarm only
    EXPECT_EQ(view.clears, 3);
    EXPECT_LT(view.items.size(), all);
    EXPECT_TRUE(comms.Take().empty()) << "no new GO";
    // The session shown stays selected when it is still listed, under its new id.
    const int kept = browser->Tree().FindSession(shownSlot);
    EXPECT_EQ(browser->SelectedNode(), kept);
    EXPECT_EQ(view.selected, kept);

    browser->OnAlarmSessions(false);
    EXPECT_TRUE(view.items.empty()) << "no box: no session, and no day or month without one";
    EXPECT_EQ(browser->SelectedNode(), -1);
    browser->OnAllSessions(true);
    EXPECT_EQ(view.items.size(), all);
}

TEST_F(TreeTest, AnEmptyIndexGivesAnEmptyTreeAndAnIdleMachine) {
    instrument = std::make_unique<InstrumentMemory>();
    ToIdle();
    UploadIndex();
    EXPECT_TRUE(view.items.empty());
    EXPECT_EQ(reader->UploadState(), 2);
    EXPECT_TRUE(view.go);
    EXPECT_TRUE(view.tree);
}

TEST_F(TreeTest, ChoosingAMonthNodeSetsTheHeadingsAndUploadsNothing) {
    ToIdle();
    UploadIndex();
    report.ReportBody = "earlier";
    comms.Take();
    browser->OnSessionSelected(3);
    EXPECT_EQ(report.HeadingDay, " ");
    EXPECT_EQ(report.HeadingMonth, "");
    EXPECT_EQ(report.ReportBody, "");
    EXPECT_TRUE(comms.Take().empty());
    EXPECT_EQ(reader->UploadState(), 2);
    EXPECT_EQ(browser->SelectedNode(), 3);
}

TEST_F(TreeTest, ChoosingADayNodeSetsTheHeadingsAndUploadsNothing) {
    ToIdle();
    UploadIndex();
    comms.Take();
    browser->OnSessionSelected(7);
    EXPECT_EQ(report.HeadingDay, "Mar 2026 ");
    EXPECT_EQ(report.HeadingMonth, "");
    EXPECT_TRUE(comms.Take().empty());
    EXPECT_EQ(reader->UploadState(), 2);
}

TEST_F(TreeTest, ChoosingASessionNodeUploadsItsSlot) {
    ToIdle();
    UploadIndex();
    comms.Take();
    browser->OnSessionSelected(8);
    EXPECT_EQ(report.HeadingDay, "Friday 06 ");
    EXPECT_EQ(report.HeadingMonth, "Mar 2026");
    EXPECT_EQ(reader->UploadState(), 7);
    EXPECT_EQ(reader->CurrentSlot(), 3);
    EXPECT_FALSE(view.go);
    EXPECT_FALSE(view.tree);
    reader->OnAskDone();
    EXPECT_EQ(comms.Take(), (Calls{"Find Sector to upload", "Set 13"}));
    Pump();
    EXPECT_EQ(view.reportText, report.ReportText);
    EXPECT_EQ(report.ReportBody.find("Friday 06 Mar 2026 \\par Slot three"),
              report.ReportBody.size() - std::string("Friday 06 Mar 2026 \\par Slot three").size());
}

TEST_F(TreeTest, TheFirstSessionChosenBeginsANewReport) {
    ToIdle();
    UploadIndex();
    browser->RenderAgain(); // what the first tick shows
    ASSERT_FALSE(report.ReportBody.empty());
    browser->OnSessionSelected(6);
    Pump();
    EXPECT_EQ(report.ReportBody.find("\\par -------- "), std::string::npos);
    EXPECT_NE(report.ReportBody.find("Slot zero"), std::string::npos);
}

TEST_F(TreeTest, SelectingTheSelectedNodeAgainDoesNothing) {
    ToIdle();
    UploadIndex();
    browser->OnSessionSelected(6);
    Pump();
    comms.Take();
    const std::string body = report.ReportBody;
    browser->OnSessionSelected(6);
    EXPECT_TRUE(comms.Take().empty());
    EXPECT_EQ(report.ReportBody, body);
}

TEST_F(TreeTest, UnknownNodesAreIgnored) {
    ToIdle();
    UploadIndex();
    comms.Take();
    browser->OnSessionSelected(99);
    browser->OnSessionSelected(-5);
    EXPECT_TRUE(comms.Take().empty());
    EXPECT_EQ(reader->UploadState(), 2);
    EXPECT_EQ(browser->SelectedNode(), -1);
}

TEST_F(TreeTest, ANewIndexClearsTheSelection) {
    ToIdle();
    UploadIndex();
    browser->OnSessionSelected(6);
    Pump();
    const std::string day = browser->Tree().Text(browser->Tree().Parent(6));
    ASSERT_NE(view.reportText.find(day), std::string::npos);
    UploadIndex();
    EXPECT_EQ(browser->SelectedNode(), -1);
    EXPECT_EQ(view.reportText.find(day), std::string::npos) << "the old tree's day heads nothing";
    comms.Take();
    browser->OnSessionSelected(6); // the same number is a new node now
    EXPECT_EQ(reader->UploadState(), 7);
}

} // namespace

namespace {

// An index with every slot taken, spread over many days and months: every node's parent is one
// level up, and the sibling chain visits exactly the parent's children in insertion order.
TEST_F(BrowserTest, TheSiblingChainOfAFullIndexFollowsTheTree) {
    unsigned int stamp = InstrumentStamp(2025, 11, 28, 6, 0, 0);
    unsigned int seed = 12345;
    for (int slot = 0; slot < LogImage::kSlotCount; ++slot) {
        seed = seed * 1103515245u + 12345u;
        stamp += 600 + (seed >> 8) % 90000; // ten minutes to a day apart
        const char* tags = (seed & 0x30) == 0x30 ? "A" : ((seed & 0xC0) == 0xC0 ? "F" : "");
        instrument->PutEntry((slot * 7) % LogImage::kSlotCount,
                             InstrumentMemory::Name(stamp, tags));
    }
    ToIdle();
    browser->OnAllSessions(false); // alarm and calibration sessions only: many childless days
    UploadIndex();
    const SessionTree& tree = browser->Tree();
    ASSERT_GT(tree.Count(), 300);
    int sessions = 0;
    for (int id = 0; id < tree.Count(); ++id) {
        const SessionTree::Node& node = tree.At(id);
        if (node.parent >= 0) {
            EXPECT_EQ(tree.At(node.parent).level, node.level - 1);
        } else {
            EXPECT_EQ(node.level, SessionNode::Month);
        }
        int expectedNext = -1;
        for (int later = id + 1; later < tree.Count(); ++later) {
            if (tree.At(later).parent == node.parent) {
                expectedNext = later;
                break;
            }
        }
        EXPECT_EQ(node.nextSibling, expectedNext) << id;
        sessions += node.level == SessionNode::Session ? 1 : 0;
    }
    EXPECT_GT(sessions, 0);
    EXPECT_LT(sessions, LogImage::kSlotCount);
}

} // namespace
