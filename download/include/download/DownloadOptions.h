#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/SessionTable.h"
#include "download/OptionTable.h"
#include "export/ExportFormat.h"

// One link to an instrument that a download was asked to use.
struct DownloadLink {
    enum class Kind {
        Pipe, // a companion pipe
        Port, // a serial port
    };
    Kind kind = Kind::Pipe;
    // The pipe's name ("RAK Pipe" when --pipe names none), or the port's device name as the port
    // list gives it, without "/dev/" ("ttyUSB0", "pts/3", "COM3").
    std::string name;
};

inline bool operator==(const DownloadLink& a, const DownloadLink& b) {
    return a.kind == b.kind && a.name == b.name;
}

// What `tavon-datalog download` was asked to do.
struct DownloadOptions {
    // The links of --pipe, --port and --ports, in the order given, each once. With none of them
    // and no --ports all, the default choice: the pipe "RAK Pipe", then the port remembered in
    // Settings.ini.
    std::vector<DownloadLink> links;
    bool allPorts = false; // --ports all: also every port the discovery lists with a known driver

    std::string dumpPath = "FlashData.txt";
    std::string outDir = ".";
    SessionBoxes boxes; // which sessions the tree lists, and so which days are downloaded

    std::vector<int16_t> sessionSlots; // one report per slot instead of one per day
    std::vector<std::string> days;     // only these days ("YYYY-MM-DD")
    bool modeNamesGiven = false;
    std::string modeNames[4];                // replace the instrument's, brackets already converted
    bool graph = false;                      // list barhole profiles whatever Settings.ini says
    bool quiet = false;                      // no progress bar
    std::vector<ExportFormat> exportFormats; // beside each report, the same sessions as these
    bool fast = false;                       // fast uploads whatever Settings.ini says
    std::string plot; // "pdf" or "png": the chart of each report's sessions beside it; empty: none
    std::string map;  // "pdf" or "png": the map of each report's sessions beside it; empty: none

    bool archive = true;        // keep the sessions in the archive (--no-archive)
    bool all = false;           // upload sessions the archive holds complete all the same
    bool newOnly = false;       // only the days with a session the archive does not hold complete
    std::string archiveAt;      // --archive: a SQLite file or postgresql://...; empty: default
    std::string instrumentName; // --instrument: the name the archive gives the instrument
    std::string syncTo; // --sync: the archive synced into after each download; empty: "Sync"
};

// The options of download, each with its setter and its line in download's --help.
const OptionTable<DownloadOptions>& DownloadOptionTable();

// The options the watcher takes as download does, for its table: the links (--pipe [NAME] and
// --port DEVICE, each repeatable; --ports all|DEVICE...), --export, --plot and --fast.
Option<DownloadOptions> PipeOption();
Option<DownloadOptions> PortOption();
Option<DownloadOptions> PortsOption();
Option<DownloadOptions> ExportOption();
Option<DownloadOptions> PlotOption();
Option<DownloadOptions> MapOption();
Option<DownloadOptions> FastOption();
Option<DownloadOptions> SyncOption();

// Parses the arguments that follow "download". Returns true, or false with a message for the
// user (the caller adds the pointer to --help).
bool ParseDownloadOptions(int argc, char** argv, DownloadOptions& options, std::string& message);

// True when text is a calendar date written YYYY-MM-DD.
bool IsIsoDate(const std::string& text);
