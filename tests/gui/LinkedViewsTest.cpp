// The report, the chart and the map on one moment: each record's line in the report view, and a
// record chosen (as the map chooses one) bringing the report and the chart's cursor to it.
#include "gui/LinkedViews.h"
#include "charts/ChartText.h"
#include "charts/SessionChartPlot.h"
#include "charts/SessionChartSource.h"
#include "gui/ChartPanel.h"
#include "gui/RtfView.h"
#include "orvtime/TimeFormat.h"
#include "recbuild/RecordBuilder.h"
#include "report/Report.h"
#include "report/ShownReport.h"
#include "testsupport/EnvGuard.h"
#include "testsupport/InstrumentStamp.h"

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTextBlock>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

using R = RecordBuilder;
using Bytes = std::vector<uint8_t>;

// Session streams stored as flash holds them.
class Streams : public SessionByteSource {
public:
    std::map<int16_t, Bytes> stored;
    void ReadSessionBytes(int16_t slot, uint8_t* out100, int16_t& readIndex) override {
        const Bytes& bytes = stored[slot];
        auto next = [&]() -> uint8_t {
            const size_t index = static_cast<uint16_t>(readIndex);
            readIndex = static_cast<int16_t>(readIndex + 1);
            return index < bytes.size() ? bytes[index] : 0xFF;
        };
        for (int i = 0; i < 100; ++i) {
            uint8_t b = next();
            out100[i] = b == kFlashEscape ? next() : b;
        }
    }
};

const GpsFix kFix = GpsFix::At(true, 5130, 1234, false, 12, 4567, 2);
const uint32_t kDay = testsupport::InstrumentStamp(2026, 8, 18, 9, 0, 0);

// Every record a minute and a second after the one before, so that each shows its own time.
uint32_t At(int slot, int index) {
    return kDay + static_cast<uint32_t>(slot * 3600 + index * 61);
}

Bytes Stream(std::initializer_list<R> records) {
    Bytes stream;
    for (const R& record : records) {
        record.AppendTo(stream);
    }
    return EscapeForFlash(stream);
}

R Timed(uint32_t stamp) {
    return R::Stamped('L', '3', stamp)
        .Byte('1')
        .Readings({{0, 25}, {4, 30}}, R::kGpsFollows)
        .Gps(kFix);
}

// A Full Day of three sessions: every kind of line, the reading lines under their column heading,
// a session that ends in a timed reading, and one of a timed reading alone.
class LinkedViewsTest : public ::testing::Test {
protected:
    LinkedViewsTest() {
        source.stored[3] = Stream({
            R::Stamped('O', '1', At(3, 0)).Chars("SUR", 3),
            R::Stamped('W', '1', At(3, 1)).S16(5).Gps(kFix),
            R::Stamped('A', '2', At(3, 2)).Byte(4).Readings({{0, 25}, {4, 30}}, 0xFF).Gps(kFix),
            R::Stamped('M', '4', At(3, 3)).Byte('1').Readings({{0, 25}, {4, 30}}, 0xFF).Gps(kFix),
            Timed(At(3, 4)),
            R::Barhole('5', At(3, 5), 3, 45, 'G', 60, 'G').Byte(0).Gps(kFix),
            R::Stamped('P', '1', At(3, 6)).Byte('G').S16(50),
            R::Stamped('G', '1', At(3, 7)).Bytes(Bytes(20, 7)),
            R::FreeText("kerb"),
            R::Stamped('Y', '1', At(3, 9)),
        });
        source.stored[4] = Stream({
            R::Stamped('O', '1', At(4, 0)).Chars("SUR", 3),
            Timed(At(4, 1)),
            R::Stamped('W', '1', At(4, 2)).S16(7).Gps(kFix),
            R::Stamped('A', '2', At(4, 3)).Byte(4).Readings({{0, 25}, {4, 30}}, 0xFF).Gps(kFix),
            Timed(At(4, 4)),
        });
        source.stored[5] = Stream({Timed(At(5, 0))});
    }

    // Renders the day as Full Day does, each session under its own heading.
    void RenderDay() {
        for (int16_t slot : {3, 4, 5}) {
            state.HeadingDay = "Day" + std::to_string(slot) + " ";
            state.HeadingMonth = "Month" + std::to_string(slot);
            shown.Render(state, source, slot);
        }
        view.SetRtf(state.ReportText);
    }

    std::vector<SessionValues> Values() {
        std::vector<SessionValues> sessions;
        for (int16_t slot : shown.Slots()) {
            sessions.push_back(DecodeSessionValues(source, slot, state.ModeNames));
        }
        return sessions;
    }

    QString LineText(int block) const { return view.document()->findBlockByNumber(block).text(); }
    // The view's line of the anchor of record `record` of session `session`.
    int LineOf(const ReportAnchors& anchors, size_t session, size_t record) const {
        return view.LineAt(anchors.Sessions.at(session).Records.at(record));
    }

    testsupport::ZoneGuard zone{"Europe/Berlin"};
    Streams source;
    ReportState state;
    ShownReport shown;
    RtfView view;
};

QString TimeText(const RecordValue& record) {
    return QString::fromStdString(FormatTime(record.Time, "%X"));
}

