// Charts that cannot be misread, checked by drawing them at a small and a large size and reading
// back where QCustomPlot put every text: each label lies whole inside its pane and the picture,
// tick labels keep apart, barhole profiles fill a grid of equal cells, and the read-out gives the
// reading recorded at the sample the cursor is on.
#include "charts/BarholePlot.h"
#include "charts/ChartBuilder.h"
#include "charts/ChartFiles.h"
#include "charts/ChartText.h"
#include "charts/SessionChartPlot.h"
#include "testsupport/TempDir.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QImage>
#include <QLocale>
#include <QPixmap>
#include <QScrollArea>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace charts;

// The small and large sizes the issue was seen at, and the chart area of the smallest window.
const QSize kSizes[] = {QSize(700, 450), QSize(1920, 1080), QSize(775, 270)};

class ChartLabels : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        QLocale::setDefault(QLocale::c());
    }
};

// A survey whose marks sit where labels used to be cut: an alarm at the highest reading of its
// pane, an alarm at the first reading, a failed calibration, a mode change and switching off at
// the right edge, and a 3.2 % LEL reading between zeros.
SessionChart Survey() {
    ChartBuilder builder;
    builder.SwitchOn(1000);
    for (int i = 0; i < 40; ++i) {
        const int64_t time = 1010 + i * 30;
        const double co = i == 25 ? 240 : (i * 7) % 23;
        const std::vector<GasReading> readings = {
            {"LEL", "% LEL", i == 12 ? 3.2 : 0, 10}, {"O2", "%", 20.9, 10}, {"CO", "ppm", co, 1}};
        if (i == 0) {
            builder.Alarm(time, "O2", readings);
        } else if (i == 25) {
            builder.Alarm(time, "CO", readings);
        } else {
            builder.Readings(time, readings);
        }
    }
    builder.Test(MarkKind::Calibration, 1700,
                 {{"LEL", SensorVerdict::Pass}, {"O2", SensorVerdict::Fail}});
    builder.ModeChange(2195, "mode 3");
    builder.SwitchOff(2200);
    return builder.Take();
}

// Profiles as the instrument records them (fifteen steps, the peak at the fifth), one without
// samples, and more than fit in a row.
std::vector<BarholeProfile> Barholes() {
    const double peaks[] = {17, 47.3, 74.8, 30.2, 39.9, 64.7, 61.7, 38.8, 2.4, 49, 50, 100};
    std::vector<BarholeProfile> profiles;
    int number = 1;
    for (double peak : peaks) {
        BarholeProfile profile;
        profile.time = 5000 + number * 300;
        profile.number = number;
        profile.unit = number % 3 == 0 ? "% LEL" : "% gas";
        profile.peak = peak;
        profile.peakFigure = QString::number(peak, 'f', 1).toStdString() + " " + profile.unit;
        if (number > 4) {
            for (int step = 0; step < 15; ++step) {
                const int fromPeak = std::abs(step - 4);
                profile.values.push_back(peak * (1.0 - fromPeak * 0.06));
            }
            profile.values[0] = peak; // the peak at the very first step
        }
        profiles.push_back(profile);
        ++number;
    }
    profiles[4].values[0] = 0; // Barhole 5: the peak at the fifth step
    return profiles;
}

std::string Where(const QString& text, const QRectF& rect, const QSize& size) {
    return QString("\"%1\" at %2,%3 %4x%5 in %6x%7")
        .arg(text)
        .arg(rect.x())
        .arg(rect.y())
        .arg(rect.width())
        .arg(rect.height())
        .arg(size.width())
        .arg(size.height())
        .toStdString();
}

bool Inside(const QRectF& outer, const QRectF& inner) {
    return inner.left() >= outer.left() - 0.5 && inner.top() >= outer.top() - 0.5 &&
           inner.right() <= outer.right() + 0.5 && inner.bottom() <= outer.bottom() + 0.5;
}

