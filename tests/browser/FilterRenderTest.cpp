// A change of the log filter renders the report on screen again: the same sessions, in the same
// order, under the same headings, now filtered.
#include <algorithm>
#include <initializer_list>
#include <iterator>

#include "BrowserFixture.h"
#include "recbuild/RecordBuilder.h"

namespace {

using R = RecordBuilder;

const std::string kSeparatorOpen = "\\par -------- ";
const std::string kColumnHeading = "  LEL     CO    \\par ";

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

// Three sessions on Thursday 5 March 2026 (slots 0, 1, 2, in tree order), one on Friday 6 March
// (slot 3). Each holds manual readings and alarms of the same two gases, so that hiding the
// alarms changes both the lines shown and where the column heading comes back.
//   0 Mar 2026 / 1 Thursday 05 / 2 (slot 0), 3 (slot 1), 4 (slot 2)
//                5 Friday 06   / 6 (slot 3)
class FilterRenderTest : public BrowserTest {
protected:
    void SetUp() override {
        BrowserTest::SetUp();
        const int hours[] = {8, 9, 10};
        for (int slot = 0; slot < 3; ++slot) {
            PutReadingSession(slot, InstrumentStamp(2026, 3, 5, hours[slot], 0, 0));
        }
        PutReadingSession(3, InstrumentStamp(2026, 3, 6, 12, 0, 0));
        memory = std::make_unique<LogImage>();
        memory->Store(0, instrument->bytes.data(), LogImage::kImageSize);
        ToIdle();
        UploadIndex();
        ASSERT_EQ(browser->Tree().Count(), 7);
        ASSERT_EQ(browser->Tree().Text(1), "Thursday 05");
        ASSERT_EQ(browser->Tree().Text(5), "Friday 06");
        comms.Take();
    }

    // Readings only: any other record would bring the column heading back by itself.
    void PutReadingSession(int slot, unsigned int start) {
        instrument->PutEntry(slot, InstrumentMemory::Name(start, "A"));
        std::vector<uint8_t> stream;
        unsigned int t = start;
        for (int i = 0; i < 2; ++i) {
            R::Stamped('M', '1', t += 60)
                .Readings({{0, 25}, {4, static_cast<int16_t>(30 + slot)}}, R::kNoGps)
                .AppendTo(stream);
            R::Stamped('A', '1', t += 60)
                .Byte(0)
                .Readings({{0, static_cast<int16_t>(210 + i)}, {4, 40}}, R::kNoGps)
                .AppendTo(stream);
        }
        instrument->PutSession(slot, EscapeForFlash(stream));
    }

    struct Flags {
        int32_t alarm = 1;
        int32_t manual = 1;
        int32_t timed = 1;
    };

    static void Apply(ReportState& state, const Flags& flags) {
        state.ShowAlarmLogs = flags.alarm;
        state.ShowManualLogs = flags.manual;
        state.ShowTimedLogs = flags.timed;
    }

    // Renders `slots` under the headings of their tree nodes into `state`, as one report, from
    // the instrument's memory (not from what the browser has uploaded).
    void RenderInto(ReportState& state, std::initializer_list<int16_t> slots) {
        const SessionTree& tree = browser->Tree();
        for (int16_t slot : slots) {
            const int day = tree.Parent(tree.FindSession(slot));
            state.HeadingDay = tree.Text(day) + " ";
            state.HeadingMonth = tree.Text(tree.Parent(day));
            RenderSession(state, *memory, slot);
        }
    }

    // What the report module gives for these sessions as one report from a fresh start.
    std::string Fresh(std::initializer_list<int16_t> slots, const Flags& flags) {
        ReportState fresh;
        for (int i = 0; i < 4; ++i) {
            fresh.ModeNames[i] = report.ModeNames[i];
        }
        Apply(fresh, flags);
        RenderInto(fresh, slots);
        return fresh.ReportText;
    }

    void ChangeFilter(const Flags& flags) {
        Apply(report, flags);
        browser->RenderAgain();
    }

