#include "cli/ArchiveOptions.h"

#include <cerrno>
#include <cstdlib>
#include <iterator>

#include "download/CommandArguments.h"
#include "download/SharedOptions.h"
#include "download/TextArgument.h"

const OptionSpec kTrustedKeysSpec = {"--trusted-keys", nullptr, OptionSpec::Takes::Value,
                                     "a file name", nullptr};
const char kTrustedKeysHelp[] = "a list of trusted keys for this run (one fingerprint a line),\n"
                                "added to this user's (archive keys --trust writes it) and the\n"
                                "system-wide one (/etc/tavon-datalogging/trusted-keys, on\n"
                                "Windows in %ProgramData%; TAVON_SYSTEM_TRUSTED_KEYS names\n"
                                "another, for tests only); may be given more than once";

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

// What a search row sets, and that a search was given.
template <typename Options> OptionSetter<Options> SearchText(std::string ArchiveSearch::*field) {
    return [field](Options& options, const OptionUse& use) {
        ArchiveSearch& search = options;
        search.*field = use.value;
        search.given = true;
    };
}
template <typename Options> OptionSetter<Options> SearchFlag(bool ArchiveSearch::*field) {
    return [field](Options& options, const OptionUse&) {
        ArchiveSearch& search = options;
        search.*field = true;
        search.given = true;
    };
}

// The rows of the archive's search, the same in every command that searches.
template <typename Options> OptionTable<Options> SearchOptions() {
    using S = ArchiveSearch;
    return {
        {kFromSpec, "YYYY-MM-DD", "only sessions on this day or later",
         SearchText<Options>(&S::from)},
        {kToSpec, "YYYY-MM-DD", "only dated sessions on this day or earlier",
         SearchText<Options>(&S::to)},
        {kJobSpec, "TEXT", "only sessions with a job number that contains TEXT (any case)",
         SearchText<Options>(&S::job)},
        {kUserSpec, "TEXT", "only sessions with a user whose name contains TEXT (any case)",
         SearchText<Options>(&S::user)},
        {{"--alarm", nullptr, Takes::Nothing, "", nullptr},
         "",
         "only sessions with an alarm",
         SearchFlag<Options>(&S::alarmOnly)},
        {{"--cal", nullptr, Takes::Nothing, "", nullptr},
         "",
         "only sessions with a calibration",
         SearchFlag<Options>(&S::calibrationOnly)},
        {kInstrumentSpec, "NAME",
         "only the sessions of the instrument with this name or\n"
         "fingerprint",
         SearchText<Options>(&S::instrument)},
    };
}

// The line before the search's rows where they stand instead of ids.
template <typename Options> Option<Options> SearchNote() {
    return HelpNote<Options>("ID... | SEARCH",
                             "the sessions with these ids, in the order given, or\n"
                             "those the options below keep, in time order\n"
                             "(as the listing's search keeps them)");
}

template <typename Options>
OptionTable<Options> Joined(OptionTable<Options> first, const OptionTable<Options>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// The sessions of archive map and survey: ids, or the search, not both and not neither.
bool TakeIdsOrSearch(const std::vector<std::string>& positional, const char* command,
                     const ArchiveSearch& search, std::vector<long long>& ids,
                     std::string& message) {
    if (positional.empty()) {
        if (!search.given) {
            message = std::string(command) + " needs session ids or a search (--from, --to, " +
                      "--job, --user, --alarm, --cal, --instrument)";
            return false;
        }
        return true;
    }
    if (search.given) {
        message = std::string(command) + " takes session ids or a search, not both";
        return false;
    }
    return ParseIds(positional, command, ids, message);
}

} // namespace

const OptionTable<ArchiveImportOptions>& ArchiveImportOptionTable() {
    using O = ArchiveImportOptions;
    static const OptionTable<O> kTable = {
        ArchiveOption(&O::archiveAt),
        InstrumentOption(&O::instrument, "the instrument every dump's sessions are filed under\n"
                                         "(default: each dump's own, found by the sessions it\n"
                                         "shares, else a new one named after its file)"),
    };
    return kTable;
}

