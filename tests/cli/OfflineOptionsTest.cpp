// The arguments of sessions and render, read in process.
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "OfflineOptions.h"
#include "ParseArgs.h"

namespace {

TEST(OfflineOptionsTest, SessionsTakesOneDumpAndTheBoxes) {
    SessionsOptions o;
    std::string message;
    ASSERT_TRUE(
        ParseWith(ParseSessionsOptions, {"--show=alarm", "d.txt", "--show", "cal"}, o, message))
        << message;
    EXPECT_EQ(o.dump, "d.txt");
    EXPECT_FALSE(o.boxes.all || o.boxes.alarm);
    EXPECT_TRUE(o.boxes.cal);
    SessionsOptions dashed;
    ASSERT_TRUE(ParseWith(ParseSessionsOptions, {"--", "--show"}, dashed, message));
    EXPECT_EQ(dashed.dump, "--show");
    EXPECT_TRUE(dashed.boxes.all);
}

TEST(OfflineOptionsTest, RenderReadsItsOptionsBetweenAndAfterTheSlots) {
    RenderOptions o;
    std::string message;
    ASSERT_TRUE(ParseWith(ParseRenderOptions,
                          {"d.txt", "3", "--graph", "0", "--hide", "alarm,bump", "-o", "r.rtf",
                           "--mode-names=A,[b]", "499"},
                          o, message))
        << message;
    EXPECT_EQ(o.dump, "d.txt");
    EXPECT_EQ(o.sessionSlots, (std::vector<int16_t>{3, 0, 499}));
    EXPECT_TRUE(o.graph);
    EXPECT_EQ(o.output, "r.rtf");
    EXPECT_EQ(o.modeNames[1], "\xE9"
                              "b\xEA");
    EXPECT_EQ(o.modeNames[2], "");
    EXPECT_FALSE(o.filter.Alarm || o.filter.Bump);
    EXPECT_TRUE(o.filter.Manual && o.filter.Timed && o.filter.Calibration);
}

TEST(OfflineOptionsTest, ExportNeedsExactlyOneFormat) {
    ExportCommandOptions o;
    std::string message;
    ASSERT_TRUE(ParseWith(ParseExportCommandOptions,
                          {"d.txt", "4", "--format", "gpx", "--hide=timed", "7"}, o, message))
        << message;
    EXPECT_EQ(o.format, ExportFormat::Gpx);
    EXPECT_EQ(o.sessionSlots, (std::vector<int16_t>{4, 7}));
    EXPECT_FALSE(o.filter.Timed);
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"d.txt", "4"}, "export needs --format"},
        {{"d.txt", "4", "--format", "csv,gpx"}, "--format takes one of"},
        {{"d.txt", "4", "--format", "kml"}, "--format takes one of"},
        {{"d.txt", "--format", "csv"}, "export needs at least one slot"},
    };
    for (const auto& c : cases) {
        ExportCommandOptions refused;
        EXPECT_FALSE(ParseWith(ParseExportCommandOptions, c.first, refused, message));
        EXPECT_NE(message.find(c.second), std::string::npos) << message;
    }
}

TEST(OfflineOptionsTest, RefusedArgumentsSayWhy) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"d.txt", "-5"}, "outside 0 to 499"},
        {{"d.txt", "1", "--graph=yes"}, "render: unknown option --graph=yes"},
        {{"d.txt", "1", "-o"}, "-o needs a file name"},
        {{"d.txt", "1", "-o="}, "-o needs a file name"},
        {{"d.txt"}, "render needs at least one slot"},
        {{"d.txt", "1", "--hide", "gps"}, "--hide takes"},
        {{"d.txt", "1", "--mode-names", "a,b,c,d,e"}, "at most four"},
    };
    for (const auto& c : cases) {
        RenderOptions o;
        std::string message;
        EXPECT_FALSE(ParseWith(ParseRenderOptions, c.first, o, message)) << c.first.back();
        EXPECT_NE(message.find(c.second), std::string::npos) << message;
    }
}

TEST(OfflineOptionsTest, PlotNeedsAPdfOrPngAndTakesASize) {
    PlotOptions o;
    std::string message;
    ASSERT_TRUE(ParseWith(ParsePlotOptions,
                          {"d.txt", "2", "3", "-o", "c.PNG", "--size", "640x480", "--hide=manual"},
                          o, message))
        << message;
    EXPECT_EQ(o.sessionSlots, (std::vector<int16_t>{2, 3}));
    EXPECT_EQ(o.output, "c.PNG");
    EXPECT_EQ(o.width, 640);
    EXPECT_EQ(o.height, 480);
    EXPECT_FALSE(o.filter.Manual);
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"d.txt", "2"}, "plot needs -o"},
        {{"d.txt", "2", "-o", "c.svg"}, "plot writes FILE.pdf or FILE.png"},
        {{"d.txt", "-o", "c.pdf"}, "plot needs at least one slot"},
        {{"d.txt", "2", "-o", "c.pdf", "--size", "640"}, "--size takes"},
        {{"d.txt", "2", "-o", "c.pdf", "--size", "99x480"}, "--size takes"},
        {{"d.txt", "2", "-o", "c.pdf", "--size", "640x100000"}, "--size takes"},
        {{"d.txt", "2", "-o", "c.pdf", "--size", "64Ox480"}, "--size takes"},
    };
    for (const auto& c : cases) {
        PlotOptions refused;
        EXPECT_FALSE(ParseWith(ParsePlotOptions, c.first, refused, message)) << c.first.back();
        EXPECT_NE(message.find(c.second), std::string::npos) << message;
    }
}

TEST(OfflineOptionsTest, RenderTakesAPdf) {
    RenderOptions o;
    std::string message;
    ASSERT_TRUE(ParseWith(ParseRenderOptions, {"d.txt", "1", "--pdf", "r.pdf"}, o, message));
    EXPECT_EQ(o.pdf, "r.pdf");
    EXPECT_TRUE(o.output.empty());
    EXPECT_FALSE(ParseWith(ParseRenderOptions, {"d.txt", "1", "--pdf"}, o, message));
}

} // namespace
