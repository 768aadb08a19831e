#include "cli/ArchiveOptions.h"

#include <cerrno>
#include <cstdlib>
#include <iterator>

#include "download/CommandLine.h"
#include "download/ExportOptions.h"
#include "download/OptionTable.h"
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

// Every archive subcommand's table starts with --archive.
enum { Location };

} // namespace

bool ParseArchiveImportOptions(const std::vector<std::string>& args, ArchiveImportOptions& options,
                               std::string& message) {
    static const OptionSpec kTable[] = {kArchiveOption, kInstrumentOption};
    ParsedArguments parsed;
    if (!ParseArguments(args, kTable, std::size(kTable), "archive import", false, parsed,
                        message)) {
        return false;
    }
    for (const OptionUse& use : parsed.options) {
        (IndexIn(kTable, use) == Location ? options.archiveAt : options.instrument) = use.value;
    }
    if (parsed.positional.empty()) {
        message = "archive import needs at least one dump";
        return false;
    }
    options.dumps = parsed.positional;
    return true;
}

bool ParseArchiveListOptions(const std::vector<std::string>& args, ArchiveListOptions& options,
                             std::string& message) {
    enum { From = Location + 1, To, Job, User, Alarm, Cal, Instrument, Format };
    static const OptionSpec kTable[] = {
        kArchiveOption,
        {"--from", nullptr, Takes::Value, "a date written YYYY-MM-DD", AcceptsIsoDate},
        {"--to", nullptr, Takes::Value, "a date written YYYY-MM-DD", AcceptsIsoDate},
        {"--job", nullptr, Takes::Value, "a part of a job number", nullptr},
        {"--user", nullptr, Takes::Value, "a part of a user's name", nullptr},
        {"--alarm", nullptr, Takes::Nothing, "", nullptr},
        {"--cal", nullptr, Takes::Nothing, "", nullptr},
        kInstrumentOption,
        {"--format", nullptr, Takes::Value, "text, csv or json", AcceptsListFormat},
    };
    ParsedArguments parsed;
    if (!ParseArguments(args, kTable, std::size(kTable), "archive list", false, parsed, message)) {
        return false;
    }
    for (const OptionUse& use : parsed.options) {
        switch (IndexIn(kTable, use)) {
        case Location:
            options.archiveAt = use.value;
            break;
        case From:
            options.from = use.value;
            break;
        case To:
            options.to = use.value;
            break;
        case Job:
            options.job = use.value;
            break;
        case User:
            options.user = use.value;
            break;
        case Alarm:
            options.alarmOnly = true;
            break;
        case Cal:
            options.calibrationOnly = true;
            break;
        case Instrument:
            options.instrument = use.value;
            break;
        case Format:
            options.format = use.value;
            break;
        default:
            break;
        }
    }
    if (!parsed.positional.empty()) {
        message = "archive list takes options only, not \"" + parsed.positional.front() + "\"";
        return false;
    }
    return true;
}

bool ParseArchiveRenderOptions(const std::vector<std::string>& args, ArchiveRenderOptions& options,
                               std::string& message) {
    enum { Graph = Location + 1, Output };
    static const OptionSpec kTable[] = {kArchiveOption, kGraphOption, kOutputOption};
    ParsedArguments parsed;
    if (!ParseArguments(args, kTable, std::size(kTable), "archive render", true, parsed, message)) {
        return false;
    }
    for (const OptionUse& use : parsed.options) {
        switch (IndexIn(kTable, use)) {
        case Location:
            options.archiveAt = use.value;
            break;
        case Graph:
            options.graph = true;
            break;
        default:
            options.output = use.value;
            break;
        }
    }
    return ParseIds(parsed.positional, "archive render", options.ids, message);
}

bool ParseArchiveExportOptions(const std::vector<std::string>& args, ArchiveExportOptions& options,
                               std::string& message) {
    enum { Format = Location + 1, Output };
    static const OptionSpec kTable[] = {kArchiveOption, kFormatOption, kOutputOption};
    ParsedArguments parsed;
    if (!ParseArguments(args, kTable, std::size(kTable), "archive export", true, parsed, message)) {
        return false;
    }
    bool formatGiven = false;
    for (const OptionUse& use : parsed.options) {
        switch (IndexIn(kTable, use)) {
        case Location:
            options.archiveAt = use.value;
            break;
        case Format: {
            std::vector<ExportFormat> formats;
            std::string unused;
            if (ParseExportFormats(use.value, formats, unused) && !formats.empty()) {
                options.format = formats.front();
                formatGiven = true;
            }
            break;
        }
        default:
            options.output = use.value;
            break;
        }
    }
    if (!ParseIds(parsed.positional, "archive export", options.ids, message)) {
        return false;
    }
    if (!formatGiven) {
        message = "archive export needs --format csv, geojson or gpx";
        return false;
    }
    return true;
}

bool ParseArchivePlotOptions(const std::vector<std::string>& args, ArchivePlotOptions& options,
                             std::string& message) {
    enum { Output = Location + 1, Size, Hide };
    static const OptionSpec kTable[] = {kArchiveOption, kOutputOption, kSizeOption, kHideOption};
    ParsedArguments parsed;
    if (!ParseArguments(args, kTable, std::size(kTable), "archive plot", true, parsed, message)) {
        return false;
    }
    for (const OptionUse& use : parsed.options) {
        switch (IndexIn(kTable, use)) {
        case Location:
            options.archiveAt = use.value;
            break;
        case Output:
            options.output = use.value;
            break;
        case Size:
            ParseChartSize(use.value, options.width, options.height);
            break;
        default:
            ParseHideList(use.value, options.filter);
            break;
        }
    }
    if (!ParseIds(parsed.positional, "archive plot", options.ids, message)) {
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
    static const OptionSpec kTable[] = {kArchiveOption};
    ParsedArguments parsed;
    if (!ParseArguments(args, kTable, std::size(kTable), "archive stats", false, parsed, message)) {
        return false;
    }
    for (const OptionUse& use : parsed.options) {
        options.archiveAt = use.value;
    }
    if (!parsed.positional.empty()) {
        message = "archive stats takes no arguments";
        return false;
    }
    return true;
}

bool ParseArchiveRenameOptions(const std::vector<std::string>& args, ArchiveRenameOptions& options,
                               std::string& message) {
    static const OptionSpec kTable[] = {kArchiveOption};
    ParsedArguments parsed;
    if (!ParseArguments(args, kTable, std::size(kTable), "archive rename-instrument", false, parsed,
                        message)) {
        return false;
    }
    for (const OptionUse& use : parsed.options) {
        options.archiveAt = use.value;
    }
    if (parsed.positional.size() != 2) {
        message = "archive rename-instrument takes the instrument's name and its new one";
        return false;
    }
    options.oldName = parsed.positional[0];
    options.newName = parsed.positional[1];
    return true;
}