const OptionTable<ArchiveListOptions>& ArchiveListOptionTable() {
    using O = ArchiveListOptions;
    static const OptionTable<O> kTable =
        Joined(Joined<O>({ArchiveOption(&O::archiveAt)}, SearchOptions<O>()),
               {{{"--format", nullptr, Takes::Value, "text, csv or json", AcceptsListFormat},
                 "FORMAT",
                 "text (default), csv (RFC 4180, a header line and the summary's\n"
                 "columns: alarms, peaks, calibrations, bumps, GPS) or json (one\n"
                 "array, the same fields and when each session was first and last\n"
                 "seen)",
                 SetsText(&O::format)}});
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

const OptionTable<ArchiveMapOptions>& ArchiveMapOptionTable() {
    using O = ArchiveMapOptions;
    static const OptionTable<O> kTable =
        Joined<O>({ArchiveOption(&O::archiveAt),
                   OutputOption(&O::output, "the file to write: FILE.png, or FILE.pdf (one page)"),
                   SizeOption(&O::width, &O::height,
                              "the map's size in pixels (points in a PDF); default\n"
                              "1600x1000"),
                   TilesOption(&O::tiles, "an MBTiles file to draw the map on, as map takes it"),
                   GasOption(&O::gas, "the gas the positions are coloured by, as map takes it"),
                   HideOption(&O::filter, "leave out alarm, manual or timed readings, as map does"),
                   SearchNote<O>()},
                  SearchOptions<O>());
    return kTable;
}

const OptionTable<ArchiveSurveyOptions>& ArchiveSurveyOptionTable() {
    using O = ArchiveSurveyOptions;
    static const OptionTable<O> kTable =
        Joined<O>({ArchiveOption(&O::archiveAt),
                   SurveyFormatOption(&O::format, "FORMAT",
                                      "text, csv or json, as for survey, with each session's\n"
                                      "register status at its switch-on (the tests made\n"
                                      "before it and its own counted, never a later one)"),
                   OutputOption(&O::output), SearchNote<O>()},
                  SearchOptions<O>());
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

bool ParseArchiveMapOptions(const std::vector<std::string>& args, ArchiveMapOptions& options,
                            std::string& message) {
    std::vector<std::string> positional;
    if (!ParseOptions(args, ArchiveMapOptionTable(), "archive map", true, options, positional,
                      message) ||
        !TakeIdsOrSearch(positional, "archive map", options, options.ids, message)) {
        return false;
    }
    if (ChartFormatOf(options.output).empty()) {
        message = "archive map needs -o FILE.png or -o FILE.pdf";
        return false;
    }
    return true;
}

bool ParseArchiveSurveyOptions(const std::vector<std::string>& args, ArchiveSurveyOptions& options,
                               std::string& message) {
    std::vector<std::string> positional;
    return ParseOptions(args, ArchiveSurveyOptionTable(), "archive survey", true, options,
                        positional, message) &&
           TakeIdsOrSearch(positional, "archive survey", options, options.ids, message);
}

namespace {

// A subcommand that takes --archive and nothing else.
bool ParseArchiveOnly(const std::vector<std::string>& args, const char* command,
                      ArchiveStatsOptions& options, std::string& message) {
    std::vector<std::string> positional;
    if (!ParseOptions(args, ArchiveStatsOptionTable(), command, false, options, positional,
                      message)) {
        return false;
    }
    if (!positional.empty()) {
        message = std::string(command) + " takes no arguments";
        return false;
    }
    return true;
}

} // namespace

bool ParseArchiveStatsOptions(const std::vector<std::string>& args, ArchiveStatsOptions& options,
                              std::string& message) {
    return ParseArchiveOnly(args, "archive stats", options, message);
}

bool ParseArchiveNewIdentityOptions(const std::vector<std::string>& args,
                                    ArchiveStatsOptions& options, std::string& message) {
    return ParseArchiveOnly(args, "archive new-identity", options, message);
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
    // Names as --instrument takes them: the new one is kept, the old one is looked up by.
    const char* const kWhich[] = {"the instrument's name ", "the new name "};
    for (size_t k = 0; k < 2; ++k) {
        QString name;
        std::string why;
        if (!ReadTextArgument(positional[k], name, why)) {
            message = std::string("archive rename-instrument: ") + kWhich[k] + why;
            return false;
        }
    }
    options.oldName = positional[0];
    options.newName = positional[1];
    return true;
}
