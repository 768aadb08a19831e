#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/SessionTable.h"

// What `tavon-datalog sessions` was asked to do.
struct SessionsOptions {
    std::string dump;
    SessionBoxes boxes;
};

// What `tavon-datalog render` was asked to do.
struct RenderOptions {
    std::string dump;
    std::vector<int16_t> slots; // in the order given
    bool graph = false;         // list barhole profiles whatever Settings.ini says
    std::string modeNames[4];   // brackets already converted; empty when not given
    std::string output;         // empty: standard output
    // The kinds of log line the filter shows.
    bool showAlarm = true;
    bool showManual = true;
    bool showTimed = true;
    bool showCalibration = true;
    bool showBump = true;
};

// Parse the arguments that follow the subcommand's name. Return true, or false with a message
// for the user (the caller adds the pointer to --help).
bool ParseSessionsOptions(int argc, char** argv, SessionsOptions& options, std::string& message);
bool ParseRenderOptions(int argc, char** argv, RenderOptions& options, std::string& message);
