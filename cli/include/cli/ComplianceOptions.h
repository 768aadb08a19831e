#pragma once

#include <string>
#include <vector>

#include "download/OptionTable.h"

// What `tavon-datalog archive compliance`, `archive events` and `archive set-interval` were
// asked to do. `archiveAt` is --archive (empty: the program's own archive); dates are YYYY-MM-DD.

struct ArchiveComplianceOptions {
    std::string archiveAt;
    std::string at;                       // empty: today
    std::string instrument;               // empty: every instrument
    std::string format = "text";          // text, csv, json or pdf
    std::string output;                   // empty: standard output (required for pdf)
    std::vector<std::string> trustedKeys; // pdf: more lists for verify's verdict in the pack
};

struct ArchiveEventsOptions {
    std::string archiveAt;
    std::vector<std::string> kinds; // bump, calibration, zero, field-calibration, soundness, filter
    std::string result;             // pass, fail, not-tested or none; empty: any
    std::string from;
    std::string to;
    std::string instrument;
    std::string user;
    std::string job;
    std::string format = "text"; // text, csv or json
    std::string output;          // empty: standard output
};

struct ArchiveIntervalOptions {
    std::string archiveAt;
    std::string instrument; // empty: the archive's own intervals
    int bumpDays = 0;       // 0: not given
    int calibrationDays = 0;
    int warningDays = -1; // -1: not given
};

// Their options, each with its setter and its line in the subcommand's --help.
const OptionTable<ArchiveComplianceOptions>& ArchiveComplianceOptionTable();
const OptionTable<ArchiveEventsOptions>& ArchiveEventsOptionTable();
const OptionTable<ArchiveIntervalOptions>& ArchiveIntervalOptionTable();

// Parse the words after the subcommand's name; false with a message for the user.
bool ParseArchiveComplianceOptions(const std::vector<std::string>& args,
                                   ArchiveComplianceOptions& options, std::string& message);
bool ParseArchiveEventsOptions(const std::vector<std::string>& args, ArchiveEventsOptions& options,
                               std::string& message);
bool ParseArchiveIntervalOptions(const std::vector<std::string>& args,
                                 ArchiveIntervalOptions& options, std::string& message);
