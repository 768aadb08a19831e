#pragma once

#include <optional>
#include <string>
#include <vector>

#include "download/OfflineOptions.h"
#include "download/OptionTable.h"
#include "export/ExportFormat.h"
#include "report/SessionValues.h"

// What each `tavon-datalog archive` subcommand was asked to do. `archiveAt` is --archive: a
// SQLite file or postgresql://...; empty: the program's own archive.

struct ArchiveImportOptions {
    std::string archiveAt;
    // The name the dumps' sessions are filed under; empty: each dump under the instrument whose
    // sessions it shares, else under a new one named after its file.
    std::string instrument;
    std::vector<std::string> dumps;
};

// The archive's search, as archive list, map and survey take it.
struct ArchiveSearch {
    std::string from; // YYYY-MM-DD; empty: no bound
    std::string to;
    std::string job;  // part of a job number; empty: any
    std::string user; // part of a user's name; empty: any
    bool alarmOnly = false;
    bool calibrationOnly = false;
    std::string instrument; // its name or fingerprint; empty: any
    bool given = false;     // any of these was given
};

struct ArchiveListOptions : ArchiveSearch {
    std::string archiveAt;
    std::string format = "text"; // text, csv or json
};

struct ArchiveRenderOptions {
    std::string archiveAt;
    std::vector<long long> ids; // in the order given
    bool graph = false;         // list barhole profiles whatever Settings.ini says
    std::string output;         // empty: standard output
};

struct ArchiveExportOptions {
    std::string archiveAt;
    std::vector<long long> ids;
    std::optional<ExportFormat> format; // required
    std::string output;                 // empty: standard output
};

struct ArchivePlotOptions {
    std::string archiveAt;
    std::vector<long long> ids;
    std::string output; // FILE.pdf or FILE.png
    int width = kChartWidth;
    int height = kChartHeight;
    LogFilter filter;
};

// archive map and archive survey take the sessions by id, in the order given, or by the search,
// in time order: one or the other.
struct ArchiveMapOptions : ArchiveSearch {
    std::string archiveAt;
    std::vector<long long> ids;
    std::string output; // FILE.pdf or FILE.png
    int width = kChartWidth;
    int height = kChartHeight;
    std::string tiles; // an MBTiles file; empty: the grid
    std::string gas;   // empty: the first read at a place
    LogFilter filter;
};

struct ArchiveSurveyOptions : ArchiveSearch {
    std::string archiveAt;
    std::vector<long long> ids;
    SurveyFormat format = SurveyFormat::Text;
    std::string output; // empty: standard output
};

struct ArchiveStatsOptions {
    std::string archiveAt;
};

struct ArchiveRenameOptions {
    std::string archiveAt;
    std::string oldName;
    std::string newName;
};

struct ArchiveSyncOptions {
    std::string from; // the archive whose sessions are taken: required
    std::string to;   // the archive they go into; empty: the archive in use
};

// Their options, each with its setter and its line in the subcommand's --help (--archive is
// described once for all of them).
const OptionTable<ArchiveImportOptions>& ArchiveImportOptionTable();
const OptionTable<ArchiveListOptions>& ArchiveListOptionTable();
const OptionTable<ArchiveRenderOptions>& ArchiveRenderOptionTable();
const OptionTable<ArchiveExportOptions>& ArchiveExportOptionTable();
const OptionTable<ArchivePlotOptions>& ArchivePlotOptionTable();
const OptionTable<ArchiveMapOptions>& ArchiveMapOptionTable();
const OptionTable<ArchiveSurveyOptions>& ArchiveSurveyOptionTable();
const OptionTable<ArchiveStatsOptions>& ArchiveStatsOptionTable();
const OptionTable<ArchiveRenameOptions>& ArchiveRenameOptionTable();
const OptionTable<ArchiveSyncOptions>& ArchiveSyncOptionTable();

// --trusted-keys FILE, as verify, keys and the compliance pack take it: one more list of trusted
// keys for this run, added to the user's and the system's (each use one more).
extern const OptionSpec kTrustedKeysSpec;
extern const char kTrustedKeysHelp[];
template <typename Options>
Option<Options> TrustedKeysOption(std::vector<std::string> Options::*files) {
    return {
        kTrustedKeysSpec, "FILE", kTrustedKeysHelp,
        [files](Options& options, const OptionUse& use) { (options.*files).push_back(use.value); }};
}

// Parse the words that follow the subcommand's name ("archive list ..."). Return true, or false
// with a message for the user (the caller adds the pointer to the subcommand's --help).
bool ParseArchiveImportOptions(const std::vector<std::string>& args, ArchiveImportOptions& options,
                               std::string& message);
bool ParseArchiveListOptions(const std::vector<std::string>& args, ArchiveListOptions& options,
                             std::string& message);
bool ParseArchiveRenderOptions(const std::vector<std::string>& args, ArchiveRenderOptions& options,
                               std::string& message);
bool ParseArchiveExportOptions(const std::vector<std::string>& args, ArchiveExportOptions& options,
                               std::string& message);
bool ParseArchivePlotOptions(const std::vector<std::string>& args, ArchivePlotOptions& options,
                             std::string& message);
bool ParseArchiveMapOptions(const std::vector<std::string>& args, ArchiveMapOptions& options,
                            std::string& message);
bool ParseArchiveSurveyOptions(const std::vector<std::string>& args, ArchiveSurveyOptions& options,
                               std::string& message);
bool ParseArchiveRenameOptions(const std::vector<std::string>& args, ArchiveRenameOptions& options,
                               std::string& message);
bool ParseArchiveSyncOptions(const std::vector<std::string>& args, ArchiveSyncOptions& options,
                             std::string& message);
bool ParseArchiveStatsOptions(const std::vector<std::string>& args, ArchiveStatsOptions& options,
                              std::string& message);
// archive new-identity: --archive alone, as stats.
bool ParseArchiveNewIdentityOptions(const std::vector<std::string>& args,
                                    ArchiveStatsOptions& options, std::string& message);
