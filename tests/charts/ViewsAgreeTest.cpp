// What one record tells, as the views of it tell it. Its reading as every view but the RTF report
// states it: the export's texts, the survey record, the map's marker and the chart name the same
// figure, as precise as the record holds it, in one spelling of its unit. Where each barhole
// profile draws its recorded peak, for every version of the barhole record. And the mode a record
// puts the instrument in, called one way by the report, the chart and the export.
#include "charts/BarholePlot.h"
#include "charts/ChartText.h"
#include "charts/SessionChartPlot.h"
#include "charts/SessionChartSource.h"
#include "export/RecordText.h"
#include "export/SessionExport.h"
#include "map/SessionMap.h"
#include "map/SurveyRecord.h"
#include "recbuild/RecordBuilder.h"
#include "report/FigureText.h"
#include "report/Report.h"
#include "testsupport/SessionStreams.h"

#include <QLocale>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

using R = RecordBuilder;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kStart = 849954030u; // 10:20:30 on Monday 07 Dec 2026
const ModeNameList kNoNames;
const GpsFix kFix = GpsFix::At(true, 5130, 0, false, 6, 6000, 2);

class ViewsAgree : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        QLocale::setDefault(QLocale::c());
    }
};

// Slot 1: a switch-on and `record`.
testsupport::SessionStreams SourceOf(const Bytes& record) {
    testsupport::SessionStreams source;
    Bytes& stream = source.streams[1];
    R::Stamped('O', '1', kStart).Chars("SUR", 3).AppendTo(stream);
    stream.insert(stream.end(), record.begin(), record.end());
    return source;
}

SessionValues SessionOf(const Bytes& record, const ModeNameList& names = kNoNames) {
    testsupport::SessionStreams source = SourceOf(record);
    return DecodeSessionValues(source, 1, names);
}

// What each view says of the session's last record, by view.
std::map<std::string, std::string> Told(const SessionValues& session) {
    std::map<std::string, std::string> told;
    const RecordValue& record = session.Records.back();
    const QList<QByteArray> lines =
        ExportSessions({session}, ExportFormat::Csv, LogFilter()).trimmed().split('\n');
    told["export"] = (lines.back() + " " + ReadingsText(record).toUtf8()).toStdString();
    Indication indication;
    if (IndicationOf(record, indication)) {
        told["survey"] = indication.Value;
    }
    const std::vector<mapping::MapGas> gases = mapping::GasesWithPlaces({session}, LogFilter());
    const mapping::MapScene scene = mapping::SceneOfSessions(
        {session}, gases.empty() ? mapping::MapGas() : gases.front(), LogFilter());
    for (const mapping::Marker& marker : scene.markers) {
        told["map"] += marker.label;
    }
    const charts::SessionChart chart = charts::ChartOfValues({session}, LogFilter());
    // The chart's read-out at the record: every gas's reading then.
    SessionChartPlot readOut;
    readOut.SetChart(chart, QString());
    for (const charts::ChartMark& mark : chart.marks) {
        if (mark.hasValue) {
            told["chart"] += readOut.ReadOutAt(static_cast<double>(mark.time)).toStdString();
        }
    }
    BarholePlot plot;
    plot.SetProfiles(chart.barholes, 0, chart.barholes.size());
    for (int i = 0; i < plot.itemCount(); ++i) {
        if (auto* label = qobject_cast<QCPItemText*>(plot.item(i))) {
            told["chart"] += label->text().toStdString();
        }
    }
    return told;
}