TEST_F(LinkedViewsTest, EveryRecordsAnchorIsTheLineThatShowsItsTime) {
    RenderDay();
    const ReportAnchors anchors = shown.SessionAnchors(state);
    const std::vector<SessionValues> sessions = Values();
    ASSERT_EQ(anchors.Sessions.size(), 3u);
    for (size_t s = 0; s < sessions.size(); ++s) {
        // The anchors follow the records as the map numbers them: the session's decoded values.
        ASSERT_EQ(anchors.Sessions[s].Records.size(), sessions[s].Records.size()) << s;
        for (size_t r = 0; r < sessions[s].Records.size(); ++r) {
            const RecordValue& record = sessions[s].Records[r];
            SCOPED_TRACE(testing::Message() << "session " << s << " record " << r << " "
                                            << RecordKindWord(record.Kind));
            const QString line = LineText(LineOf(anchors, s, r));
            if (record.Stamped) {
                EXPECT_TRUE(line.contains(TimeText(record))) << line.toStdString();
            } else {
                EXPECT_TRUE(line.contains("kerb")) << line.toStdString();
            }
        }
        EXPECT_TRUE(LineText(view.LineAt(anchors.Sessions[s].Heading))
                        .contains(QString("Day%1 Month%1").arg(s + 3)));
    }
    // The first reading line stands under its column heading, and its anchor under that.
    EXPECT_TRUE(LineText(LineOf(anchors, 0, 2) - 1).contains(GasInfoOf(0).Name));
}

TEST_F(LinkedViewsTest, ARecordTheFilterHidesTakesTheNextLineShownInItsSessionElseTheLast) {
    LogFilter filter;
    filter.Alarm = false;
    filter.Timed = false;
    SetReportFilter(state, filter);
    RenderDay();
    const std::string filtered = state.ReportText;
    const ReportAnchors anchors = shown.SessionAnchors(state);
    const std::vector<SessionValues> sessions = Values();
    const struct {
        size_t session;
        size_t record;
        int shownRecord; // whose line it takes; -1: the session's heading
    } cases[] = {
        {0, 2, 3}, // alarm: the manual reading after it
        {0, 4, 5}, // timed: the barhole after it
        {1, 1, 2}, // timed: the survey after it
        {1, 3, 2}, // alarm, with only a hidden one after it: the survey before it
        {1, 4, 2}, // the session's last record, hidden: the last line shown
        {2, 0, -1} // the only record, hidden: the heading
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "session " << c.session << " record " << c.record);
        const QString line = LineText(LineOf(anchors, c.session, c.record));
        const QString expected = c.shownRecord < 0
                                     ? QString("Day%1 Month%1").arg(c.session + 3)
                                     : TimeText(sessions[c.session].Records[c.shownRecord]);
        EXPECT_TRUE(line.contains(expected)) << line.toStdString();
        EXPECT_FALSE(filtered.find(FormatTime(sessions[c.session].Records[c.record].Time, "%X")) !=
                     std::string::npos)
            << "the hidden record's time is not in the report";
    }
}

TEST_F(LinkedViewsTest, AChosenRecordBringsTheReportToItsLineAndTheChartCursorToItsTime) {
    RenderDay();
    ChartPanel chart;
    chart.resize(900, 600);
    LinkedViews links(view, chart);
    chart.Show(shown, source, state);
    links.SetReport(shown.SessionAnchors(state));
    const std::vector<SessionValues> sessions = Values();
    const RecordValue& survey = sessions[1].Records[2];
    const QString clock = charts::ClockText(charts::ChartTime(survey.Stamp));
    auto cursorAtSurvey = [&] {
        chart.Plot().toPixmap(900, 600);
        for (const PlotLabel& label : chart.Plot().Labels()) {
            if (label.text.startsWith(clock)) {
                return true;
            }
        }
        return false;
    };

    // Chosen while the chart is still being drawn: the cursor comes with the chart.
    mapping::SceneRecord chosen;
    chosen.session = 1;
    chosen.record = 2;
    chosen.stamped = true;
    chosen.stamp = survey.Stamp;
    links.ChooseRecord(chosen);
    ASSERT_GE(view.MarkedLine(), 0);
    EXPECT_EQ(view.textCursor().blockNumber(), view.MarkedLine());
    EXPECT_TRUE(LineText(view.MarkedLine()).contains(TimeText(survey)))
        << LineText(view.MarkedLine()).toStdString();
    chart.Finish();
    EXPECT_TRUE(cursorAtSurvey());

    // On a chart already up, at once; a record of no report line leaves the report as it was.
    const int marked = view.MarkedLine();
    chart.Plot().ShowReadOut(static_cast<double>(charts::ChartTime(At(3, 0))));
    ASSERT_FALSE(cursorAtSurvey());
    chosen.record = 99;
    links.ChooseRecord(chosen);
    EXPECT_EQ(view.MarkedLine(), marked);
    EXPECT_TRUE(cursorAtSurvey());

    // A new report forgets the mark.
    view.SetRtf(state.ReportText + " ");
    EXPECT_EQ(view.MarkedLine(), -1);
}

TEST_F(LinkedViewsTest, MovingTheChartCursorTellsItsTime) {
    RenderDay();
    ChartPanel chart;
    LinkedViews links(view, chart);
    chart.Show(shown, source, state);
    chart.Finish();
    SessionChartPlot& plot = chart.Plot();
    plot.setViewport(QRect(0, 0, 900, 600));
    plot.replot();
    QSignalSpy told(&links, &LinkedViews::chartTimeChosen);

    const int64_t survey = charts::ChartTime(At(4, 2));
    QCPAxisRect* pane = plot.axisRects().front();
    const QPointF at(pane->axis(QCPAxis::atBottom)->coordToPixel(static_cast<double>(survey)),
                     pane->center().y());
    QMouseEvent move(QEvent::MouseMove, at, plot.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(&plot, &move);
    ASSERT_EQ(told.size(), 1);
    EXPECT_EQ(told.front().front().toLongLong(), survey);

    // Put there from outside, the cursor tells nobody: the map asked for it.
    plot.ShowReadOut(static_cast<double>(charts::ChartTime(At(4, 1))));
    EXPECT_EQ(told.size(), 1);
}

} // namespace
