#include "cli/ArchiveOptions.h"

#include <cerrno>
#include <cstdlib>
#include <iterator>

#include "download/CommandLine.h"
#include "download/SharedOptions.h"

namespace {

using Takes = OptionSpec::Takes;

// Session ids as the archive numbers them: 1 and up, decimal digits only.
bool ParseIds(const std::vector<std::string>& words, const char* command,
              std::vector<long long>& ids, std::string& message) {
    for (const std::string& word : words) {
        errno = 0;
        char* end = nullptr;
        const long long id = std::strtoll(word.c_str(), &end, 10);
        if (word.empty() || word.find_first_not_of("0123456789") != std::string::npos ||
            errno == ERANGE || *end != '\0' || id <= 0) {
            message = std::string(command) + " takes session ids, not \"" + word + "\"";
            return false;
        }
        ids.push_back(id);
    }
    if (ids.empty()) {
        message = std::string(command) + " needs at least one session id";
        return false;
    }
    return true;
}

bool AcceptsListFormat(const std::string& value) {
    return value == "text" || value == "csv" || value == "json";
}

} // namespace

const OptionTable<ArchiveImportOptions>& ArchiveImportOptionTable() {
    using O = ArchiveImportOptions;
    static const OptionTable<O> kTable = {
        ArchiveOption(&O::archiveAt),
        InstrumentOption(&O::instrument, "the instrument the sessions are filed under (default\n"
                                         "\"imported\")"),
    };
    return kTable;
}

const OptionTable<ArchiveListOptions>& ArchiveListOptionTable() {
    using O = ArchiveListOptions;
    static const OptionTable<O> kTable = {
        ArchiveOption(&O::archiveAt),
        {kFromSpec, "YYYY-MM-DD", "only sessions on this day or later", SetsText(&O::from)},
        {kToSpec, "YYYY-MM-DD", "only dated sessions on this day or earlier", SetsText(&O::to)},
        {kJobSpec, "TEXT", "only sessions with a job number that contains TEXT (any case)",
         SetsText(&O::job)},
        {kUserSpec, "TEXT", "only sessions with a user whose name contains TEXT (any case)",
         SetsText(&O::user)},
        {{"--alarm", nullptr, Takes::Nothing, "", nullptr},
         "",
         "only sessions with an alarm",
         SetsFlag(&O::alarmOnly)},
        {{"--cal", nullptr, Takes::Nothing, "", nullptr},
         "",
         "only sessions with a calibration",
         SetsFlag(&O::calibrationOnly)},
        InstrumentOption(&O::instrument, "only the sessions of the instrument with this name or\n"
                                         "fingerprint"),
        {{"--format", nullptr, Takes::Value, "text, csv or json", AcceptsListFormat},
         "FORMAT",
         "text (default), csv (RFC 4180, a header line and the summary's\n"
         "columns: alarms, peaks, calibrations, bumps, GPS) or json (one\n"
         "array, the same fields and when each session was first and last\n"
         "seen)",
         SetsText(&O::format)},
    };
    return kTable;
}

const OptionTable<ArchiveRenderOptions>& ArchiveRenderOptionTable() {
    using O = ArchiveRenderOptions;
    static const OptionTable<O> kTable = {
        ArchiveOption(&O::archiveAt),
        GraphOption(&O::graph),
        OutputOption(&O::output, "write the report to FILE instead of standard output"),
    };
    return kTable;
}

const OptionTable<ArchiveExportOptions>& ArchiveExportOptionTable() {
    using O = ArchiveExportOptions;
    static const OptionTable<O> kTable = {
        ArchiveOption(&O::archiveAt),
        FormatOption(&O::format, "FORMAT", "csv, geojson or gpx, as for export"),
        OutputOption(&O::output),
    };
    return kTable;
}

const OptionTable<ArchivePlotOptions>& ArchivePlotOptionTable() {
    using O = ArchivePlotOptions;
    static const OptionTable<O> kTable = {
        ArchiveOption(&O::archiveAt),
        OutputOption(&O::output, "the file to write: FILE.pdf or FILE.png"),
        SizeOption(&O::width, &O::height, "the chart's size in pixels; default 1600x1000"),
        HideOption(&O::filter, "leave out alarm, manual or timed readings, calibration or bump\n"
                               "tests, as plot does"),
    };
    return kTable;
}

const OptionTable<ArchiveStatsOptions>& ArchiveStatsOptionTable() {
    static const OptionTable<ArchiveStatsOptions> kTable = {
        ArchiveOption(&ArchiveStatsOptions::archiveAt),
    };
    return kTable;
}

const OptionTable<ArchiveRenameOptions>& ArchiveRenameOptionTable() {
    static const OptionTable<ArchiveRenameOptions> kTable = {
        ArchiveOption(&ArchiveRenameOptions::archiveAt),
    };
    return kTable;
}

