#include "DownloadOptions.h"

#include <algorithm>
#include <cstring>

#include "CommandLine.h"
#include "ExportOptions.h"
#include "OptionTable.h"

namespace {

bool Digits(const std::string& text, size_t from, size_t count, int& value) {
    value = 0;
    for (size_t i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

// The device as the port list names it: without the "/dev/" that opening adds again.
std::string BareDeviceName(const std::string& device) {
    static const char kDevPrefix[] = "/dev/";
    if (device.compare(0, sizeof kDevPrefix - 1, kDevPrefix) == 0) {
        return device.substr(sizeof kDevPrefix - 1);
    }
    return device;
}

} // namespace

bool IsIsoDate(const std::string& text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') {
        return false;
    }
    int year = 0, month = 0, day = 0;
    if (!Digits(text, 0, 4, year) || !Digits(text, 5, 2, month) || !Digits(text, 8, 2, day)) {
        return false;
    }
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1) {
        return false;
    }
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int length = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
    return day <= length;
}

bool ParseDownloadOptions(int argc, char** argv, DownloadOptions& options, std::string& message) {
    using Takes = OptionSpec::Takes;
    enum {
        Pipe,
        Port,
        Dump,
        Out,
        Sessions,
        Slot,
        Day,
        ModeNames,
        Export,
        Plot,
        Graph,
        Fast,
        Quiet,
        Archive,
        Instrument,
        NoArchive,
        All
    };
    static const OptionSpec kTable[] = {
        {"--pipe", nullptr, Takes::OptionalValue, ""},
        {"--port", nullptr, Takes::Value, "--port needs a serial device, e.g. ttyUSB0"},
        {"--dump", nullptr, Takes::Value, "--dump needs a file name"},
        {"--out", nullptr, Takes::Value, "--out needs a folder"},
        {"--sessions", nullptr, Takes::Value, "--sessions takes all, alarm, cal or alarm,cal"},
        {"--slot", nullptr, Takes::Values, "--slot needs a slot number (0 to 499)"},
        {"--day", nullptr, Takes::Values, "--day needs a date written YYYY-MM-DD"},
        {"--mode-names", nullptr, Takes::Value,
         "--mode-names needs up to four comma-separated names"},
        {"--export", nullptr, Takes::Value,
         "--export takes csv, geojson and gpx (comma-separated)"},
        {"--plot", nullptr, Takes::Value, "--plot takes pdf or png"},
        {"--graph", nullptr, Takes::Nothing, ""},
        {"--fast", nullptr, Takes::Nothing, ""},
        {"--quiet", "-q", Takes::Nothing, ""},
        {"--archive", nullptr, Takes::Value,
         "--archive needs a SQLite file or postgresql://user@host[:port]/db"},
        {"--instrument", nullptr, Takes::Value, "--instrument needs a name"},
        {"--no-archive", nullptr, Takes::Nothing, ""},
        {"--all", nullptr, Takes::Nothing, ""},
    };
    ParsedArguments parsed;
    if (!ParseArguments(argc, argv, kTable, sizeof kTable / sizeof kTable[0], "download", false,
                        parsed, message)) {
        return false;
    }
    if (!parsed.positional.empty()) {
        message = "download: unexpected argument \"" + parsed.positional[0] + "\"";
        return false;
    }
    bool pipeGiven = false;
    bool portGiven = false;
    for (const OptionUse& use : parsed.options) {
        const std::string& value = use.value;
        switch (use.option - kTable) {
        case Pipe:
            pipeGiven = true;
            if (use.hasValue) {
                options.pipeName = value;
            }
            if (options.pipeName.empty()) {
                message = "--pipe needs a non-empty name";
                return false;
            }
            break;
        case Port:
            portGiven = true;
            options.port = BareDeviceName(value);
            if (options.port.empty()) {
                message = use.option->missing;
                return false;
            }
            break;
        case Dump:
        case Out:
            if (value.empty()) {
                message = use.option->missing;
                return false;
            }
            (use.option - kTable == Dump ? options.dumpPath : options.outDir) = value;
            break;
        case Sessions:
            if (!ParseSessionBoxes(value, options.boxes)) {
                message = use.option->missing;
                return false;
            }
            break;
        case Slot: {
            int16_t slot = 0;
            if (!ParseSlot(value.c_str(), slot, message)) {
                return false;
            }
            options.sessionSlots.push_back(slot);
            break;
        }
        case Day:
            if (!IsIsoDate(value)) {
                message = std::string(use.option->missing) + ", not \"" + value + "\"";
                return false;
            }
            options.days.push_back(value);
            break;
        case ModeNames:
            if (!ParseModeNames(value, options.modeNames, message)) {
                return false;
            }
            options.modeNamesGiven = true;
            break;
        case Export:
            if (!ParseExportFormats(value, options.exportFormats, message)) {
                message = use.option->missing;
                return false;
            }
            break;
        case Plot:
            if (value != "pdf" && value != "png") {
                message = use.option->missing;
                return false;
            }
            options.plot = value;
            break;
        case Graph:
            options.graph = true;
            break;
        case Fast:
            options.fast = true;
            break;
        case Quiet:
            options.quiet = true;
            break;
        case Archive:
        case Instrument:
            if (value.empty()) {
                message = use.option->missing;
                return false;
            }
            (use.option - kTable == Archive ? options.archiveAt : options.instrumentName) = value;
            break;
        case NoArchive:
            options.archive = false;
            break;
        case All:
            options.all = true;
            break;
        default:
            break;
        }
    }
    if (pipeGiven && portGiven) {
        message = "--pipe and --port exclude each other";
        return false;
    }
    if (!options.sessionSlots.empty() && !options.days.empty()) {
        message = "--slot and --day exclude each other";
        return false;
    }
    options.link = pipeGiven   ? DownloadOptions::LinkKind::Pipe
                   : portGiven ? DownloadOptions::LinkKind::Port
                               : DownloadOptions::LinkKind::Default;
    // A slot or a day asked for twice is downloaded once, where it was first named.
    std::vector<int16_t> sessionSlots;
    for (int16_t slot : options.sessionSlots) {
        if (std::find(sessionSlots.begin(), sessionSlots.end(), slot) == sessionSlots.end()) {
            sessionSlots.push_back(slot);
        }
    }
    options.sessionSlots = sessionSlots;
    std::vector<std::string> days;
    for (const std::string& day : options.days) {
        if (std::find(days.begin(), days.end(), day) == days.end()) {
            days.push_back(day);
        }
    }
    options.days = days;
    return true;
}
