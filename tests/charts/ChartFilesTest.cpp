// The chart and the report as files, read back with real readers: Qt's image reader for PNG,
// poppler's pdftotext for PDF (its texts must be text, not pictures of text).
#include "charts/ChartFiles.h"
#include "charts/BarholePlot.h"
#include "charts/ChartBuilder.h"
#include "charts/ReportPdf.h"
#include "charts/SessionChartPlot.h"
#include "report/Report.h"
#include "testsupport/TempDir.h"

#include <QFile>
#include <QHashSeed>
#include <QImage>
#include <QProcess>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using namespace charts;

SessionChart SampleChart() {
    ChartBuilder builder;
    builder.SwitchOn(1000);
    for (int i = 0; i < 20; ++i) {
        builder.Readings(
            1010 + i * 10,
            {{"LEL", "% LEL", i * 0.5, 10}, {"O2", "%", 20.9, 10}, {"CO", "ppm", 3.0 * i, 1}});
    }
    builder.Alarm(1100, "CO", {{"CO", "ppm", 35}});
    builder.Test(MarkKind::BumpTest, 1150, {{"CO", SensorVerdict::Pass}});
    builder.SwitchOff(1300);
    builder.Barhole(1250, 3, "% gas", 4.5, "4.5 % gas", {1, 2, 4.5, 3, 2, 1});
    return builder.Take();
}

// pdftotext's text of a PDF; empty when it cannot read it.
std::string PdfText(const std::string& path, bool layout = false) {
    QProcess process;
    QStringList args;
    if (layout) {
        args << "-layout";
    }
    args << QString::fromStdString(path) << "-";
    process.start("pdftotext", args);
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        return std::string();
    }
    return process.readAllStandardOutput().toStdString();
}

TEST(ChartFiles, PngHasTheAskedSize) {
    testsupport::TempDir dir;
    SessionChartPlot plot;
    plot.SetChart(SampleChart(), "Mon 07 December 2026");
    QString error;
    ASSERT_TRUE(
        WriteChartPng(plot, QString::fromStdString(dir.File("c.png")), QSize(900, 500), error))
        << error.toStdString();
    const QImage image(QString::fromStdString(dir.File("c.png")));
    EXPECT_EQ(image.size(), QSize(900, 500));
}

TEST(ChartFiles, PdfHoldsGasNamesAndAxisLabelsAsText) {
    testsupport::TempDir dir;
    SessionChartPlot plot;
    plot.SetChart(SampleChart(), "Mon 07 December 2026");
    QString error;
    ASSERT_TRUE(
        WriteChartPdf(plot, QString::fromStdString(dir.File("c.pdf")), QSize(1200, 800), error));
    const std::string text = PdfText(dir.File("c.pdf"));
    for (const char* expected : {"Mon 07 December 2026", "LEL", "O2", "CO", "% LEL", "%", "ppm",
                                 "Time (instrument clock)", "Bump PASS", "Barhole 3", "Pk 4.5"}) {
        EXPECT_NE(text.find(expected), std::string::npos) << expected << " in:\n" << text;
    }
}

TEST(ChartFiles, ReportPdfHoldsTheReportLinesUnwrapped) {
    testsupport::TempDir dir;
    const std::string longLine(140, 'x');
    std::string rtf = std::string(RtfHeader) + "Mon 07 December 2026 \\par ";
    for (int i = 0; i < 120; ++i) {
        rtf += "\\par 10:20:30 T       2.5     30    line " + std::to_string(i) + "\\par ";
    }
    rtf += longLine + "\\par }}";
    SessionChartPlot plot;
    plot.SetChart(SampleChart(), "Mon 07 December 2026");
    QString error;
    ASSERT_TRUE(WriteReportPdf(rtf, "Mon 07 December 2026 10:20:30", &plot,
                               QString::fromStdString(dir.File("r.pdf")), error))
        << error.toStdString();
    const std::string text = PdfText(dir.File("r.pdf"), true);
    EXPECT_NE(text.find("line 0"), std::string::npos);
    EXPECT_NE(text.find("line 119"), std::string::npos);
    EXPECT_NE(text.find(longLine), std::string::npos) << "the longest line was wrapped";
    EXPECT_NE(text.find("Page 1 of"), std::string::npos);
    EXPECT_NE(text.find("Mon 07 December 2026 10:20:30"), std::string::npos);
    EXPECT_NE(text.find("Time (instrument clock)"), std::string::npos); // the chart page
}

// The rows of a picture that hold the report's highlight (yellow), as runs: where each starts
// and how many rows it takes.
std::vector<std::pair<int, int>> HighlightBands(const QImage& image) {
    std::vector<std::pair<int, int>> bands;
    for (int y = 0; y < image.height(); ++y) {
        bool yellow = false;
        for (int x = 0; x < image.width() && !yellow; ++x) {
            const QColor c = image.pixelColor(x, y);
            yellow = c.red() > 200 && c.green() > 200 && c.blue() < 120;
        }
        if (!yellow) {
            continue;
        }
        if (!bands.empty() && bands.back().first + bands.back().second == y) {
            ++bands.back().second;
        } else {
            bands.push_back({y, 1});
        }
    }
    return bands;
}

