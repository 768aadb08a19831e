#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/SessionTable.h"
#include "download/OptionTable.h"
#include "download/SharedOptions.h"
#include "export/ExportFormat.h"
#include "export/SurveyExport.h"
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
    std::string pdf;                   // also the report and its chart as PDF; empty: not
    std::string tiles;                 // the MBTiles file behind the PDF's map; empty: the grid
};

// What `tavon-datalog export` was asked to do.
struct ExportCommandOptions {
    std::string dump;
    std::vector<int16_t> sessionSlots;  // in the order given
    std::optional<ExportFormat> format; // required
    std::string modeNames[4];
    std::string output; // empty: standard output
    LogFilter filter;
    // --instrument: what the files call the instrument (a dump names none), as the archive does
    // after `archive import --instrument NAME`.
    std::string instrument;
};

// The size of a chart file (plot, download --plot) unless --size says otherwise.
constexpr int kChartWidth = 1600;
constexpr int kChartHeight = 1000;

// What `tavon-datalog plot` was asked to do.
struct PlotOptions {
    std::string dump;
    std::vector<int16_t> sessionSlots; // in the order given, as a chain
    std::string modeNames[4];
    std::string output; // FILE.pdf or FILE.png
    LogFilter filter;
    int width = kChartWidth; // pixels (96 per inch in a PDF)
    int height = kChartHeight;
};

// What `tavon-datalog map` was asked to do.
struct MapOptions {
    std::string dump;
    std::vector<int16_t> sessionSlots; // in the order given
    std::string modeNames[4];
    std::string output; // FILE.png or FILE.pdf
    LogFilter filter;
    int width = kChartWidth; // pixels (points in a PDF)
    int height = kChartHeight;
    std::string tiles; // an MBTiles file; empty: the grid
    std::string gas;   // empty: the first read at a place
};

// What `tavon-datalog survey` was asked to do.
struct SurveyOptions {
    std::string dump;
    std::vector<int16_t> sessionSlots; // in the order given
    SurveyFormat format = SurveyFormat::Text;
    std::string modeNames[4];
    std::string output;     // empty: standard output
    std::string instrument; // --instrument: what the record calls the instrument
};

// Their options, each with its setter and its line in the command's --help.
const OptionTable<SessionsOptions>& SessionsOptionTable();
const OptionTable<RenderOptions>& RenderOptionTable();
const OptionTable<ExportCommandOptions>& ExportOptionTable();
const OptionTable<PlotOptions>& PlotOptionTable();
const OptionTable<MapOptions>& MapOptionTable();
const OptionTable<SurveyOptions>& SurveyOptionTable();

// Parse the arguments that follow the subcommand's name. Return true, or false with a message
// for the user (the caller adds the pointer to --help).
bool ParseSessionsOptions(int argc, char** argv, SessionsOptions& options, std::string& message);
bool ParseRenderOptions(int argc, char** argv, RenderOptions& options, std::string& message);
bool ParseExportCommandOptions(int argc, char** argv, ExportCommandOptions& options,
                               std::string& message);
bool ParsePlotOptions(int argc, char** argv, PlotOptions& options, std::string& message);
bool ParseMapOptions(int argc, char** argv, MapOptions& options, std::string& message);
bool ParseSurveyOptions(int argc, char** argv, SurveyOptions& options, std::string& message);

// "pdf" or "png" from a file name's ending (any case); empty for anything else.
std::string ChartFormatOf(const std::string& path);