// The tick labels of `axis` as drawn: every one inside the picture, none on its neighbour.
void ExpectTickLabelsApart(const QCPAxis& axis, const QSize& size) {
    if (!axis.tickLabels()) {
        return;
    }
    const QFontMetricsF metrics(axis.tickLabelFont());
    const QVector<double> ticks = axis.tickVector();
    const QVector<QString> labels = axis.tickVectorLabels();
    ASSERT_GE(ticks.size(), 2) << "an axis with one tick cannot be read, at " << size.width();
    const bool across = axis.orientation() == Qt::Horizontal;
    std::vector<std::pair<double, int>> byPlace;
    for (int i = 0; i < ticks.size(); ++i) {
        byPlace.emplace_back(axis.coordToPixel(ticks[i]), i);
    }
    std::sort(byPlace.begin(), byPlace.end());
    double lastEnd = -1e9;
    for (const auto& [at, i] : byPlace) {
        const double extent = across ? metrics.horizontalAdvance(labels[i]) : metrics.ascent();
        const double start = at - extent / 2;
        EXPECT_GT(start, lastEnd) << labels[i].toStdString() << " touches the label before it at "
                                  << size.width() << "x" << size.height();
        lastEnd = start + extent;
        if (across) {
            EXPECT_GE(start, 0) << labels[i].toStdString();
            EXPECT_LE(lastEnd, size.width()) << labels[i].toStdString();
        }
    }
}

TEST_F(ChartLabels, EveryLabelOfTheChartLiesWholeInsideItsPane) {
    SessionChartPlot plot;
    plot.SetChart(Survey(), "Tuesday 18 Aug 2026  08:59:25 to 09:26:44");
    for (const QSize& size : kSizes) {
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
        plot.toPixmap(size.width(), size.height());
        const QRectF picture(0, 0, size.width(), size.height());
        std::vector<std::string> shown;
        for (const PlotLabel& label : plot.Labels()) {
            shown.push_back(label.text.toStdString());
            EXPECT_TRUE(Inside(label.area, label.rect)) << Where(label.text, label.rect, size);
            EXPECT_TRUE(Inside(picture, label.rect)) << Where(label.text, label.rect, size);
            // Drawn in a rect as wide as the text: nothing of it is left out.
            EXPECT_GE(label.rect.width() + 0.5,
                      QFontMetricsF(label.font).horizontalAdvance(label.text.section('\n', 0, 0)))
                << label.text.toStdString();
        }
        const std::vector<PlotLabel> labels = plot.Labels();
        for (size_t i = 0; i < labels.size(); ++i) {
            for (size_t j = i + 1; j < labels.size(); ++j) {
                EXPECT_FALSE(labels[i].rect.intersects(labels[j].rect))
                    << Where(labels[i].text, labels[i].rect, size) << " on "
                    << Where(labels[j].text, labels[j].rect, size);
            }
        }
        for (const char* wanted : {"Calibration FAIL O2", "CO", "O2", "mode 3", "Off", "On"}) {
            EXPECT_NE(std::find(shown.begin(), shown.end(), wanted), shown.end())
                << wanted << " not shown at " << size.width();
        }
        for (QCPAxisRect* rect : plot.axisRects()) {
            ExpectTickLabelsApart(*rect->axis(QCPAxis::atLeft), size);
        }
        ExpectTickLabelsApart(*plot.axisRects().back()->axis(QCPAxis::atBottom), size);
        QCPLegend* legend = plot.findChild<QCPLegend*>();
        for (int i = 0; legend != nullptr && i < legend->itemCount(); ++i) {
            EXPECT_TRUE(Inside(picture, legend->item(i)->outerRect())) << "legend item " << i;
        }
    }
}

// A day's chain that ends on a calibration bench: seven tests within minutes at the end of a
// long time axis, where no two names have room side by side, and a two-word mode name.
SessionChart BenchDay() {
    ChartBuilder builder;
    builder.SwitchOn(0);
    builder.ModeChange(60, "Leak Search");
    for (int i = 0; i < 40; ++i) {
        builder.Readings(100 + i * 600, {{"LEL", "% LEL", (i * 3) % 7 * 1.0}, {"O2", "%", 20.9}});
    }
    builder.Test(MarkKind::Zero, 30000, {{"LEL", SensorVerdict::Pass}});
    builder.Test(MarkKind::Calibration, 30030, {});
    builder.Test(MarkKind::Calibration, 30060, {{"O2", SensorVerdict::Fail}});
    builder.Test(MarkKind::BumpTest, 30090, {{"CO", SensorVerdict::Fail}});
    builder.Test(MarkKind::BumpTest, 30120, {{"CO", SensorVerdict::Fail}});
    builder.Test(MarkKind::FieldCalibration, 30150, {});
    builder.Test(MarkKind::BumpTest, 30180, {{"CO", SensorVerdict::Pass}});
    builder.SwitchOff(30300);
    return builder.Take();
}

