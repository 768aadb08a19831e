// Next and Full Day.
#include "TreeFixture.h"

namespace {

const std::string kSeparatorOpen = "\\par -------- ";
const std::string kSeparatorClose = " --------- \\par ";

class DayNavigationTest : public TreeTest {
protected:
    void SetUp() override {
        TreeTest::SetUp();
        ToIdle();
        UploadIndex();
        comms.Take();
    }
};

TEST_F(DayNavigationTest, NextOnTheLastSessionOfADayDoesNothing) {
    browser->SelectNode(6);
    Pump();
    const std::string body = report.ReportBody;
    view.log.clear();
    comms.Take();
    browser->OnNext();
    EXPECT_EQ(browser->SelectedNode(), 6);
    EXPECT_TRUE(view.log.empty());
    EXPECT_TRUE(comms.Take().empty());
    EXPECT_EQ(reader->UploadState(), 2);
    EXPECT_EQ(report.ReportBody, body);
}

TEST_F(DayNavigationTest, NextShowsTheFollowingSessionByItself) {
    browser->SelectNode(5);
    Pump();
    browser->OnNext();
    EXPECT_EQ(view.selected, 6);
    EXPECT_EQ(reader->UploadState(), 7);
    Pump();
    EXPECT_EQ(report.ReportBody.find("Slot two"), std::string::npos);
    EXPECT_NE(report.ReportBody.find("Slot zero"), std::string::npos);
    EXPECT_EQ(report.ReportBody.find(kSeparatorOpen), std::string::npos);
}

TEST_F(DayNavigationTest, NextDuringAnUploadShowsOnlyTheSessionAskedForLast) {
    browser->SelectNode(5);
    PumpUntil([&] { return reader->UploadState() == 10; });
    browser->OnNext();
    Pump();
    EXPECT_EQ(static_cast<uint32_t>(reader->CurrentSlot()), browser->Tree().At(6).itemData);
    EXPECT_EQ(report.ReportBody.find("Slot two"), std::string::npos);
    EXPECT_NE(report.ReportBody.find("Slot zero"), std::string::npos);
    EXPECT_EQ(report.ReportBody.find(kSeparatorOpen), std::string::npos);
}

TEST_F(DayNavigationTest, NextOnADayNodeSelectsTheNextDayAndUploadsNothing) {
    browser->SelectNode(4);
    browser->OnNext();
    EXPECT_EQ(view.selected, 7);
    EXPECT_EQ(report.HeadingDay, "Mar 2026 ");
    EXPECT_TRUE(comms.Take().empty());
    EXPECT_EQ(reader->UploadState(), 2);
}

TEST_F(DayNavigationTest, NextWithNothingSelectedDoesNothing) {
    browser->OnNext();
    EXPECT_EQ(browser->SelectedNode(), -1);
    EXPECT_TRUE(comms.Take().empty());
}

TEST_F(DayNavigationTest, FullDayFromTheFirstSessionCollectsTheDayInOneReport) {
    browser->OnFullDay(true);
    EXPECT_FALSE(view.next);
    EXPECT_TRUE(view.fullDayBox);
    browser->SelectNode(5);
    Pump();
    EXPECT_EQ(reader->UploadState(), 2);
    EXPECT_EQ(view.selected, 6);
    const std::string heading = "Thursday 05 Mar 2026";
    const std::string expectedTail = heading + " \\par " + SessionText(2) + kSeparatorOpen +
                                     heading + kSeparatorClose + SessionText(0);
    const std::string& body = report.ReportBody;
    ASSERT_GE(body.size(), expectedTail.size());
    EXPECT_EQ(body.substr(body.size() - expectedTail.size()), expectedTail);
    // Before the sections stands the header and nothing else.
    EXPECT_EQ(body.size() - expectedTail.size(), 411u);
    EXPECT_EQ(body.compare(0, 5, "{\\rtf"), 0);
    EXPECT_EQ(report.ReportText, body + "}}");
    EXPECT_EQ(view.reportText, report.ReportText);
    // Two sessions, two uploads; the chain ends at the last session of the day.
    int uploads = 0;
    for (const auto& ended : view.ended) {
        uploads += ended.first == UploadRequest::Session ? 1 : 0;
    }
    EXPECT_EQ(uploads, 2);
}

TEST_F(DayNavigationTest, FullDayDoesNotRunIntoTheNextDay) {
    browser->OnFullDay(true);
    browser->SelectNode(6);
    Pump();
    EXPECT_EQ(view.selected, 6);
    EXPECT_EQ(report.ReportBody.find("Slot three"), std::string::npos);
}

TEST_F(DayNavigationTest, AfterAFullDayTheNextChoiceBeginsANewReport) {
    browser->OnFullDay(true);
    browser->SelectNode(5);
    Pump();
    browser->SelectNode(8);
    Pump();
    EXPECT_EQ(report.ReportBody.find("Slot two"), std::string::npos);
    EXPECT_NE(report.ReportBody.find("Slot three"), std::string::npos);
    EXPECT_EQ(report.ReportBody.find(kSeparatorOpen), std::string::npos);
}

TEST_F(DayNavigationTest, TickingFullDayAddsTheRestOfTheShownDayAndUntickingGoesBack) {
    browser->SelectNode(5);
    Pump();
    const std::string single = report.ReportText;
    browser->OnFullDay(true);
    EXPECT_FALSE(view.next);
    Pump();
    EXPECT_EQ(view.selected, 6);
    const std::string heading = "Thursday 05 Mar 2026";
    const std::string tail = heading + " \\par " + SessionText(2) + kSeparatorOpen + heading +
                             kSeparatorClose + SessionText(0);
    const std::string& body = report.ReportBody;
    ASSERT_GE(body.size(), tail.size());
    EXPECT_EQ(body.substr(body.size() - tail.size()), tail);
    EXPECT_EQ(body.size() - tail.size(), 411u) << "one report: the header, then the day";

    // Unticked: the session the day began with, alone, selected again; nothing uploaded.
    comms.Take();
    browser->OnFullDay(false);
    EXPECT_EQ(report.ReportText, single);
    EXPECT_EQ(view.reportText, single);
    EXPECT_EQ(view.selected, 5);
    EXPECT_EQ(browser->SelectedNode(), 5);
    EXPECT_TRUE(view.next);
    EXPECT_TRUE(comms.Take().empty());
    EXPECT_TRUE(browser->NewReportOnSelect());
    browser->SelectNode(8);
    Pump();
    EXPECT_EQ(report.ReportBody.find(kSeparatorOpen), std::string::npos);
    EXPECT_NE(report.ReportBody.find("Slot three"), std::string::npos);
}

TEST_F(DayNavigationTest, FullDayTickedWithNothingShownWaitsForTheNextChoice) {
    browser->OnFullDay(true);
    EXPECT_TRUE(comms.Take().empty());
    EXPECT_EQ(report.ReportBody, "");
    browser->OnFullDay(false);
    EXPECT_EQ(report.ReportBody, "");
    EXPECT_TRUE(browser->NewReportOnSelect());
}

TEST_F(DayNavigationTest, TheViewEchoingASelectionDoesNotUploadTwice) {
    browser->OnFullDay(true);
    browser->SelectNode(5);
    browser->OnSessionSelected(5); // a view that reports its own selection back
    Pump();
    int uploads = 0;
    for (const auto& ended : view.ended) {
        uploads += ended.first == UploadRequest::Session ? 1 : 0;
    }
    EXPECT_EQ(uploads, 2);
}

} // namespace