// A page shows its own lines whole and nothing of the next page's: with every line highlighted,
// every highlight on a page is as tall as the others (a sliver at the foot was the next page's
// first line), at the report's own size and set smaller for a wide line.
TEST(ChartFiles, ReportPdfPagesShowNothingOfTheNextPage) {
    testsupport::TempDir dir;
    for (const int width : {60, 140, 151, 163}) {
        SCOPED_TRACE(width);
        std::string rtf = std::string(RtfHeader);
        for (int i = 0; i < 90; ++i) {
            rtf += "\\par {\\cf5 \\highlight6 10:20:" + std::to_string(10 + i % 50) + "} A    " +
                   std::string(static_cast<size_t>(width - 18), 'x') + "\\par ";
        }
        rtf += "}}";
        const std::string pdf = dir.File("h.pdf");
        QString error;
        ASSERT_TRUE(WriteReportPdf(rtf, "Mon 07 December 2026", nullptr,
                                   QString::fromStdString(pdf), error))
            << error.toStdString();
        QProcess process;
        process.start("pdftoppm",
                      {"-r", "80", "-f", "1", "-l", "1", "-png", QString::fromStdString(pdf),
                       QString::fromStdString(dir.File("h"))});
        ASSERT_TRUE(process.waitForFinished(60000) && process.exitCode() == 0);
        const QImage page(QString::fromStdString(dir.File("h-1.png")));
        ASSERT_FALSE(page.isNull());
        const std::vector<std::pair<int, int>> bands = HighlightBands(page);
        ASSERT_GT(bands.size(), 10u);
        for (const auto& [top, rows] : bands) {
            EXPECT_GE(rows, bands.front().second - 1) << "a sliver of highlight at row " << top;
        }
    }
}

std::string ReadBytes(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

TEST(ChartFiles, TheSameDrawingGivesTheSameBytesInEveryRun) {
    const std::string rtf = std::string(RtfHeader) + "Mon 07 December 2026 \\par }}";
    testsupport::TempDir dir;
    SessionChartPlot plot;
    plot.SetChart(SampleChart(), "Mon 07 December 2026");
    std::string chart, report; // the first run's
    // Each run as a process of its own would make it: the report's two fonts come out in the
    // order of a hash, whose seed is each process's own.
    for (int run = 0; run < 8; ++run) {
        QHashSeed::resetRandomGlobalSeed();
        QString error;
        const std::string chartPath = dir.File("c" + std::to_string(run) + ".pdf");
        const std::string reportPath = dir.File("r" + std::to_string(run) + ".pdf");
        ASSERT_TRUE(WriteChartPdf(plot, QString::fromStdString(chartPath), QSize(600, 400), error))
            << error.toStdString();
        ASSERT_TRUE(WriteReportPdf(rtf, "Mon 07 December 2026", &plot,
                                   QString::fromStdString(reportPath), error))
            << error.toStdString();
        if (run == 0) {
            chart = ReadBytes(chartPath);
            report = ReadBytes(reportPath);
            continue;
        }
        EXPECT_TRUE(ReadBytes(chartPath) == chart) << "chart, run " << run;
        EXPECT_TRUE(ReadBytes(reportPath) == report) << "report, run " << run;
    }
    for (const std::string& bytes : {chart, report}) {
        EXPECT_EQ(bytes.find("/CreationDate"), std::string::npos);
    }
    for (const char* name : {"c0.pdf", "r0.pdf"}) {
        EXPECT_NE(PdfText(dir.File(name)).find("Mon 07 December 2026"), std::string::npos) << name;
    }
}

TEST(ChartPlot, ReadOutAndZoom) {
    SessionChartPlot plot;
    plot.SetChart(SampleChart(), "");
    EXPECT_EQ(plot.PaneCount(), 3);
    BarholePlot profiles;
    profiles.SetProfiles(plot.Chart().barholes, 0, 100);
    EXPECT_EQ(profiles.ProfileCount(), 1);
    // 1015 lies halfway between the first two readings: the first one is read.
    EXPECT_EQ(plot.ReadOutAt(1015).toStdString(),
              "00:16:50   LEL 0.0 % LEL   O2 20.9 %   CO 0 ppm");
    // After switching off no gas has a value.
    EXPECT_EQ(plot.ReadOutAt(1250).toStdString(), "00:20:50");
    const QCPRange whole = plot.TimeRange();
    plot.ZoomTo(1050, 1100);
    EXPECT_DOUBLE_EQ(plot.TimeRange().lower, 1050);
    plot.ResetZoom();
    EXPECT_DOUBLE_EQ(plot.TimeRange().upper, whole.upper);
}

} // namespace