// Every test mark is named: beside its line, or by its number beside its line and its name in
// the list under the chart; no name is broken over two lines.
TEST_F(ChartLabels, EveryTestMarkIsNamedOrNumberedAndListed) {
    const SessionChart chart = BenchDay();
    SessionChartPlot plot;
    plot.SetChart(chart, "Wednesday 19 Aug 2026");
    for (const QSize& size : {QSize(1040, 640), QSize(700, 450), QSize(1920, 1080)}) {
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
        plot.toPixmap(size.width(), size.height());
        std::vector<std::string> shown;
        for (const PlotLabel& label : plot.Labels()) {
            shown.push_back(label.text.toStdString());
            EXPECT_FALSE(label.text.contains('\n')) << label.text.toStdString();
        }
        const QStringList listed = plot.NumberedTests();
        int number = 0;
        for (const ChartMark& mark : chart.marks) {
            if (mark.kind == MarkKind::ModeChange) {
                EXPECT_NE(std::find(shown.begin(), shown.end(), mark.label), shown.end())
                    << mark.label;
            }
            if (mark.kind != MarkKind::Calibration && mark.kind != MarkKind::Zero &&
                mark.kind != MarkKind::BumpTest && mark.kind != MarkKind::FieldCalibration) {
                continue;
            }
            ++number;
            const std::string numberText = std::to_string(number);
            const QString entry =
                QString("%1  %2  %3")
                    .arg(number)
                    .arg(ClockText(mark.time), QString::fromStdString(mark.label));
            const bool named = std::find(shown.begin(), shown.end(), mark.label) != shown.end();
            const bool numbered =
                std::find(shown.begin(), shown.end(), numberText) != shown.end() &&
                listed.contains(entry);
            EXPECT_TRUE(named || numbered) << mark.label << " (" << number << ") neither named "
                                           << "nor numbered and listed";
        }
    }
    // Where every name has room, nothing is listed.
    plot.ZoomTo(29900, 30400);
    plot.toPixmap(1920, 1080);
    EXPECT_TRUE(plot.NumberedTests().isEmpty()) << plot.NumberedTests().join(" | ").toStdString();
}

TEST_F(ChartLabels, TheReadOutStaysWholeAtTheEdgeOfASmallChart) {
    SessionChartPlot plot;
    ChartBuilder builder;
    std::vector<GasReading> many;
    for (const char* gas : {"LEL", "O2", "CO", "H2S", "CO2", "PID", "NO2", "SO2"}) {
        many.push_back({gas, "ppm", 1234.5, 10});
    }
    builder.Readings(100, many);
    builder.Readings(160, many);
    plot.SetChart(builder.Take(), "");
    plot.resize(360, 260);
    plot.ShowReadOut(130);
    plot.toPixmap(360, 260);
    const std::vector<PlotLabel> labels = plot.Labels();
    ASSERT_EQ(labels.size(), 1u);
    EXPECT_TRUE(labels[0].text.contains("SO2 1234.5 ppm")) << labels[0].text.toStdString();
    EXPECT_TRUE(Inside(QRectF(0, 0, 360, 260), labels[0].rect))
        << Where(labels[0].text, labels[0].rect, QSize(360, 260));
}

TEST_F(ChartLabels, BarholeProfilesFillAGridOfEqualReadableCellsWithWholePeakLabels) {
    const std::vector<BarholeProfile> profiles = Barholes();
    for (const QSize& size : kSizes) {
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
        BarholePlot plot;
        plot.SetProfiles(profiles, 0, profiles.size());
        const int height = BarholePlot::HeightFor(profiles.size(), size.width());
        plot.toPixmap(size.width(), height);
        const QList<QCPAxisRect*> cells = plot.axisRects();
        ASSERT_EQ(cells.size(), static_cast<int>(profiles.size())) << "every profile drawn";
        for (QCPAxisRect* cell : cells) {
            EXPECT_NEAR(cell->outerRect().width(), cells.front()->outerRect().width(), 1);
            EXPECT_EQ(cell->outerRect().height(), cells.front()->outerRect().height());
            EXPECT_GE(cell->outerRect().width(), BarholePlot::kMinCellWidth - 1);
            EXPECT_GE(cell->outerRect().height(), BarholePlot::kCellHeight - 1);
            EXPECT_TRUE(Inside(QRectF(0, 0, size.width(), height), cell->outerRect()));
            ExpectTickLabelsApart(*cell->axis(QCPAxis::atBottom), QSize(size.width(), height));
            ExpectTickLabelsApart(*cell->axis(QCPAxis::atLeft), QSize(size.width(), height));
        }
        int peaks = 0;
        for (int i = 0; i < plot.itemCount(); ++i) {
            auto* text = qobject_cast<QCPItemText*>(plot.item(i));
            if (text == nullptr) {
                continue;
            }
            ++peaks;
            const QRectF rect(text->topLeft->pixelPosition(), text->bottomRight->pixelPosition());
            EXPECT_TRUE(Inside(text->clipAxisRect()->rect(), rect))
                << Where(text->text(), rect, size);
        }
        EXPECT_EQ(peaks, static_cast<int>(profiles.size()));
    }
}