TEST_F(ViewsAgree, EveryViewButTheReportStatesOneFigureInOneUnit) {
    const struct {
        const char* what; // and what the report prints of it
        Bytes record;
        const char* figure;
        std::vector<std::string> views;
    } cases[] = {
        {"barhole '1' (Pk = 60 %Gas)",
         R::Barhole('1', kStart + 10, 1, 603, 'G', 521, 'G').Byte(0).Gps(kFix).Bytes(),
         "60.3 % gas",
         {"export", "survey", "map", "chart"}},
        {"barhole '5' (Pk = 4.5 %LEL)",
         R::Barhole('5', kStart + 10, 2, 45, 'L', 30, 'L').Byte(0).Gps(kFix).Bytes(),
         "4.5 % LEL",
         {"export", "survey", "map", "chart"}},
        {"barhole '4' (Pk = 64 %Gas)",
         R::Barhole('4', kStart + 10, 5, 638, 'G', 300, 'G')
             .Bytes({0, 0, 0})
             .Bytes({12, 25, 38, 53, 66, 61, 57, 52, 47, 42, 38, 34, 30, 23, 20})
             .Gps(kFix)
             .Bytes(),
         "63.8 % gas",
         {"export", "survey", "map", "chart"}},
        {"barhole '2', sustained (Sus = 52 %Gas)",
         R::Barhole('2', kStart + 10, 3, 603, 'G', 521, 'G').Bytes({0, 0, 0}).Gps(kFix).Bytes(),
         "52.1 % gas",
         {"export"}},
        {"pipeline gas test (95% LEL)",
         R::Stamped('P', '1', kStart + 10).Byte('L').S16(950).Bytes(),
         "95.0 % LEL",
         {"export", "survey"}},
        {"pipeline gas test (1.2% GAS)",
         R::Stamped('P', '2', kStart + 10).Byte('G').S16(12).Bytes(),
         "1.2 % gas",
         {"export", "survey"}},
        {"LEL alarm (100)",
         R::Stamped('A', '2', kStart + 10)
             .Byte(0)
             .Readings({{0, 1005}}, R::kGpsFollows)
             .Gps(kFix)
             .Bytes(),
         "100.5 % LEL",
         {"export", "survey", "map", "chart"}},
        {"O2 alarm (20.0)",
         R::Stamped('A', '2', kStart + 10)
             .Byte(3)
             .Readings({{3, 200}, {4, 35}}, R::kGpsFollows)
             .Gps(kFix)
             .Bytes(),
         "20.0 %",
         {"export", "survey", "map", "chart"}},
        {"GAS alarm in hundredths (2.6)",
         R::Stamped('A', '2', kStart + 10)
             .Byte(7)
             .Readings({{7, 255}}, R::kGpsFollows)
             .Gps(kFix)
             .Bytes(),
         "2.55 % gas",
         {"export", "survey", "map", "chart"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::map<std::string, std::string> told = Told(SessionOf(c.record));
        for (const std::string& view : c.views) {
            const auto said = told.find(view);
            ASSERT_NE(said, told.end()) << view << " tells nothing of it";
            EXPECT_NE(said->second.find(c.figure), std::string::npos)
                << view << ": " << said->second;
        }
    }
}

// The red point's name on each barhole profile is the record's peak as the export, the map and
// the survey record state it: a whole number of percent keeps its tenth ("36.0 % LEL").
TEST_F(ViewsAgree, EveryBarholePeakIsNamedByTheRecordsFigure) {
    const struct {
        Bytes record;
        const char* label;
    } cases[] = {
        {R::Barhole('1', kStart + 10, 1, 360, 'L', 300, 'L').Byte(0).Gps(kFix).Bytes(),
         "Pk 36.0 % LEL"},
        {R::Barhole('5', kStart + 10, 2, 600, 'G', 30, 'G').Byte(0).Gps(kFix).Bytes(),
         "Pk 60.0 % gas"},
        {R::Barhole('4', kStart + 10, 5, 638, 'G', 300, 'G')
             .Bytes({0, 0, 0})
             .Bytes({12, 25, 38, 53, 66, 61, 57, 52, 47, 42, 38, 34, 30, 23, 20})
             .Gps(kFix)
             .Bytes(),
         "Pk 63.8 % gas"},
        {R::Barhole('2', kStart + 10, 3, -4, 'L', 0, 'L').Bytes({0, 0, 0}).Gps(kFix).Bytes(),
         "Pk 0.0 % LEL"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const SessionValues session = SessionOf(c.record);
        const charts::SessionChart chart = charts::ChartOfValues({session}, LogFilter());
        BarholePlot plot;
        plot.SetProfiles(chart.barholes, 0, chart.barholes.size());
        std::vector<std::string> labels;
        for (int i = 0; i < plot.itemCount(); ++i) {
            if (auto* label = qobject_cast<QCPItemText*>(plot.item(i))) {
                labels.push_back(label->text().toStdString());
            }
        }
        EXPECT_EQ(labels, std::vector<std::string>{c.label});
        EXPECT_EQ(labels, std::vector<std::string>{
                              "Pk " + BarholePeakFigure(session.Records.back().Barhole)});
    }
}

// A barhole record of `version` with its peak, the rest of its layout filled: a profile whose
// highest sample is the fifth, and a position where the version has room for one.
Bytes BarholeRecord(char version, int16_t peak, char unit) {
    R record = R::Barhole(version, kStart + 10, 4, peak, unit, 10, unit);
    switch (version) {
    case '2':
        return record.Bytes({0, 0, 0}).Gps(kFix).Bytes();
    case '3':
    case '4':
        return record.Bytes({0, 0, 0})
            .Bytes({12, 25, 38, 53, 66, 61, 57, 52, 47, 42, 38, 34, 30, 23, 20})
            .Gps(kFix)
            .Bytes();
    case '5':
        return record.Byte(0).Byte(R::kNoGps).Bytes();
    default:
        return record.Byte(0).Gps(kFix).Bytes();
    }
}

// The recorded peak is the record's reading at offset 9 (tenths of a percent); the profile's
// samples are another measurement, which may stay below it. The red point stands at that
// reading, over the step of the highest sample, or over the one step of a profile without any.
TEST_F(ViewsAgree, EveryBarholeVersionDrawsItsRecordedPeakAtItsReading) {
    const struct {
        char version;
        int16_t peak;
        char unit;
    } cases[] = {
        {'1', 638, 'G'}, {'2', 204, 'L'}, {'3', 111, 'G'}, {'3', 45, 'L'},
        {'4', 638, 'G'}, {'4', 446, 'L'}, {'5', -4, 'G'},  {'5', 99, 'L'},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "version " << c.version << ", peak " << c.peak);
        const Bytes bytes = BarholeRecord(c.version, c.peak, c.unit);
        const int16_t stored = static_cast<int16_t>(bytes[9] | bytes[10] << 8);
        const double reading = (stored < 0 ? 0 : stored) / 10.0;

        const charts::SessionChart chart = charts::ChartOfValues({SessionOf(bytes)}, LogFilter());
        ASSERT_EQ(chart.barholes.size(), 1u);
        const std::vector<double>& values = chart.barholes[0].values;
        const double step =
            values.empty() ? 1
                           : static_cast<double>(std::max_element(values.begin(), values.end()) -
                                                 values.begin() + 1);
        BarholePlot plot;
        plot.SetProfiles(chart.barholes, 0, 1);
        plot.toPixmap(400, BarholePlot::kCellHeight);
        std::vector<QPointF> points;
        for (int i = 0; i < plot.itemCount(); ++i) {
            if (auto* dot = qobject_cast<QCPItemTracer*>(plot.item(i))) {
                points.push_back(dot->position->coords());
            }
        }
        ASSERT_EQ(points.size(), 1u) << "one red point per profile";
        EXPECT_DOUBLE_EQ(points[0].y(), reading);
        EXPECT_DOUBLE_EQ(points[0].x(), step);
        // Inside its axes, never cut off.
        const QCPAxisRect* cell = plot.axisRects().front();
        EXPECT_LE(reading, cell->axis(QCPAxis::atLeft)->range().upper);
        EXPECT_GE(reading, cell->axis(QCPAxis::atLeft)->range().lower);
    }
}

// The report's lines are the designed ones: a switch-on names the instrument's first mode, a mode
// change of the first version prints its three-letter code (the record names no mode number, so
// no name of the instrument's is known for it), one of the second version the name of its number,
// else "mode" and the number. The chart's marks and the export's mode column call every mode as
// that line does.
TEST_F(ViewsAgree, EveryViewCallsAModeAsTheReportsLineDoes) {
    const ModeNameList names = {"Survey", "Leak Search", "", "Barhole"};
    const struct {
        Bytes record;
        const char* line;
        const char* mode;
    } cases[] = {
        {R::Stamped('Y', '1', kStart + 10).Bytes(), "Switch ON in Survey mode.", "Survey"},
        {R::Stamped('D', '1', kStart + 10).Chars("BHL", 3).Bytes(), "Mode change to BHL.", "BHL"},
        {R::Stamped('D', '1', kStart + 10).Chars("SUR", 3).Bytes(), "Mode change to SUR.", "SUR"},
        {R::Stamped('D', '2', kStart + 10).Byte(2).Bytes(), "Mode change to Leak Search.",
         "Leak Search"},
        {R::Stamped('D', '2', kStart + 10).Byte(4).Bytes(), "Mode change to Barhole.", "Barhole"},
        {R::Stamped('D', '2', kStart + 10).Byte(3).Bytes(), "Mode change to mode 3.", "mode 3"},
        {R::Stamped('D', '2', kStart + 10).Byte(9).Bytes(), "Mode change to mode 9.", "mode 9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        testsupport::SessionStreams source = SourceOf(c.record);
        ReportState state;
        for (int k = 0; k < 4; ++k) {
            state.ModeNames[k] = names[k];
        }
        EXPECT_NE(RenderSession(state, source, 1).find(c.line), std::string::npos);

        const SessionValues session = SessionOf(c.record, names);
        const QList<QByteArray> rows =
            ExportSessions({session}, ExportFormat::Csv, LogFilter()).trimmed().split('\n');
        ASSERT_EQ(rows.size(), 3);
        EXPECT_EQ(rows[2].split(',').at(3).toStdString(), c.mode) << "the export's mode";
        std::vector<std::string> marked;
        for (const charts::ChartMark& mark : charts::ChartOfValues({session}, LogFilter()).marks) {
            if (mark.kind == charts::MarkKind::ModeChange) {
                marked.push_back(mark.label);
            }
        }
        const std::vector<std::string> changes =
            c.record[2] == 'D' ? std::vector<std::string>{c.mode} : std::vector<std::string>{};
        EXPECT_EQ(marked, changes) << "the chart's marks";
    }
}

} // namespace
