// tavon-datalog plot and render --pdf on a dump of the simulated instrument, without a display:
// the files are read back with Qt's image reader and poppler's pdftotext.
#include "charts/ChartFiles.h"
#include "reportdoc/RtfReader.h"
#include "testsupport/Files.h"
#include "testsupport/Processes.h"
#include "testsupport/TempDir.h"

#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTextDocument>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using testsupport::RunProgram;

// Slot 2 of the generated memory: a morning's survey with alarms of several gases.
const char kSlot[] = "2";
// Slot 1: an afternoon of eleven barhole tests.
const char kBarholeSlot[] = "1";
// Slot 3: a session without a single position.
const char kNowhereSlot[] = "3";

class ChartCommands : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.Ok());
        const auto made =
            RunProgram("tavon-instrument", {"--dump", dir.File("FlashData.txt")}, dir.Path());
        ASSERT_EQ(made.status, 0) << made.err;
    }

    testsupport::RunResult Datalog(const std::vector<std::string>& args) {
        // No display: the program must manage on its own.
        return RunProgram("tavon-datalog", args, dir.Path(), 180,
                          {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="});
    }

    std::string PdfText(const std::string& name) {
        QProcess process;
        process.start("pdftotext", {"-layout", QString::fromStdString(dir.File(name)), "-"});
        if (!process.waitForFinished(60000) || process.exitCode() != 0) {
            return std::string();
        }
        return process.readAllStandardOutput().toStdString();
    }

    testsupport::TempDir dir;
};

std::string Squeezed(const std::string& text) {
    return QString::fromStdString(text)
        .replace(QRegularExpression("\\s+"), " ")
        .trimmed()
        .toStdString();
}

TEST_F(ChartCommands, PlotWritesAPdfWithItsTextsAndAPngOfTheAskedSize) {
    const auto pdf = Datalog({"plot", "FlashData.txt", kSlot, "-o", "chart.pdf"});
    ASSERT_EQ(pdf.status, 0) << pdf.err;
    const std::string text = PdfText("chart.pdf");
    for (const char* expected :
         {"LEL", "O2", "CO", "H2S", "% LEL", "ppm", "Time (instrument clock)", "Aug 2026"}) {
        EXPECT_NE(text.find(expected), std::string::npos) << expected << " in:\n" << text;
    }

    const auto png = Datalog({"plot", "FlashData.txt", kSlot, "-o", "chart.png", "--size",
                              "640x480", "--hide", "alarm"});
    ASSERT_EQ(png.status, 0) << png.err;
    EXPECT_EQ(QImage(QString::fromStdString(dir.File("chart.png"))).size(), QSize(640, 480));
}

TEST_F(ChartCommands, PlotDrawsEveryBarholeProfileInThePngAndThePdf) {
    const auto rtf = Datalog({"render", "FlashData.txt", kBarholeSlot});
    ASSERT_EQ(rtf.status, 0);
    const int profiles = static_cast<int>(
        QString::fromStdString(rtf.out).count(QRegularExpression("Barhole \\d+:")));
    ASSERT_EQ(profiles, 11);

    const auto png =
        Datalog({"plot", "FlashData.txt", kBarholeSlot, "-o", "barholes.png", "--size", "700x450"});
    ASSERT_EQ(png.status, 0) << png.err;
    const QSize picture = QImage(QString::fromStdString(dir.File("barholes.png"))).size();
    const PictureLayout layout = LayOutPicture(QSize(700, 450), static_cast<size_t>(profiles));
    EXPECT_GE(layout.rows * layout.columns, profiles);
    EXPECT_EQ(picture, layout.picture) << "taller than asked: room for every profile";

    const auto pdf = Datalog({"plot", "FlashData.txt", kBarholeSlot, "-o", "barholes.pdf"});
    ASSERT_EQ(pdf.status, 0) << pdf.err;
    const std::string text = PdfText("barholes.pdf");
    for (int number = 1; number <= profiles; ++number) {
        const std::string name = "Barhole " + std::to_string(number) + " ";
        EXPECT_NE(text.find(name), std::string::npos) << name << " in:\n" << text;
    }
}

TEST_F(ChartCommands, PlotRefusesWhatItCannotDo) {
    const std::vector<std::vector<std::string>> cases = {
        {"plot", "FlashData.txt", kSlot, "-o", "chart.svg"},
        {"plot", "FlashData.txt", kSlot},
        {"plot", "FlashData.txt", kSlot, "-o", "c.png", "--size", "640"},
        {"plot", "FlashData.txt", kSlot, "-o", "c.png", "--hide", "everything"},
        {"plot", "FlashData.txt", "500", "-o", "c.png"},
        {"plot", "Missing.txt", kSlot, "-o", "c.png"},
    };
    for (const auto& args : cases) {
        const auto result = Datalog(args);
        EXPECT_EQ(result.status, 2) << args.back();
        EXPECT_FALSE(result.err.empty());
    }
    EXPECT_EQ(Datalog({"plot", "FlashData.txt", kSlot, "-o", "no/such/folder/c.png"}).status, 1);
}

TEST_F(ChartCommands, RenderPdfHoldsEveryLineOfTheReport) {
    const auto rtf = Datalog({"render", "FlashData.txt", kSlot, "3"});
    ASSERT_EQ(rtf.status, 0);
    const auto pdf = Datalog({"render", "FlashData.txt", kSlot, "3", "--pdf", "report.pdf"});
    ASSERT_EQ(pdf.status, 0) << pdf.err;
    EXPECT_TRUE(pdf.out.empty()); // the RTF goes nowhere without -o
    QTextDocument document;
    ReadRtfIntoDocument(rtf.out, document);
    const std::string text = Squeezed(PdfText("report.pdf"));
    const QStringList lines = document.toPlainText().split('\n');
    ASSERT_GT(lines.size(), 20);
    for (const QString& line : lines) {
        const std::string wanted = Squeezed(line.toStdString());
        EXPECT_NE(text.find(wanted), std::string::npos) << "missing: " << wanted;
    }
}

// The survey's sessions have positions: after the chart a last page holds the map and the survey
// record, the same lines `survey` writes. It is drawn on the grid alone, so that two runs (two
// processes, two hash seeds) give the same bytes, and a tile store that cannot be read leaves the
// grid and is named once. A session without a position gets no such page.
TEST_F(ChartCommands, RenderPdfEndsWithTheMapPageOfSessionsWithPositions) {
    const auto survey = Datalog({"survey", "FlashData.txt", kSlot});
    ASSERT_EQ(survey.status, 0) << survey.err;
    const auto first = Datalog({"render", "FlashData.txt", kSlot, "--pdf", "a.pdf"});
    ASSERT_EQ(first.status, 0) << first.err;
    const std::string text = PdfText("a.pdf");
    const std::string lastPage = text.substr(text.rfind('\f', text.size() - 2) + 1);
    for (const char* line : {"Route walked:", "Survey records:", "Indications:"}) {
        const size_t at = survey.out.find(line);
        ASSERT_NE(at, std::string::npos) << line;
        const std::string wanted = Squeezed(survey.out.substr(at, survey.out.find('\n', at) - at));
        EXPECT_NE(Squeezed(lastPage).find(wanted), std::string::npos) << wanted << " in\n"
                                                                      << lastPage;
    }
    const int pages = static_cast<int>(std::count(text.begin(), text.end(), '\f'));
    EXPECT_NE(lastPage.find("Page " + std::to_string(pages) + " of " + std::to_string(pages)),
              std::string::npos)
        << lastPage;
    EXPECT_EQ(text.find("Time (instrument clock)", text.size() - lastPage.size()),
              std::string::npos); // the chart came before

    const auto again =
        Datalog({"render", "FlashData.txt", kSlot, "--pdf", "b.pdf", "--tiles", "none.mbtiles"});
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_NE(again.err.find("none.mbtiles"), std::string::npos) << again.err;
    EXPECT_TRUE(testsupport::ReadFile(dir.File("a.pdf")) ==
                testsupport::ReadFile(dir.File("b.pdf")));

    ASSERT_EQ(Datalog({"render", "FlashData.txt", kNowhereSlot, "--pdf", "c.pdf"}).status, 0);
    EXPECT_EQ(PdfText("c.pdf").find("Route walked"), std::string::npos);
}

} // namespace
