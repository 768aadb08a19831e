#include "cli/ComplianceOptions.h"

#include <iterator>

#include "download/OptionTable.h"
#include "download/SharedOptions.h"

namespace {

using Takes = OptionSpec::Takes;

const char* const kKinds[] = {"bump",      "calibration", "zero", "field-calibration",
                              "soundness", "filter"};

bool AcceptsKinds(const std::string& value) {
    size_t at = 0;
    while (at <= value.size()) {
        const size_t end = value.find(',', at);
        const std::string word = value.substr(at, end == std::string::npos ? end : end - at);
        bool known = false;
        for (const char* kind : kKinds) {
            known = known || word == kind;
        }
        if (!known) {
            return false;
        }
        if (end == std::string::npos) {
            break;
        }
        at = end + 1;
    }
    return true;
}

bool AcceptsResult(const std::string& value) {
    return value == "pass" || value == "fail" || value == "not-tested" || value == "none";
}

bool AcceptsComplianceFormat(const std::string& value) {
    return value == "text" || value == "csv" || value == "json" || value == "pdf";
}

bool AcceptsEventsFormat(const std::string& value) {
    return value == "text" || value == "csv" || value == "json";
}

// Whole days from 1 to ten years.
bool AcceptsDays(const std::string& value) {
    if (value.empty() || value.size() > 4 ||
        value.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const int days = std::stoi(value);
    return days >= 1 && days <= 3650;
}

bool AcceptsWarningDays(const std::string& value) {
    return value == "0" || AcceptsDays(value);
}

std::vector<std::string> Split(const std::string& value) {
    std::vector<std::string> words;
    size_t at = 0;
    for (;;) {
        const size_t end = value.find(',', at);
        words.push_back(value.substr(at, end == std::string::npos ? end : end - at));
        if (end == std::string::npos) {
            return words;
        }
        at = end + 1;
    }
}

bool NoWords(const ParsedArguments& parsed, const char* command, std::string& message) {
    if (parsed.positional.empty()) {
        return true;
    }
    message =
        std::string(command) + " takes options only, not \"" + parsed.positional.front() + "\"";
    return false;
}

enum { Location };

} // namespace

bool ParseArchiveComplianceOptions(const std::vector<std::string>& args,
                                   ArchiveComplianceOptions& options, std::string& message) {
    enum { At = Location + 1, Instrument, Format, Output };
    static const OptionSpec kTable[] = {
        kArchiveOption,
        {"--at", nullptr, Takes::Value, "a date written YYYY-MM-DD", AcceptsIsoDate},
        kInstrumentOption,
        {"--format", nullptr, Takes::Value, "text, csv, json or pdf", AcceptsComplianceFormat},
        kOutputOption,
    };
    ParsedArguments parsed;
    const char* command = "archive compliance";
    if (!ParseArguments(args, kTable, std::size(kTable), command, false, parsed, message)) {
        return false;
    }
    for (const OptionUse& use : parsed.options) {
        switch (IndexIn(kTable, use)) {
        case Location:
            options.archiveAt = use.value;
            break;
        case At:
            options.at = use.value;
            break;
        case Instrument:
            options.instrument = use.value;
            break;
        case Format:
            options.format = use.value;
            break;
        default:
            options.output = use.value;
            break;
        }
    }
    if (!NoWords(parsed, command, message)) {
        return false;
    }
    if (options.format == "pdf" && options.output.empty()) {
        message = "archive compliance --format pdf needs -o FILE";
        return false;
    }
    return true;
}

bool ParseArchiveEventsOptions(const std::vector<std::string>& args, ArchiveEventsOptions& options,
                               std::string& message) {
    enum { Kind = Location + 1, Result, From, To, Instrument, User, Job, Format, Output };
    static const OptionSpec kTable[] = {
        kArchiveOption,
        {"--kind", nullptr, Takes::Value,
         "a list of bump, calibration, zero, field-calibration, soundness and filter",
         AcceptsKinds},
        {"--result", nullptr, Takes::Value, "pass, fail, not-tested or none", AcceptsResult},
        {"--from", nullptr, Takes::Value, "a date written YYYY-MM-DD", AcceptsIsoDate},
        {"--to", nullptr, Takes::Value, "a date written YYYY-MM-DD", AcceptsIsoDate},
        kInstrumentOption,
        {"--user", nullptr, Takes::Value, "a part of a user's name", nullptr},
        {"--job", nullptr, Takes::Value, "a part of a job number", nullptr},
        {"--format", nullptr, Takes::Value, "text, csv or json", AcceptsEventsFormat},
        kOutputOption,
    };
    ParsedArguments parsed;
    const char* command = "archive events";
    if (!ParseArguments(args, kTable, std::size(kTable), command, false, parsed, message)) {
        return false;
    }
    for (const OptionUse& use : parsed.options) {
        switch (IndexIn(kTable, use)) {
        case Location:
            options.archiveAt = use.value;
            break;
        case Kind:
            for (const std::string& kind : Split(use.value)) {
                options.kinds.push_back(kind);
            }
            break;
        case Result:
            options.result = use.value;
            break;
        case From:
            options.from = use.value;
            break;
        case To:
            options.to = use.value;
            break;
        case Instrument:
            options.instrument = use.value;
            break;
        case User:
            options.user = use.value;
            break;
        case Job:
            options.job = use.value;
            break;
        case Format:
            options.format = use.value;
            break;
        default:
            options.output = use.value;
            break;
        }
    }
    return NoWords(parsed, command, message);
}

bool ParseArchiveIntervalOptions(const std::vector<std::string>& args,
                                 ArchiveIntervalOptions& options, std::string& message) {
    enum { Bump = Location + 1, Calibration, Warning, Instrument };
    static const OptionSpec kTable[] = {
        kArchiveOption,
        {"--bump-days", nullptr, Takes::Value, "a number of days from 1 to 3650", AcceptsDays},
        {"--cal-days", nullptr, Takes::Value, "a number of days from 1 to 3650", AcceptsDays},
        {"--warn-days", nullptr, Takes::Value, "a number of days from 0 to 3650",
         AcceptsWarningDays},
        kInstrumentOption,
    };
    ParsedArguments parsed;
    const char* command = "archive set-interval";
    if (!ParseArguments(args, kTable, std::size(kTable), command, false, parsed, message)) {
        return false;
    }
    for (const OptionUse& use : parsed.options) {
        switch (IndexIn(kTable, use)) {
        case Location:
            options.archiveAt = use.value;
            break;
        case Bump:
            options.bumpDays = std::stoi(use.value);
            break;
        case Calibration:
            options.calibrationDays = std::stoi(use.value);
            break;
        case Warning:
            options.warningDays = std::stoi(use.value);
            break;
        default:
            options.instrument = use.value;
            break;
        }
    }
    if (!NoWords(parsed, command, message)) {
        return false;
    }
    if (options.bumpDays == 0 && options.calibrationDays == 0 && options.warningDays < 0) {
        message = "archive set-interval needs --bump-days, --cal-days or --warn-days";
        return false;
    }
    return true;
}