TEST_F(ChartLabels, BarholeStripInTheWindowKeepsEqualCellsAndScrolls) {
    const std::vector<BarholeProfile> profiles = Barholes();
    QScrollArea area;
    area.setWidgetResizable(true);
    auto* plot = new BarholePlot;
    area.setWidget(plot);
    area.resize(830, 240);
    plot->SetProfiles(profiles, 0, profiles.size());
    area.show();
    QApplication::processEvents();
    plot->replot();
    const QList<QCPAxisRect*> cells = plot->axisRects();
    ASSERT_EQ(cells.size(), static_cast<int>(profiles.size()));
    for (QCPAxisRect* cell : cells) {
        EXPECT_NEAR(cell->outerRect().width(), cells.front()->outerRect().width(), 1);
        EXPECT_GE(cell->outerRect().height(), BarholePlot::kCellHeight - 1);
    }
    EXPECT_GT(plot->height(), area.viewport()->height()) << "more rows than fit: it scrolls";
}

TEST_F(ChartLabels, PngDrawsEveryProfile) {
    testsupport::TempDir dir;
    SessionChart chart = Survey();
    chart.barholes = Barholes();
    SessionChartPlot plot;
    plot.SetChart(chart, "Monday 17 Aug 2026");
    for (const QSize& size : {QSize(700, 450), QSize(1920, 1080)}) {
        const PictureLayout layout = LayOutPicture(size, chart.barholes.size());
        EXPECT_GE(layout.columns * layout.rows, static_cast<int>(chart.barholes.size()));
        EXPECT_EQ(layout.picture.width(), size.width());
        EXPECT_GE(layout.picture.height(), size.height());
        EXPECT_GE(layout.chart.height(), size.height() * 3 / 5);
        EXPECT_GE(layout.profiles.height(), layout.rows * BarholePlot::kCellHeight);
        QString error;
        const QString path = QString::fromStdString(dir.File("c.png"));
        ASSERT_TRUE(WriteChartPng(plot, path, size, error)) << error.toStdString();
        EXPECT_EQ(QImage(path).size(), layout.picture);
    }
    // Without profiles the picture is exactly the size asked for.
    EXPECT_EQ(LayOutPicture(QSize(700, 450), 0).picture, QSize(700, 450));
}

TEST_F(ChartLabels, TheReadOutGivesTheRecordedReadingOfTheNearestSample) {
    SessionChartPlot plot;
    plot.SetChart(Survey(), "");
    // Readings every 30 s from 1010; LEL 3.2 at 1370 between zeros at 1340 and 1400. Each figure
    // with the decimals its record holds, as the export gives it: "0.0 % LEL", never "0 % LEL".
    const struct {
        double time;
        double reach;
        const char* text;
    } cases[] = {
        {1370, 0, "00:22:50   LEL 3.2 % LEL   O2 20.9 %   CO 15 ppm"},
        {1362, 0, "00:22:50   LEL 3.2 % LEL   O2 20.9 %   CO 15 ppm"},
        {1383, 0, "00:22:50   LEL 3.2 % LEL   O2 20.9 %   CO 15 ppm"},
        {1352, 0, "00:22:20   LEL 0.0 % LEL   O2 20.9 %   CO 8 ppm"},
        // Before the first reading: a read-out only within reach of it.
        {1005, 0, "00:16:45"},
        {1005, 6, "00:16:50   LEL 0.0 % LEL   O2 20.9 %   CO 0 ppm"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(plot.ReadOutAt(c.time, c.reach).toStdString(), c.text) << c.time;
    }
}

} // namespace
