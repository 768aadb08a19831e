#include "download/DownloadOptions.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "download/CommandArguments.h"
#include "download/ExportOptions.h"
#include "download/OptionTable.h"
#include "download/SharedOptions.h"
#include "linkselect/PipeLink.h"

namespace {

using Takes = OptionSpec::Takes;

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

// A link, slot or day named twice is used once, where it was first named.
template <typename T> void AddOnce(std::vector<T>& list, const T& item) {
    if (std::find(list.begin(), list.end(), item) == list.end()) {
        list.push_back(item);
    }
}

void AddPort(DownloadOptions& options, const std::string& device) {
    AddOnce(options.links, {DownloadLink::Kind::Port, BareDeviceName(device)});
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

Option<DownloadOptions> PipeOption() {
    return {{"--pipe", nullptr, Takes::OptionalValue, "a pipe name", nullptr},
            "[NAME]",
            "the instrument served on the companion pipe NAME (default\n"
            "\"RAK Pipe\"); may be given more than once, a pipe each time",
            [](DownloadOptions& options, const OptionUse& use) {
                AddOnce(options.links,
                        {DownloadLink::Kind::Pipe,
                         use.hasValue ? use.value : std::string(kCompanionPipeName)});
            }};
}

Option<DownloadOptions> PortOption() {
    return {{"--port", nullptr, Takes::Value, "a serial device, e.g. ttyUSB0", AcceptsDevice},
            "DEVICE",
            "the instrument on the serial port DEVICE (ttyUSB0, /dev/rfcomm0,\n"
            "COM3), brought up as the program's connection dialog does it; may\n"
            "be given more than once, a port each time",
            [](DownloadOptions& options, const OptionUse& use) { AddPort(options, use.value); }};
}

Option<DownloadOptions> PortsOption() {
    return {
        {"--ports", nullptr, Takes::Values, "all or serial devices, e.g. ttyUSB0", AcceptsDevice},
        "all|DEVICE...",
        "the instruments on every serial port the port discovery lists\n"
        "with a known driver (all), or on these serial ports, as if each\n"
        "were named by --port",
        [](DownloadOptions& options, const OptionUse& use) {
            if (use.value == "all") {
                options.allPorts = true;
            } else {
                AddPort(options, use.value);
            }
        }};
}

Option<DownloadOptions> ExportOption() {
    return {{"--export", nullptr, Takes::Value, "csv, geojson and gpx (comma-separated)",
             AcceptsFormats},
            "LIST",
            "beside each report, the same sessions as csv, geojson and/or gpx\n"
            "(comma-separated), as the export command writes them",
            [](DownloadOptions& options, const OptionUse& use) {
                std::string unused;
                ParseExportFormats(use.value, options.exportFormats, unused);
            }};
}

Option<DownloadOptions> PlotOption() {
    return {{"--plot", nullptr, Takes::Value, "pdf or png", AcceptsChartFormat},
            "pdf|png",
            "beside each report, the chart of its sessions as DIR/YYYY-MM-DD.pdf\n"
            "or .png (DIR/slot-N.pdf with --slot), as the plot command draws it",
            SetsText(&DownloadOptions::plot)};
}

Option<DownloadOptions> MapOption() {
    return {{"--map", nullptr, Takes::Value, "pdf or png", AcceptsChartFormat},
            "pdf|png",
            "beside each report, the map of its sessions as DIR/YYYY-MM-DD-map.png\n"
            "or .pdf (DIR/slot-N-map.png with --slot), as the map command draws\n"
            "it (on the grid; a day without positions gets the grid alone)",
            SetsText(&DownloadOptions::map)};
}

Option<DownloadOptions> FastOption() {
    return {{"--fast", nullptr, Takes::Nothing, "", nullptr},
            "",
            "fast uploads: each answer is taken as it arrives and the next\n"
            "request goes out at once, so transfers run at the speed of the\n"
            "line; without it the setting \"Fast Upload\" in Settings.ini\n"
            "decides (the designed pace reads 512 bytes per 100 ms tick)",
            SetsFlag(&DownloadOptions::fast)};
}

Option<DownloadOptions> SyncOption() {
    return {{"--sync", nullptr, Takes::Value,
             "a SQLite file or postgresql://user@host[:port]/database", nullptr},
            kArchivePlaceholder,
            "after each download, the archive is synced into this one (a\n"
            "team's server) when it answers, as archive sync does; when it\n"
            "does not, that is said once and the downloads stay in the\n"
            "archive (default: \"Sync\" in Settings.ini, else none)",
            SetsText(&DownloadOptions::syncTo)};
}

const OptionTable<DownloadOptions>& DownloadOptionTable() {
    using O = DownloadOptions;
    static const OptionTable<DownloadOptions> kTable = {
        PipeOption(),
        PortOption(),
        PortsOption(),
        HelpNote<O>("", "The links are used in the order given, each once. Without --pipe,\n"
                        "--port and --ports: the pipe \"RAK Pipe\", then the port\n"
                        "remembered in Settings.ini in the working directory."),
        {{"--dump", nullptr, Takes::Value, "a file name", nullptr},
         "FILE",
         "where the dump goes (default FlashData.txt)",
         SetsText(&O::dumpPath)},
        {{"--out", nullptr, Takes::Value, "a folder", nullptr},
         "DIR",
         "where the reports go (default: the working directory; made when\n"
         "missing)",
         SetsText(&O::outDir)},
        {{"--sessions", nullptr, Takes::Value, "all, alarm, cal or alarm,cal", AcceptsSessionBoxes},
         "LIST",
         "which sessions the tree lists and so which are downloaded: all,\n"
         "alarm, cal or alarm,cal, like the program's session boxes\n"
         "(default all)",
         [](O& options, const OptionUse& use) { ParseSessionBoxes(use.value, options.boxes); }},
        {{"--slot", nullptr, Takes::Values, "a slot number from 0 to 499", AcceptsSlot},
         "N ...",
         "only these slots, one report each, whatever the tree lists",
         [](O& options, const OptionUse& use) {
             int16_t slot = 0;
             std::string unused;
             if (ParseSlot(use.value.c_str(), slot, unused)) {
                 AddOnce(options.sessionSlots, slot);
             }
         }},
        {{"--day", nullptr, Takes::Values, "a date written YYYY-MM-DD", AcceptsIsoDate},
         "YYYY-MM-DD ...",
         "only these days",
         [](O& options, const OptionUse& use) { AddOnce(options.days, use.value); }},
        AlsoSetting(ModeNamesOption(&O::modeNames,
                                    "up to four comma-separated mode names that replace the\n"
                                    "instrument's ('[' and ']' become the bytes 0xE9 and 0xEA)"),
                    SetsFlag(&O::modeNamesGiven)),
        GraphOption(&O::graph),
        ExportOption(),
        FastOption(),
        PlotOption(),
        MapOption(),
        {{"--quiet", "-q", Takes::Nothing, "", nullptr},
         "",
         "no progress bar (it is shown only when standard error is a\n"
         "terminal)",
         SetsFlag(&O::quiet)},
        {{"--no-archive", nullptr, Takes::Nothing, "", nullptr},
         "",
         "keep nothing in the archive (also \"Archive Downloads=FALSE\"\n"
         "in Settings.ini)",
         [](O& options, const OptionUse&) { options.archive = false; }},
        ArchiveOption(&O::archiveAt, "the archive to keep the sessions in, as for tavon-datalog\n"
                                     "archive (default: \"Archive\" in Settings.ini, else the\n"
                                     "program's own)"),
        SyncOption(),
        InstrumentOption(&O::instrumentName, "the name the archive gives this instrument"),
        {{"--all", nullptr, Takes::Nothing, "", nullptr},
         "",
         "upload also the sessions the archive holds complete",
         SetsFlag(&O::all)},
        {{"--new-only", nullptr, Takes::Nothing, "", nullptr},
         "",
         "report only the days that have a session the archive does not\n"
         "hold complete",
         SetsFlag(&O::newOnly)},
        HelpNote<O>("", "Sessions the archive holds complete are not uploaded again: a day\n"
                        "whose every session is held gets no report (archive render makes\n"
                        "it); the tree marks them \"archived\"."),
    };
    return kTable;
}

bool ParseDownloadOptions(int argc, char** argv, DownloadOptions& options, std::string& message) {
    std::vector<std::string> positional;
    if (!ParseOptions(std::vector<std::string>(argv, argv + std::max(argc, 0)),
                      DownloadOptionTable(), "download", false, options, positional, message)) {
        return false;
    }
    if (!positional.empty()) {
        message = "download: unexpected argument \"" + positional[0] + "\"";
        return false;
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
