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

using Takes = OptionSpec::Takes;

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

// Where the links of --pipe, --port and --ports went, as download reads them: the watcher keeps
// its ports and pipes apart.
void TakeLinks(WatchOptions& options) {
    for (const DownloadLink& link : options.download.links) {
        (link.kind == DownloadLink::Kind::Port ? options.ports : options.pipes)
            .push_back(link.name);
    }
    options.allPorts = options.allPorts || options.download.allPorts;
    options.download.links.clear();
    options.download.allPorts = false;
}

} // namespace

const OptionTable<WatchOptions>& WatchOptionTable() {
    using O = WatchOptions;
    const auto download = &WatchOptions::download;
    static const OptionTable<WatchOptions> kTable = {
        {{"--out", nullptr, Takes::Value, "a folder template", nullptr},
         "TEMPLATE",
         "the folder of each day's files, with the fields {instrument} (its\n"
         "serial number, else the port or pipe), {date} (YYYY-MM-DD of the\n"
         "sessions), {month} (YYYY-MM), {job} and {user} (the first job\n"
         "number and user name in the day's sessions); default\n"
         "Tavon/{instrument}/{date} in the user's documents folder",
         SetsText(&O::outTemplate)},
        Lift(ArchiveOption(&DownloadOptions::archiveAt), download,
             "the archive, as for tavon-datalog archive (default: \"Archive\" in\n"
             "Settings.ini, else the program's own)"),
        Lift(SyncOption(), download,
             "after each visit, the archive is synced into this one (a team's\n"
             "server) when it answers; when it does not, the log says so once\n"
             "(default: \"Sync\" in Settings.ini, else none)"),
        Lift(ExportOption(), download,
             "beside each report, its sessions as csv, geojson and/or gpx"),
        Lift(PlotOption(), download, "beside each report, the chart of its sessions"),
        {{"--pdf", nullptr, Takes::Nothing, "", nullptr},
         "",
         "each report also as PDF, with its chart (a PDF chart of --plot is\n"
         "then YYYY-MM-DD-chart.pdf)",
         SetsFlag(&O::pdf)},
        Lift(FastOption(), download, "fast uploads (also \"Fast Upload=TRUE\" in Settings.ini)"),
        Lift(PortOption(), download,
             "the port DEVICE watched (ttyUSB0, /dev/rfcomm0, COM3); may be\n"
             "given more than once, a port each time"),
        Lift(PortsOption(), download,
             "the ports watched: every port the discovery lists with a known\n"
             "driver, or these devices (ttyUSB0, /dev/rfcomm0, COM3)"),
        Lift(PipeOption(), download,
             "the companion pipe NAME (default \"RAK Pipe\"); may be repeated"),
        HelpNote<O>("", "Without --port, --ports and --pipe: every port of a known driver and\n"
                        "the pipe \"RAK Pipe\"."),
        {{"--once", nullptr, Takes::Nothing, "", nullptr},
         "",
         "download every instrument present now, then exit",
         SetsFlag(&O::once)},
        {{"--every", nullptr, Takes::Value, "minutes, from 1 to 10080", AcceptsMinutes},
         "MINUTES",
         "download connected instruments again at this interval",
         [](O& options, const OptionUse& use) { options.everyMinutes = std::stoi(use.value); }},
        {{"--log", nullptr, Takes::Value, "a file name", nullptr},
         "FILE",
         "the log goes to FILE (appended) instead of standard output",
         SetsText(&O::logPath)},
        {{"--quiet", "-q", Takes::Nothing, "", nullptr},
         "",
         "nothing on standard output",
         SetsFlag(&O::quiet)},
    };
    return kTable;
}

bool ParseWatchOptions(int argc, char** argv, const std::string& settings, WatchOptions& options,
                       std::string& message) {
    const std::vector<std::string> given(argv, argv + std::max(argc, 0));
    std::vector<std::string> args, settingsLinks;
    SettingsArguments(settings, args, settingsLinks);
    const bool linksGiven = std::any_of(given.begin(), given.end(), [](const std::string& a) {
        return a.rfind("--port", 0) == 0 || a.rfind("--pipe", 0) == 0;
    });
    if (!linksGiven) {
        args.insert(args.end(), settingsLinks.begin(), settingsLinks.end());
    }
    // The settings' values are checked as the command line's are, and named as such; the command
    // line goes over them.
    std::vector<std::string> positional;
    if (!ParseOptions(args, WatchOptionTable(), "watch ([Watch] in Settings.ini)", false, options,
                      positional, message) ||
        !ParseOptions(given, WatchOptionTable(), "watch", false, options, positional, message)) {
        return false;
    }
    if (!positional.empty()) {
        message = "watch: unexpected argument \"" + positional[0] + "\"";
        return false;
    }
    TakeLinks(options);
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
    options.download.newOnly = true;
    options.download.quiet = true; // no progress bar: the log tells what happens
    return true;
}
