#include "cli/ComplianceOptions.h"

#include <iterator>

#include "cli/ArchiveOptions.h"
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

bool NoWords(const std::vector<std::string>& positional, const char* command,
             std::string& message) {
    if (positional.empty()) {
        return true;
    }
    message = std::string(command) + " takes options only, not \"" + positional.front() + "\"";
    return false;
}

OptionSetter<ArchiveIntervalOptions> SetsDays(int ArchiveIntervalOptions::*days) {
    return [days](ArchiveIntervalOptions& options, const OptionUse& use) {
        options.*days = std::stoi(use.value);
    };
}

} // namespace

const OptionTable<ArchiveComplianceOptions>& ArchiveComplianceOptionTable() {
    using O = ArchiveComplianceOptions;
    static const OptionTable<O> kTable = {
        ArchiveOption(&O::archiveAt),
        {{"--at", nullptr, Takes::Value, "a date written YYYY-MM-DD", AcceptsIsoDate},
         "YYYY-MM-DD",
         "the status at the end of this day, from the tests up to it\n"
         "(default: today)",
         SetsText(&O::at)},
        InstrumentOption(&O::instrument, "only the instrument with this name, serial number or\n"
                                         "fingerprint"),
        {{"--format", nullptr, Takes::Value, "text, csv, json or pdf", AcceptsComplianceFormat},
         "FORMAT",
         "text (default, a table), csv (RFC 4180, a header line), json\n"
         "(an array of objects with the same keys) or pdf (the\n"
         "compliance pack, A4; needs -o)",
         SetsText(&O::format)},
        OutputOption(&O::output),
        TrustedKeysOption(&O::trustedKeys),
    };
    return kTable;
}

const OptionTable<ArchiveEventsOptions>& ArchiveEventsOptionTable() {
    using O = ArchiveEventsOptions;
    static const OptionTable<O> kTable = {
        ArchiveOption(&O::archiveAt),
        {{"--kind", nullptr, Takes::Value,
          "a list of bump, calibration, zero, field-calibration, soundness and filter",
          AcceptsKinds},
         "LIST",
         "only these kinds: bump, calibration, zero, field-calibration,\n"
         "soundness, filter (comma-separated)",
         [](O& options, const OptionUse& use) {
             for (const std::string& kind : Split(use.value)) {
                 options.kinds.push_back(kind);
             }
         }},
        {{"--result", nullptr, Takes::Value, "pass, fail, not-tested or none", AcceptsResult},
         "RESULT",
         "only tests with this result (none: the record carries none)",
         SetsText(&O::result)},
        {kFromSpec, "YYYY-MM-DD", "only tests on this day or later", SetsText(&O::from)},
        {kToSpec, "YYYY-MM-DD", "only tests on this day or earlier", SetsText(&O::to)},
        InstrumentOption(&O::instrument, "only the tests of this instrument"),
        {kUserSpec, "TEXT", "only tests by a user whose name contains TEXT (any case)",
         SetsText(&O::user)},
        {kJobSpec, "TEXT", "only tests under a job number that contains TEXT (any case)",
         SetsText(&O::job)},
        {{"--format", nullptr, Takes::Value, "text, csv or json", AcceptsEventsFormat},
         "FORMAT",
         "text (default), csv or json",
         SetsText(&O::format)},
        OutputOption(&O::output),
    };
    return kTable;
}

const OptionTable<ArchiveIntervalOptions>& ArchiveIntervalOptionTable() {
    using O = ArchiveIntervalOptions;
    static const OptionTable<O> kTable = {
        ArchiveOption(&O::archiveAt),
        {{"--bump-days", nullptr, Takes::Value, "a number of days from 1 to 3650", AcceptsDays},
         "N",
         "days from one bump test to the next (1 to 3650)",
         SetsDays(&O::bumpDays)},
        {{"--cal-days", nullptr, Takes::Value, "a number of days from 1 to 3650", AcceptsDays},
         "N",
         "days from one calibration to the next (1 to 3650)",
         SetsDays(&O::calibrationDays)},
        {{"--warn-days", nullptr, Takes::Value, "a number of days from 0 to 3650",
          AcceptsWarningDays},
         "N",
         "days before a calibration's day that it is due (0 to 3650)",
         SetsDays(&O::warningDays)},
        InstrumentOption(&O::instrument, "this instrument's own, instead of the archive's"),
    };
    return kTable;
}

bool ParseArchiveComplianceOptions(const std::vector<std::string>& args,
                                   ArchiveComplianceOptions& options, std::string& message) {
    const char* command = "archive compliance";
    std::vector<std::string> positional;
    if (!ParseOptions(args, ArchiveComplianceOptionTable(), command, false, options, positional,
                      message) ||
        !NoWords(positional, command, message)) {
        return false;
    }
    if (options.format == "pdf" && options.output.empty()) {
        message = "archive compliance --format pdf needs -o FILE";
        return false;
    }
    // Only the pack gives verify's verdict.
    if (options.format != "pdf" && !options.trustedKeys.empty()) {
        message = "archive compliance: --trusted-keys goes with --format pdf";
        return false;
    }
    return true;
}

bool ParseArchiveEventsOptions(const std::vector<std::string>& args, ArchiveEventsOptions& options,
                               std::string& message) {
    const char* command = "archive events";
    std::vector<std::string> positional;
    return ParseOptions(args, ArchiveEventsOptionTable(), command, false, options, positional,
                        message) &&
           NoWords(positional, command, message);
}

bool ParseArchiveIntervalOptions(const std::vector<std::string>& args,
                                 ArchiveIntervalOptions& options, std::string& message) {
    const char* command = "archive set-interval";
    std::vector<std::string> positional;
    if (!ParseOptions(args, ArchiveIntervalOptionTable(), command, false, options, positional,
                      message) ||
        !NoWords(positional, command, message)) {
        return false;
    }
    if (options.bumpDays == 0 && options.calibrationDays == 0 && options.warningDays < 0) {
        message = "archive set-interval needs --bump-days, --cal-days or --warn-days";
        return false;
    }
    return true;
}
