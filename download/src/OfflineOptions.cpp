#include "download/OfflineOptions.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>

#include "download/CommandLine.h"
#include "download/ExportOptions.h"
#include "download/OptionTable.h"
#include "download/SharedOptions.h"

namespace {

using Takes = OptionSpec::Takes;

// The options render, export and plot share, at the start of their tables in this order.
enum { ModeNames, Hide, Output, SharedCount };

// Applies one of the shared options; the parser has checked its value.
void TakeShared(size_t which, const OptionUse& use, std::string (&modeNames)[4], LogFilter& filter,
                std::string& output) {
    std::string unused;
    switch (which) {
    case ModeNames:
        ParseModeNames(use.value, modeNames, unused);
        break;
    case Hide:
        ParseHideList(use.value, filter);
        break;
    default:
        output = use.value;
        break;
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
        {"--show", nullptr, Takes::Value, "all, alarm, cal or alarm,cal", AcceptsSessionBoxes},
    };
    ParsedArguments parsed;
    if (!ParseArguments(argc, argv, kTable, std::size(kTable), "sessions", false, parsed,
                        message)) {
        return false;
    }
    for (const OptionUse& use : parsed.options) {
        ParseSessionBoxes(use.value, options.boxes);
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
    enum { Graph = SharedCount, Pdf };
    static const OptionSpec kTable[] = {kModeNamesOption,
                                        kHideOption,
                                        kOutputOption,
                                        kGraphOption,
                                        {"--pdf", nullptr, Takes::Value, "a file name", nullptr}};
    ParsedArguments parsed;
    // A negative number after the dump is a slot, refused as one.
    if (!ParseArguments(argc, argv, kTable, std::size(kTable), "render", true, parsed, message)) {
        return false;
    }
    for (const OptionUse& use : parsed.options) {
        const size_t which = IndexIn(kTable, use);
        if (which == Graph) {
            options.graph = true;
        } else if (which == Pdf) {
            options.pdf = use.value;
        } else {
            TakeShared(which, use, options.modeNames, options.filter, options.output);
        }
    }
    return TakeDumpAndSlots(parsed, "render", options.dump, options.sessionSlots, message);
}

bool ParseExportCommandOptions(int argc, char** argv, ExportCommandOptions& options,
                               std::string& message) {
    enum { Format = SharedCount, Instrument };
    static const OptionSpec kTable[] = {kModeNamesOption, kHideOption, kOutputOption, kFormatOption,
                                        kInstrumentOption};
    ParsedArguments parsed;
    if (!ParseArguments(argc, argv, kTable, std::size(kTable), "export", true, parsed, message)) {
        return false;
    }
    bool formatGiven = false;
    for (const OptionUse& use : parsed.options) {
        const size_t which = IndexIn(kTable, use);
        if (which == Instrument) {
            options.instrument = use.value;
        } else if (which == Format) {
            std::vector<ExportFormat> formats;
            std::string unused;
            if (ParseExportFormats(use.value, formats, unused) && !formats.empty()) {
                options.format = formats.front();
                formatGiven = true;
            }
        } else {
            TakeShared(which, use, options.modeNames, options.filter, options.output);
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
    static const OptionSpec kTable[] = {kModeNamesOption, kHideOption, kOutputOption, kSizeOption};
    ParsedArguments parsed;
    if (!ParseArguments(argc, argv, kTable, std::size(kTable), "plot", true, parsed, message)) {
        return false;
    }
    for (const OptionUse& use : parsed.options) {
        const size_t which = IndexIn(kTable, use);
        if (which >= SharedCount) {
            ParseChartSize(use.value, options.width, options.height);
        } else {
            TakeShared(which, use, options.modeNames, options.filter, options.output);
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
