#include "OfflineOptions.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "CommandLine.h"
#include "ExportOptions.h"
#include "OptionTable.h"

namespace {

using Takes = OptionSpec::Takes;

// The options that render and export share, in their tables at these places.
enum { ModeNames, Hide, Output };
const OptionSpec kModeNames = {"--mode-names", nullptr, Takes::Value,
                               "--mode-names needs up to four comma-separated names"};
const OptionSpec kHide = {"--hide", nullptr, Takes::Value,
                          "--hide needs a list of alarm, manual, timed, calibration and bump"};
const OptionSpec kOutput = {"--output", "-o", Takes::Value, "-o needs a file name"};

// Applies one of the shared options.
bool TakeShared(int which, const OptionUse& use, std::string (&modeNames)[4], LogFilter& filter,
                std::string& output, std::string& message) {
    switch (which) {
    case ModeNames:
        return ParseModeNames(use.value, modeNames, message);
    case Hide:
        if (!ParseHideList(use.value, filter)) {
            message = "--hide takes alarm, manual, timed, calibration and bump, not \"" +
                      use.value + "\"";
            return false;
        }
        return true;
    default:
        if (use.value.empty()) {
            message = use.option->missing;
            return false;
        }
        output = use.value;
        return true;
    }
}

// DUMP SLOT [SLOT...]: the words that are not options.
bool TakeDumpAndSlots(const ParsedArguments& parsed, const char* command, std::string& dump,
                      std::vector<int16_t>& sessionSlots, std::string& message) {
    if (parsed.positional.empty()) {
        message = std::string(command) + " needs the dump to read and at least one slot";
        return false;
    }
    dump = parsed.positional[0];
    for (size_t k = 1; k < parsed.positional.size(); ++k) {
        int16_t slot = 0;
        if (!ParseSlot(parsed.positional[k].c_str(), slot, message)) {
            return false;
        }
        sessionSlots.push_back(slot);
    }
    if (sessionSlots.empty()) {
        message = std::string(command) + " needs at least one slot";
        return false;
    }
    return true;
}

} // namespace

bool ParseSessionsOptions(int argc, char** argv, SessionsOptions& options, std::string& message) {
    static const OptionSpec kTable[] = {
        {"--show", nullptr, Takes::Value, "--show needs a value: all, alarm, cal or alarm,cal"},
    };
    ParsedArguments parsed;
    if (!ParseArguments(argc, argv, kTable, 1, "sessions", false, parsed, message)) {
        return false;
    }
    for (const OptionUse& use : parsed.options) {
        if (!ParseSessionBoxes(use.value, options.boxes)) {
            message = "--show takes all, alarm, cal or alarm,cal, not \"" + use.value + "\"";
            return false;
        }
    }
    if (parsed.positional.empty()) {
        message = "sessions needs the dump to read";
        return false;
    }
    if (parsed.positional.size() > 1) {
        message = "sessions takes one dump, not also \"" + parsed.positional[1] + "\"";
        return false;
    }
    options.dump = parsed.positional[0];
    return true;
}

bool ParseRenderOptions(int argc, char** argv, RenderOptions& options, std::string& message) {
    enum { Graph = Output + 1, Pdf };
    static const OptionSpec kTable[] = {
        kModeNames,
        kHide,
        kOutput,
        {"--graph", nullptr, Takes::Nothing, ""},
        {"--pdf", nullptr, Takes::Value, "--pdf needs a file name"}};
    ParsedArguments parsed;
    // A negative number after the dump is a slot, refused as one.
    if (!ParseArguments(argc, argv, kTable, 5, "render", true, parsed, message)) {
        return false;
    }
    for (const OptionUse& use : parsed.options) {
        const int which = static_cast<int>(use.option - kTable);
        if (which == Graph) {
            options.graph = true;
        } else if (which == Pdf) {
            if (use.value.empty()) {
                message = use.option->missing;
                return false;
            }
            options.pdf = use.value;
        } else if (!TakeShared(which, use, options.modeNames, options.filter, options.output,
                               message)) {
            return false;
        }
    }
    return TakeDumpAndSlots(parsed, "render", options.dump, options.sessionSlots, message);
}

bool ParseExportCommandOptions(int argc, char** argv, ExportCommandOptions& options,
                               std::string& message) {
    static const OptionSpec kTable[] = {
        kModeNames,
        kHide,
        kOutput,
        {"--format", nullptr, Takes::Value, "--format takes one of csv, geojson and gpx"}};
    ParsedArguments parsed;
    if (!ParseArguments(argc, argv, kTable, 4, "export", true, parsed, message)) {
        return false;
    }
    bool formatGiven = false;
    for (const OptionUse& use : parsed.options) {
        const int which = static_cast<int>(use.option - kTable);
        if (which > Output) {
            std::vector<ExportFormat> formats;
            if (!ParseExportFormats(use.value, formats, message) || formats.size() != 1) {
                message = use.option->missing;
                return false;
            }
            options.format = formats.front();
            formatGiven = true;
        } else if (!TakeShared(which, use, options.modeNames, options.filter, options.output,
                               message)) {
            return false;
        }
    }
    if (!TakeDumpAndSlots(parsed, "export", options.dump, options.sessionSlots, message)) {
        return false;
    }
    if (!formatGiven) {
        message = "export needs --format csv, geojson or gpx";
        return false;
    }
    return true;
}

bool ParsePlotOptions(int argc, char** argv, PlotOptions& options, std::string& message) {
    static const OptionSpec kTable[] = {
        kModeNames,
        kHide,
        kOutput,
        {"--size", nullptr, Takes::Value, "--size needs WIDTHxHEIGHT in pixels"}};
    ParsedArguments parsed;
    if (!ParseArguments(argc, argv, kTable, 4, "plot", true, parsed, message)) {
        return false;
    }
    for (const OptionUse& use : parsed.options) {
        const int which = static_cast<int>(use.option - kTable);
        if (which > Output) {
            if (!ParseChartSize(use.value, options.width, options.height)) {
                message = "--size takes WIDTHxHEIGHT in pixels, each 100 to 10000, not \"" +
                          use.value + "\"";
                return false;
            }
        } else if (!TakeShared(which, use, options.modeNames, options.filter, options.output,
                               message)) {
            return false;
        }
    }
    if (!TakeDumpAndSlots(parsed, "plot", options.dump, options.sessionSlots, message)) {
        return false;
    }
    if (options.output.empty()) {
        message = "plot needs -o FILE.pdf or -o FILE.png";
        return false;
    }
    if (ChartFormatOf(options.output).empty()) {
        message = "plot writes FILE.pdf or FILE.png, not \"" + options.output + "\"";
        return false;
    }
    return true;
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

std::string ChartFormatOf(const std::string& path) {
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos) {
        return std::string();
    }
    std::string ending = path.substr(dot + 1);
    std::transform(ending.begin(), ending.end(), ending.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ending == "pdf" || ending == "png" ? ending : std::string();
}
