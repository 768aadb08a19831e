#pragma once

#include <string>
#include <vector>

#include "download/DownloadOptions.h"
#include "download/OptionTable.h"

// What `tavon-datalog watch` was asked to do: Settings.ini's [Watch] keys, then the command line
// over them.
struct WatchOptions {
    // What each visit does with what it uploads: --export, --plot, --fast, --quiet, --archive.
    // Its links, output folder and dump are the watcher's.
    DownloadOptions download;
    std::string outTemplate; // --out; empty: Tavon/{instrument}/{date} in the documents folder
    bool pdf = false;        // each report also as PDF

    bool allPorts = false;          // --ports all: every port the discovery lists
    std::vector<std::string> ports; // --port and --ports: these devices, bare ("pts/3", "ttyUSB0")
    std::vector<std::string> pipes; // --pipe [NAME]
    bool once = false;
    int everyMinutes = 0; // 0: only on reconnection
    std::string logPath;  // --log; empty: standard output
    bool quiet = false;   // nothing on standard output (the --log file is still written)
};

// The options of watch, each with its setter and its line in watch's --help; the links, --export,
// --plot, --fast and --archive are download's own.
const OptionTable<WatchOptions>& WatchOptionTable();

// Parses the arguments that follow "watch", over what `settings` (the text of Settings.ini, may
// be empty) says in its [Watch] section: Out, Export, Plot, PDF, Fast, Ports, Pipe, Every, Log
// and Quiet, each "Key=value" (TRUE for the switches; Ports "all" or device names
// separated by blanks; Pipe a name or TRUE for the companion pipe). Links named on the command
// line (--pipe, --port, --ports) replace those of the settings. Without any link: every port the
// discovery lists, and the companion pipe. Returns true, or false with a message for the user.
bool ParseWatchOptions(int argc, char** argv, const std::string& settings, WatchOptions& options,
                       std::string& message);
