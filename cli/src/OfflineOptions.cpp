#include "OfflineOptions.h"

#include <cstring>

#include "CommandLine.h"
#include "OptionTable.h"

namespace {

using Takes = OptionSpec::Takes;

bool ParseHide(const std::string& text, RenderOptions& options) {
    for (const std::string& word : SplitList(text)) {
        if (word == "alarm") {
            options.showAlarm = false;
        } else if (word == "manual") {
            options.showManual = false;
        } else if (word == "timed") {
            options.showTimed = false;
        } else if (word == "calibration") {
            options.showCalibration = false;
        } else if (word == "bump") {
            options.showBump = false;
        } else {
            return false;
        }
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
    enum { Graph, ModeNames, Hide, Output };
    static const OptionSpec kTable[] = {
        {"--graph", nullptr, Takes::Nothing, ""},
        {"--mode-names", nullptr, Takes::Value,
         "--mode-names needs up to four comma-separated names"},
        {"--hide", nullptr, Takes::Value,
         "--hide needs a list of alarm, manual, timed, calibration and bump"},
        {"--output", "-o", Takes::Value, "-o needs a file name"},
    };
    ParsedArguments parsed;
    // A negative number after the dump is a slot, refused as one.
    if (!ParseArguments(argc, argv, kTable, 4, "render", true, parsed, message)) {
        return false;
    }
    for (const OptionUse& use : parsed.options) {
        switch (use.option - kTable) {
        case Graph:
            options.graph = true;
            break;
        case ModeNames:
            if (!ParseModeNames(use.value, options.modeNames, message)) {
                return false;
            }
            break;
        case Hide:
            if (!ParseHide(use.value, options)) {
                message = "--hide takes alarm, manual, timed, calibration and bump, not \"" +
                          use.value + "\"";
                return false;
            }
            break;
        case Output:
            if (use.value.empty()) {
                message = use.option->missing;
                return false;
            }
            options.output = use.value;
            break;
        default:
            break;
        }
    }
    if (parsed.positional.empty()) {
        message = "render needs the dump to read and at least one slot";
        return false;
    }
    options.dump = parsed.positional[0];
    for (size_t k = 1; k < parsed.positional.size(); ++k) {
        int16_t slot = 0;
        if (!ParseSlot(parsed.positional[k].c_str(), slot, message)) {
            return false;
        }
        options.slots.push_back(slot);
    }
    if (options.slots.empty()) {
        message = "render needs at least one slot";
        return false;
    }
    return true;
}
