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

TEST_F(TreeTest, OnlyAlarmSessionsLeaveDaysWithoutChildren) {
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
                {3, "Thursday 05", 0xFFFF},
                {3, "Friday 06", 0xFFFF},
                {5, "12:00:00FC C Alm (cont) ", 3},
                {-1, "Apr 2026", 0xFFFF},
                {7, "Thursday 02", 0xFFFF}});
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

TEST_F(TreeTest, TheBoxesTakeEffectOnlyAtTheNextBuild) {
    ToIdle();
    UploadIndex();
    browser->OnAllSessions(false);
    browser->OnAlarmSessions(false);
    browser->OnCalSessions(false);
    EXPECT_EQ(view.items.size(), 12u);
    UploadIndex();
    EXPECT_EQ(view.items.size(), 7u);
    EXPECT_EQ(view.clears, 2);
}

TEST_F(TreeTest, AnEmptyIndexGivesAnEmptyTreeAndAnIdleMachine) {
    instrument = std::make_unique<InstrumentMemory>();
    ToIdle();
    UploadIndex();
    EXPECT_TRUE(view.items.empty());
    EXPECT_EQ(browser->UploadState(), 2);
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
    EXPECT_EQ(browser->UploadState(), 2);
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
    EXPECT_EQ(browser->UploadState(), 2);
}

TEST_F(TreeTest, ChoosingASessionNodeUploadsItsSlot) {
    ToIdle();
    UploadIndex();
    comms.Take();
    browser->OnSessionSelected(8);
    EXPECT_EQ(report.HeadingDay, "Friday 06 ");
    EXPECT_EQ(report.HeadingMonth, "Mar 2026");
    EXPECT_EQ(browser->UploadState(), 7);
    EXPECT_EQ(browser->CurrentSlot(), 3);
    EXPECT_FALSE(view.go);
    EXPECT_FALSE(view.tree);
    browser->OnAskDone();
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
    EXPECT_EQ(browser->UploadState(), 2);
    EXPECT_EQ(browser->SelectedNode(), -1);
}

TEST_F(TreeTest, ANewIndexClearsTheSelection) {
    ToIdle();
    UploadIndex();
    browser->OnSessionSelected(6);
    Pump();
    UploadIndex();
    EXPECT_EQ(browser->SelectedNode(), -1);
    comms.Take();
    browser->OnSessionSelected(6); // the same number is a new node now
    EXPECT_EQ(browser->UploadState(), 7);
}

} // namespace
