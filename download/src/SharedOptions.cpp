#include "download/SharedOptions.h"

#include <cstdint>
#include <string>
#include <vector>

#include "core/SessionTable.h"
#include "download/CommandArguments.h"
#include "download/DownloadOptions.h"
#include "download/ExportOptions.h"
#include "download/OfflineOptions.h"

namespace {

using Takes = OptionSpec::Takes;

bool AcceptsModeNames(const std::string& value) {
    std::string names[4];
    std::string message;
    return ParseModeNames(value, names, message);
}

bool AcceptsHideList(const std::string& value) {
    LogFilter filter;
    return ParseHideList(value, filter);
}

bool AcceptsOneFormat(const std::string& value) {
    std::vector<ExportFormat> formats;
    std::string message;
    return ParseExportFormats(value, formats, message) && formats.size() == 1;
}

bool AcceptsSurveyFormat(const std::string& value) {
    SurveyFormat format;
    return ParseSurveyFormat(value, format);
}

bool AcceptsChartSize(const std::string& value) {
    int width = 0;
    int height = 0;
    return ParseChartSize(value, width, height);
}

} // namespace

bool AcceptsSessionBoxes(const std::string& value) {
    SessionBoxes boxes;
    return ParseSessionBoxes(value, boxes);
}

bool AcceptsIsoDate(const std::string& value) {
    return IsIsoDate(value);
}

bool AcceptsSlot(const std::string& value) {
    int16_t slot = 0;
    std::string message;
    return ParseSlot(value.c_str(), slot, message);
}

const OptionSpec kModeNamesSpec = {"--mode-names", nullptr, Takes::Value,
                                   "at most four comma-separated mode names", AcceptsModeNames};
const OptionSpec kHideSpec = {"--hide", nullptr, Takes::Value,
                              "a comma-separated list of alarm, manual, timed, calibration "
                              "and bump",
                              AcceptsHideList};
const OptionSpec kOutputSpec = {"--output", "-o", Takes::Value, "a file name", nullptr};
const OptionSpec kGraphSpec = {"--graph", nullptr, Takes::Nothing, "", nullptr};
const OptionSpec kFormatSpec = {"--format", nullptr, Takes::Value, "one of csv, geojson and gpx",
                                AcceptsOneFormat};
const OptionSpec kSizeSpec = {"--size", nullptr, Takes::Value,
                              "WIDTHxHEIGHT in pixels, each 100 to 10000", AcceptsChartSize};
const OptionSpec kArchiveSpec = {"--archive", nullptr, Takes::Value,
                                 "a SQLite file or postgresql://user@host[:port]/database",
                                 nullptr};
const OptionSpec kInstrumentSpec = {"--instrument", nullptr, Takes::Text, "a name", nullptr};

const OptionSpec kFromSpec = {"--from", nullptr, Takes::Value, "a date written YYYY-MM-DD",
                              AcceptsIsoDate};
const OptionSpec kToSpec = {"--to", nullptr, Takes::Value, "a date written YYYY-MM-DD",
                            AcceptsIsoDate};
const OptionSpec kJobSpec = {"--job", nullptr, Takes::Text, "a part of a job number", nullptr};
const OptionSpec kUserSpec = {"--user", nullptr, Takes::Text, "a part of a user's name", nullptr};
const OptionSpec kTilesSpec = {"--tiles", nullptr, Takes::Value, "an MBTiles file", nullptr};
const OptionSpec kGasSpec = {"--gas", nullptr, Takes::Value, "a gas's name", nullptr};
const OptionSpec kSurveyFormatSpec = {"--format", nullptr, Takes::Value, "text, csv or json",
                                      AcceptsSurveyFormat};

const char kGraphHelp[] = "list barhole profiles value by value; without it the setting\n"
                          "\"Show Barhole Graph\" in Settings.ini decides";
const char kOutputHelp[] = "write to FILE instead of standard output";
const char kArchivePlaceholder[] = "LOCATION";

std::string ArchiveOptionHelp() {
    return OptionHelpLines({{OptionShownAs(kArchiveSpec, kArchivePlaceholder),
                             "a SQLite file, or postgresql://user@host[:port]/database (a socket\n"
                             "folder as host is written with %2F for each '/'; over TLS with\n"
                             "?sslmode=require, or verify-full&sslrootcert=FILE); default:\n"
                             "\"Archive\" in Settings.ini, else the program's own\n"
                             "archive.sqlite in its application data folder"}});
}

std::string BareDeviceName(const std::string& device) {
    static const char kDevPrefix[] = "/dev/";
    if (device.compare(0, sizeof kDevPrefix - 1, kDevPrefix) == 0) {
        return device.substr(sizeof kDevPrefix - 1);
    }
    return device;
}

bool AcceptsDevice(const std::string& value) {
    return !BareDeviceName(value).empty();
}

bool AcceptsFormats(const std::string& value) {
    std::vector<ExportFormat> formats;
    std::string message;
    return ParseExportFormats(value, formats, message);
}

bool AcceptsChartFormat(const std::string& value) {
    return value == "pdf" || value == "png";
}

bool ParseChartSize(const std::string& text, int& width, int& height) {
    const size_t x = text.find_first_of("xX");
    auto number = [](const std::string& digits, int& value) {
        if (digits.empty() || digits.size() > 5 ||
            digits.find_first_not_of("0123456789") != std::string::npos) {
            return false;
        }
        value = std::stoi(digits);
        return value >= 100 && value <= 10000;
    };
    int w = 0;
    int h = 0;
    if (x == std::string::npos || !number(text.substr(0, x), w) || !number(text.substr(x + 1), h)) {
        return false;
    }
    width = w;
    height = h;
    return true;
}
