#include "download/DownloadOptions.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "download/CommandLine.h"
#include "download/ExportOptions.h"
#include "download/OptionTable.h"
#include "download/SharedOptions.h"
#include "linkselect/PipeLink.h"

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

bool AcceptsAll(const std::string& value) {
    return value == "all";
}

// A link, slot or day named twice is used once, where it was first named.
template <typename T> void AddOnce(std::vector<T>& list, const T& item) {
    if (std::find(list.begin(), list.end(), item) == list.end()) {
        list.push_back(item);
    }
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
        Ports,
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
        All,
        NewOnly,
    };
    static const OptionSpec kTable[] = {
        {"--pipe", nullptr, Takes::OptionalValue, "a pipe name", nullptr},
        {"--port", nullptr, Takes::Value, "a serial device, e.g. ttyUSB0", AcceptsDevice},
        {"--ports", nullptr, Takes::Value, "all", AcceptsAll},
        {"--dump", nullptr, Takes::Value, "a file name", nullptr},
        {"--out", nullptr, Takes::Value, "a folder", nullptr},
        {"--sessions", nullptr, Takes::Value, "all, alarm, cal or alarm,cal", AcceptsSessionBoxes},
        {"--slot", nullptr, Takes::Values, "a slot number from 0 to 499", AcceptsSlot},
        {"--day", nullptr, Takes::Values, "a date written YYYY-MM-DD", AcceptsIsoDate},
        kModeNamesOption,
        {"--export", nullptr, Takes::Value, "csv, geojson and gpx (comma-separated)",
         AcceptsFormats},
        {"--plot", nullptr, Takes::Value, "pdf or png", AcceptsChartFormat},
        kGraphOption,
        {"--fast", nullptr, Takes::Nothing, "", nullptr},
        {"--quiet", "-q", Takes::Nothing, "", nullptr},
        kArchiveOption,
        kInstrumentOption,
        {"--no-archive", nullptr, Takes::Nothing, "", nullptr},
        {"--all", nullptr, Takes::Nothing, "", nullptr},
        {"--new-only", nullptr, Takes::Nothing, "", nullptr},
    };
    ParsedArguments parsed;
    if (!ParseArguments(argc, argv, kTable, std::size(kTable), "download", false, parsed,
                        message)) {
        return false;
    }
    if (!parsed.positional.empty()) {
        message = "download: unexpected argument \"" + parsed.positional[0] + "\"";
        return false;
    }
    std::string unused;
    for (const OptionUse& use : parsed.options) {
        const std::string& value = use.value;
        switch (IndexIn(kTable, use)) {
        case Pipe:
            AddOnce(options.links, {DownloadLink::Kind::Pipe,
                                    use.hasValue ? value : std::string(kCompanionPipeName)});
            break;
        case Port:
            AddOnce(options.links, {DownloadLink::Kind::Port, BareDeviceName(value)});
            break;
        case Ports:
            options.allPorts = true;
            break;
        case Dump:
            options.dumpPath = value;
            break;
        case Out:
            options.outDir = value;
            break;
        case Sessions:
            ParseSessionBoxes(value, options.boxes);
            break;
        case Slot: {
            int16_t slot = 0;
            if (ParseSlot(value.c_str(), slot, unused)) {
                AddOnce(options.sessionSlots, slot);
            }
            break;
        }
        case Day:
            AddOnce(options.days, value);
            break;
        case ModeNames:
            ParseModeNames(value, options.modeNames, unused);
            options.modeNamesGiven = true;
            break;
        case Export:
            ParseExportFormats(value, options.exportFormats, unused);
            break;
        case Plot:
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
            options.archiveAt = value;
            break;
        case Instrument:
            options.instrumentName = value;
            break;
        case NoArchive:
            options.archive = false;
            break;
        case All:
            options.all = true;
            break;
        case NewOnly:
            options.newOnly = true;
            break;
        default:
            break;
        }
    }
    if (!options.sessionSlots.empty() && !options.days.empty()) {
        message = "download: --slot and --day exclude each other";
        return false;
    }
    // --all uploads again what --new-only would leave out for being held already.
    if (options.all && options.newOnly) {
        message = "download: --all and --new-only exclude each other";
        return false;
    }
    return true;
}