    std::unique_ptr<LogImage> memory;
    const Flags all{};
    const Flags noAlarms{0, 1, 1};
};

TEST_F(FilterRenderTest, TheSessionsHaveSomethingForTheFilterToHide) {
    EXPECT_NE(Fresh({0}, all), Fresh({0}, noAlarms));
    EXPECT_NE(Fresh({0}, all).find("alarm.\\par "), std::string::npos);
    EXPECT_EQ(Fresh({0}, noAlarms).find("alarm.\\par "), std::string::npos);
    // Hiding the alarms moves the repeated column heading within a day's report.
    EXPECT_NE(Count(Fresh({0, 1, 2}, all), kColumnHeading),
              Count(Fresh({0, 1, 2}, noAlarms), kColumnHeading));
}

TEST_F(FilterRenderTest, OneSessionIsShownAgainFilteredInsteadOfAppended) {
    browser->SelectNode(2);
    Pump();
    ASSERT_EQ(report.ReportText, Fresh({0}, all));
    const int updates = view.reportUpdates;
    const size_t messages = view.messages.size();

    ChangeFilter(noAlarms);
    EXPECT_EQ(report.ReportText, Fresh({0}, noAlarms));
    EXPECT_EQ(report.ReportBody + "}}", report.ReportText);
    EXPECT_EQ(Count(report.ReportText, kSeparatorOpen), 0u);
    EXPECT_EQ(view.reportText, report.ReportText);
    EXPECT_EQ(view.reportUpdates, updates + 1);
    EXPECT_EQ(view.messages.size(), messages);
    EXPECT_TRUE(comms.Take().size() > 0); // the upload's polls only: a rendering sends nothing

    // Back to every kind: the report as it first was, also for a second change in a row.
    ChangeFilter(all);
    EXPECT_EQ(report.ReportText, Fresh({0}, all));
    ChangeFilter(all);
    EXPECT_EQ(report.ReportText, Fresh({0}, all));
    EXPECT_TRUE(comms.Take().empty());
}

TEST_F(FilterRenderTest, AFullDayKeepsItsSectionsOnceEachWhenFiltered) {
    browser->OnFullDay(true);
    browser->SelectNode(2);
    Pump();
    ASSERT_EQ(browser->SelectedNode(), 4);
    ASSERT_EQ(report.ReportText, Fresh({0, 1, 2}, all));
    ASSERT_EQ(Count(report.ReportText, kSeparatorOpen), 2u);

    ChangeFilter(noAlarms);
    EXPECT_EQ(report.ReportText, Fresh({0, 1, 2}, noAlarms));
    EXPECT_EQ(Count(report.ReportText, kSeparatorOpen), 2u);
    EXPECT_EQ(report.ReportBody + "}}", report.ReportText);
    EXPECT_EQ(view.reportText, report.ReportText);
    EXPECT_EQ(report.HeadingDay, "Thursday 05 ");
    EXPECT_EQ(report.HeadingMonth, "Mar 2026");

    ChangeFilter(all);
    EXPECT_EQ(report.ReportText, Fresh({0, 1, 2}, all));
    EXPECT_TRUE(browser->FullDay());
}

TEST_F(FilterRenderTest, AFilterChangeWhileTheDayIsCollectedCarriesOnTheSameReport) {
    browser->OnFullDay(true);
    browser->SelectNode(2);
    // The first session is shown and the second is on its way.
    PumpUntil([&] { return view.reportUpdates > 0 && reader->UploadState() == 8; });
    ASSERT_EQ(browser->SelectedNode(), 3);
    ASSERT_EQ(report.ReportText, Fresh({0}, all));

    ChangeFilter(noAlarms);
    EXPECT_EQ(report.ReportText, Fresh({0}, noAlarms));
    Pump();
    EXPECT_EQ(browser->SelectedNode(), 4);
    EXPECT_EQ(report.ReportText, Fresh({0, 1, 2}, noAlarms));
}

TEST_F(FilterRenderTest, TheRebuiltReportStartsFromTheDecoderStateItBeganWith) {
    browser->SelectNode(2);
    Pump();
    browser->OnNext();
    Pump();
    ASSERT_EQ(browser->SelectedNode(), 3);
    ChangeFilter(noAlarms);
    // Slot 1 was begun right after slot 0 had been rendered with every kind shown.
    ReportState expected;
    RenderInto(expected, {0});
    expected.ReportBody.clear();
    Apply(expected, noAlarms);
    RenderInto(expected, {1});
    EXPECT_EQ(report.ReportText, expected.ReportText);

    // Rendering on from there goes on as if the filter had been set all along.
    browser->OnNext();
    Pump();
    expected.ReportBody.clear();
    RenderInto(expected, {2});
    EXPECT_EQ(report.ReportText, expected.ReportText);
}

TEST_F(FilterRenderTest,
       AfterChoosingADayNodeTheShownReportIsFilteredAndTheNextChoiceBeginsAfresh) {
    browser->SelectNode(6);
    Pump();
    browser->SelectNode(1); // a day node: the report is closed, the one shown stays
    ASSERT_EQ(report.ReportBody, "");
    ChangeFilter(noAlarms);
    EXPECT_EQ(report.ReportText, Fresh({3}, noAlarms));
    EXPECT_EQ(view.reportText, report.ReportText);
    EXPECT_EQ(report.ReportBody, "") << "the next rendering still begins a new report";
    EXPECT_EQ(report.HeadingDay, "Mar 2026 ");
    EXPECT_EQ(report.HeadingMonth, "");

    browser->SelectNode(3);
    Pump();
    ReportState expected;
    Apply(expected, noAlarms);
    RenderInto(expected, {3});
    expected.ReportBody.clear();
    RenderInto(expected, {1});
    EXPECT_EQ(report.ReportText, expected.ReportText);
    EXPECT_EQ(Count(report.ReportText, kSeparatorOpen), 0u);
}

TEST_F(FilterRenderTest, AfterFullDayIsUntickedItsFirstSessionIsFilteredAndTheNextBeginsAfresh) {
    browser->OnFullDay(true);
    browser->SelectNode(2);
    Pump();
    browser->OnFullDay(false);
    EXPECT_EQ(report.ReportText, Fresh({0}, all)) << "back to the session the day began with";
    ChangeFilter(noAlarms);
    EXPECT_EQ(report.ReportText, Fresh({0}, noAlarms));
    browser->SelectNode(6);
    Pump();
    ReportState expected;
    Apply(expected, noAlarms);
    RenderInto(expected, {0});
    expected.ReportBody.clear();
    RenderInto(expected, {3});
    EXPECT_EQ(report.ReportText, expected.ReportText);
    EXPECT_EQ(Count(report.ReportText, kSeparatorOpen), 0u);
}

TEST_F(FilterRenderTest, BeforeAnySessionAFilterChangeShowsTheEmptyReportOnly) {
    const std::string empty = std::string(RtfHeader) + " \\par }}";
    browser->RenderAgain(); // the first tick after start-up
    EXPECT_EQ(report.ReportText, empty);
    EXPECT_EQ(report.ReportBody + "}}", empty);
    ChangeFilter(noAlarms);
    EXPECT_EQ(report.ReportText, empty);
    browser->SelectNode(1); // a day node renders nothing
    ChangeFilter(all);
    EXPECT_EQ(report.ReportText, empty);
    EXPECT_EQ(view.reportUpdates, 3);
    EXPECT_TRUE(comms.Take().empty());

    // The first session chosen replaces the empty report.
    browser->SelectNode(2);
    Pump();
    EXPECT_EQ(report.ReportText, Fresh({0}, all));
}

TEST_F(FilterRenderTest, ASessionWithUnknownRecordsWarnsOnItsUploadOnly) {
    std::vector<uint8_t> unknown(64, 0xFF);
    const uint8_t record[] = {'<', 10, 'Q', '1', 0, 0, 0, 0, 0, 0};
    std::copy(std::begin(record), std::end(record), unknown.begin());
    instrument->PutSession(3, unknown);
    browser->SelectNode(6);
    Pump();
    ASSERT_EQ(view.messages.size(), 1u);
    ChangeFilter(noAlarms);
    ChangeFilter(all);
    EXPECT_EQ(view.messages.size(), 1u);
    EXPECT_NE(report.ReportText.find("Unrecognised log."), std::string::npos);
    EXPECT_EQ(Count(report.ReportText, "Unrecognised log."), 1u);
}

} // namespace
