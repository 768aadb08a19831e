// The watch settings as the program shows them: Settings.ini's [Watch] keys, parsed as the
// watcher parses them, in words.
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "watch/WatchOptions.h"
#include "watch/WatchSummary.h"

namespace {

struct SummaryCase {
    const char* settings;
    std::map<std::string, std::string> rows; // those checked
};

TEST(WatchSummary, SettingsInWords) {
    const std::vector<SummaryCase> cases = {
        {"",
         {{"Instruments on", "every port of a known driver, pipe RAK Pipe"},
          {"Files go to", "Tavon/{instrument}/{date} in the documents folder"},
          {"Archive", "the default archive"},
          {"Exports", "none"},
          {"Charts", "none"},
          {"PDF reports", "no"},
          {"Fast uploads", "no"},
          {"Downloaded again", "when it is connected again"},
          {"Log", "standard output"}}},
        {"[Watch]\nOut=/srv/{instrument}/{month}\nExport=csv,gpx\nPlot=png\nPDF=TRUE\nFast=TRUE\n"
         "Ports=ttyUSB0 rfcomm0\nEvery=30\nLog=/var/tmp/watch.log\nQuiet=TRUE\n"
         "Archive=/srv/archive.sqlite\n",
         {{"Instruments on", "ttyUSB0, rfcomm0"},
          {"Files go to", "/srv/{instrument}/{month}"},
          {"Archive", "/srv/archive.sqlite"},
          {"Exports", "csv, gpx"},
          {"Charts", "png"},
          {"PDF reports", "yes"},
          {"Fast uploads", "yes"},
          {"Downloaded again", "every 30 minutes, and when it is connected again"},
          {"Log", "/var/tmp/watch.log"}}},
        {"[Watch]\nPipe=Depot\nEvery=1\nQuiet=TRUE\n",
         {{"Instruments on", "pipe Depot"},
          {"Downloaded again", "every 1 minute, and when it is connected again"},
          {"Log", "none"}}},
        // Keys of other sections are not the watcher's.
        {"[Other]\nPDF=TRUE\n[Watch]\nPorts=all\n",
         {{"Instruments on", "every port of a known driver"}, {"PDF reports", "no"}}},
    };
    for (const SummaryCase& c : cases) {
        WatchOptions options;
        std::string message;
        ASSERT_TRUE(ParseWatchOptions(0, nullptr, c.settings, options, message)) << message;
        std::map<std::string, std::string> rows;
        for (const auto& row : DescribeWatchOptions(options)) {
            rows.insert(row);
        }
        EXPECT_EQ(rows.size(), 9u) << c.settings;
        for (const auto& want : c.rows) {
            EXPECT_EQ(rows[want.first], want.second) << c.settings << want.first;
        }
    }
}

} // namespace
