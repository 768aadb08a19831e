#include "watch/WatchOptions.h"

#include <algorithm>
#include <iterator>
#include <sstream>

#include "download/ExportOptions.h"
#include "download/OptionTable.h"
#include "download/SharedOptions.h"
#include "linkselect/PipeLink.h"
#include "watch/OutputTemplate.h"

namespace {

// Days are the most an interval makes sense for; more is a typing slip.
constexpr int kMostMinutes = 7 * 24 * 60;

bool AcceptsMinutes(const std::string& value) {
    if (value.empty() || value.size() > 6 ||
        value.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const int minutes = std::stoi(value);
    return minutes >= 1 && minutes <= kMostMinutes;
}

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\r' || text.back() == ' ' || text.back() == '\t')) {
        text.pop_back();
    }
    const size_t start = text.find_first_not_of(" \t");
    return start == std::string::npos ? std::string() : text.substr(start);
}

// The [Watch] section as the arguments it stands for, links apart.
void SettingsArguments(const std::string& settings, std::vector<std::string>& args,
                       std::vector<std::string>& links) {
    std::istringstream in(settings);
    std::string line;
    bool inSection = false;
    while (std::getline(in, line)) {
        line = Trimmed(line);
        if (!line.empty() && line[0] == '[') {
            inSection = line == "[Watch]";
            continue;
        }
        const size_t equals = line.find('=');
        if (!inSection || equals == std::string::npos) {
            continue;
        }
        const std::string key = Trimmed(line.substr(0, equals));
        const std::string value = Trimmed(line.substr(equals + 1));
        const bool on = value == "TRUE";
        // The archive is the program's setting "Archive", outside the section: one archive for
        // the program, its downloads and the watcher.
        if (key == "Out" || key == "Export" || key == "Plot" || key == "Every" || key == "Log") {
            if (!value.empty()) {
                std::string option = "--" + key;
                std::transform(option.begin(), option.end(), option.begin(),
                               [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
                args.push_back(option);
                args.push_back(value);
            }
        } else if ((key == "PDF" || key == "Fast" || key == "Quiet") && on) {
            args.push_back(key == "PDF" ? "--pdf" : key == "Fast" ? "--fast" : "--quiet");
        } else if (key == "Ports" && !value.empty()) {
            std::istringstream words(value);
            std::string word;
            links.push_back("--ports");
            while (words >> word) {
                links.push_back(word);
            }
        } else if (key == "Pipe" && !value.empty() && value != "FALSE") {
            links.push_back("--pipe");
            links.push_back(on ? std::string(kCompanionPipeName) : value);
        }
    }
}

} // namespace

bool ParseWatchOptions(int argc, char** argv, const std::string& settings, WatchOptions& options,
                       std::string& message) {
    using Takes = OptionSpec::Takes;
    enum { Out, Archive, Export, Plot, Pdf, Fast, Ports, Pipe, Once, Quiet, Every, Log };
    static const OptionSpec kTable[] = {
        {"--out", nullptr, Takes::Value, "a folder template", nullptr},
        kArchiveOption,
        {"--export", nullptr, Takes::Value, "csv, geojson and gpx (comma-separated)",
         AcceptsFormats},
        {"--plot", nullptr, Takes::Value, "pdf or png", AcceptsChartFormat},
        {"--pdf", nullptr, Takes::Nothing, "", nullptr},
        {"--fast", nullptr, Takes::Nothing, "", nullptr},
        {"--ports", nullptr, Takes::Values, "all or serial devices, e.g. ttyUSB0", AcceptsDevice},
        {"--pipe", nullptr, Takes::OptionalValue, "a pipe name", nullptr},
        {"--once", nullptr, Takes::Nothing, "", nullptr},
        {"--quiet", "-q", Takes::Nothing, "", nullptr},
        {"--every", nullptr, Takes::Value, "minutes, from 1 to 10080", AcceptsMinutes},
        {"--log", nullptr, Takes::Value, "a file name", nullptr},
    };
    std::vector<std::string> given(argv, argv + argc);
    std::vector<std::string> args, settingsLinks;
    SettingsArguments(settings, args, settingsLinks);
    const bool linksGiven = std::any_of(given.begin(), given.end(), [](const std::string& a) {
        return a.rfind("--ports", 0) == 0 || a.rfind("--pipe", 0) == 0;
    });
    if (!linksGiven) {
        args.insert(args.end(), settingsLinks.begin(), settingsLinks.end());
    }
    // The settings' values are checked as the command line's are, and named as such.
    ParsedArguments fromSettings;
    if (!ParseArguments(args, kTable, std::size(kTable), "watch ([Watch] in Settings.ini)", false,
                        fromSettings, message)) {
        return false;
    }
    ParsedArguments parsed;
    if (!ParseArguments(given, kTable, std::size(kTable), "watch", false, parsed, message)) {
        return false;
    }
    if (!parsed.positional.empty()) {
        message = "watch: unexpected argument \"" + parsed.positional[0] + "\"";
        return false;
    }
    std::vector<OptionUse> uses = fromSettings.options;
    uses.insert(uses.end(), parsed.options.begin(), parsed.options.end());
    std::string unused;
    DownloadOptions& download = options.download;
    for (const OptionUse& use : uses) {
        const std::string& value = use.value;
        switch (IndexIn(kTable, use)) {
        case Out:
            options.outTemplate = value;
            break;
        case Archive:
            download.archiveAt = value;
            break;
        case Export:
            download.exportFormats.clear();
            ParseExportFormats(value, download.exportFormats, unused);
            break;
        case Plot:
            download.plot = value;
            break;
        case Pdf:
            options.pdf = true;
            break;
        case Fast:
            download.fast = true;
            break;
        case Ports:
            if (value == "all") {
                options.allPorts = true;
            } else if (std::find(options.ports.begin(), options.ports.end(),
                                 BareDeviceName(value)) == options.ports.end()) {
                options.ports.push_back(BareDeviceName(value));
            }
            break;
        case Pipe: {
            const std::string name = use.hasValue ? value : std::string(kCompanionPipeName);
            if (std::find(options.pipes.begin(), options.pipes.end(), name) ==
                options.pipes.end()) {
                options.pipes.push_back(name);
            }
            break;
        }
        case Once:
            options.once = true;
            break;
        case Quiet:
            options.quiet = true;
            break;
        case Every:
            options.everyMinutes = std::stoi(value);
            break;
        case Log:
            options.logPath = value;
            break;
        default:
            break;
        }
    }
    if (!options.outTemplate.empty() && !CheckOutputTemplate(options.outTemplate, message)) {
        message = "watch: " + message;
        return false;
    }
    if (options.once && options.everyMinutes > 0) {
        message = "watch: --once and --every exclude each other";
        return false;
    }
    if (!options.allPorts && options.ports.empty() && options.pipes.empty()) {
        options.allPorts = true;
        options.pipes.push_back(kCompanionPipeName);
    }
    // The watcher uploads only what the archive does not hold complete, and writes only the days
    // that got something new.
    download.newOnly = true;
    download.quiet = true; // no progress bar: the log tells what happens
    return true;
}