const OptionTable<ArchiveSyncOptions>& ArchiveSyncOptionTable() {
    using O = ArchiveSyncOptions;
    static const OptionSpec kSyncFrom = {"--from", nullptr, Takes::Value,
                                         "a SQLite file or postgresql://user@host[:port]/database",
                                         nullptr};
    static const OptionSpec kSyncTo = {"--to", nullptr, Takes::Value,
                                       "a SQLite file or postgresql://user@host[:port]/database",
                                       nullptr};
    static const OptionTable<O> kTable = {
        ArchiveOption(&O::to),
        {kSyncFrom, kArchivePlaceholder,
         "the archive to take from (a SQLite file or postgresql://...,\n"
         "as --archive); it gets a row in its history naming this one",
         SetsText(&O::from)},
        {kSyncTo, kArchivePlaceholder,
         "the archive to take into, as --archive; default: the archive in\n"
         "use (Archive in Settings.ini, else the program's own)",
         SetsText(&O::to)},
    };
    return kTable;
}

bool ParseArchiveSyncOptions(const std::vector<std::string>& args, ArchiveSyncOptions& options,
                             std::string& message) {
    std::vector<std::string> positional;
    if (!ParseOptions(args, ArchiveSyncOptionTable(), "archive sync", false, options, positional,
                      message)) {
        return false;
    }
    if (!positional.empty()) {
        message = "archive sync takes options only, not \"" + positional.front() + "\"";
        return false;
    }
    if (options.from.empty()) {
        message = "archive sync needs --from LOCATION";
        return false;
    }
    return true;
}

bool ParseArchiveImportOptions(const std::vector<std::string>& args, ArchiveImportOptions& options,
                               std::string& message) {
    std::vector<std::string> positional;
    if (!ParseOptions(args, ArchiveImportOptionTable(), "archive import", false, options,
                      positional, message)) {
        return false;
    }
    if (positional.empty()) {
        message = "archive import needs at least one dump";
        return false;
    }
    options.dumps = positional;
    return true;
}

bool ParseArchiveListOptions(const std::vector<std::string>& args, ArchiveListOptions& options,
                             std::string& message) {
    std::vector<std::string> positional;
    if (!ParseOptions(args, ArchiveListOptionTable(), "archive list", false, options, positional,
                      message)) {
        return false;
    }
    if (!positional.empty()) {
        message = "archive list takes options only, not \"" + positional.front() + "\"";
        return false;
    }
    return true;
}

bool ParseArchiveRenderOptions(const std::vector<std::string>& args, ArchiveRenderOptions& options,
                               std::string& message) {
    std::vector<std::string> positional;
    return ParseOptions(args, ArchiveRenderOptionTable(), "archive render", true, options,
                        positional, message) &&
           ParseIds(positional, "archive render", options.ids, message);
}

bool ParseArchiveExportOptions(const std::vector<std::string>& args, ArchiveExportOptions& options,
                               std::string& message) {
    std::vector<std::string> positional;
    if (!ParseOptions(args, ArchiveExportOptionTable(), "archive export", true, options, positional,
                      message) ||
        !ParseIds(positional, "archive export", options.ids, message)) {
        return false;
    }
    if (!options.format) {
        message = "archive export needs --format csv, geojson or gpx";
        return false;
    }
    return true;
}

bool ParseArchivePlotOptions(const std::vector<std::string>& args, ArchivePlotOptions& options,
                             std::string& message) {
    std::vector<std::string> positional;
    if (!ParseOptions(args, ArchivePlotOptionTable(), "archive plot", true, options, positional,
                      message) ||
        !ParseIds(positional, "archive plot", options.ids, message)) {
        return false;
    }
    if (ChartFormatOf(options.output).empty()) {
        message = "archive plot needs -o FILE.pdf or -o FILE.png";
        return false;
    }
    return true;
}

bool ParseArchiveStatsOptions(const std::vector<std::string>& args, ArchiveStatsOptions& options,
                              std::string& message) {
    std::vector<std::string> positional;
    if (!ParseOptions(args, ArchiveStatsOptionTable(), "archive stats", false, options, positional,
                      message)) {
        return false;
    }
    if (!positional.empty()) {
        message = "archive stats takes no arguments";
        return false;
    }
    return true;
}

bool ParseArchiveRenameOptions(const std::vector<std::string>& args, ArchiveRenameOptions& options,
                               std::string& message) {
    std::vector<std::string> positional;
    if (!ParseOptions(args, ArchiveRenameOptionTable(), "archive rename-instrument", false, options,
                      positional, message)) {
        return false;
    }
    if (positional.size() != 2) {
        message = "archive rename-instrument takes the instrument's name and its new one";
        return false;
    }
    options.oldName = positional[0];
    options.newName = positional[1];
    return true;
}
