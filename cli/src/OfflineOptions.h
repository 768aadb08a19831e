#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/SessionTable.h"
#include "export/ExportFormat.h"
#include "report/SessionValues.h"

// What `tavon-datalog sessions` was asked to do.
struct SessionsOptions {
    std::string dump;
    SessionBoxes boxes;
};

// What `tavon-datalog render` was asked to do.
struct RenderOptions {
    std::string dump;
    std::vector<int16_t> sessionSlots; // in the order given
    bool graph = false;                // list barhole profiles whatever Settings.ini says
    std::string modeNames[4];          // brackets already converted; empty when not given
    std::string output;                // empty: standard output
    LogFilter filter;                  // the kinds of log line shown
};

// What `tavon-datalog export` was asked to do.
struct ExportCommandOptions {
    std::string dump;
    std::vector<int16_t> sessionSlots; // in the order given
    ExportFormat format = ExportFormat::Csv;
    std::string modeNames[4];
    std::string output; // empty: standard output
    LogFilter filter;
};

// Parse the arguments that follow the subcommand's name. Return true, or false with a message
// for the user (the caller adds the pointer to --help).
bool ParseSessionsOptions(int argc, char** argv, SessionsOptions& options, std::string& message);
bool ParseRenderOptions(int argc, char** argv, RenderOptions& options, std::string& message);
bool ParseExportCommandOptions(int argc, char** argv, ExportCommandOptions& options,
                               std::string& message);
