#pragma once

#include <optional>
#include <string>
#include <vector>

#include "download/ExportOptions.h"
#include "download/OptionTable.h"
#include "export/ExportFormat.h"
#include "export/SurveyExport.h"
#include "report/SessionValues.h"

// Options that several subcommands take, spelled, checked and applied alike wherever they appear.
// Each subcommand's table binds them to its own options, with its own description where what it
// does there needs one.

extern const OptionSpec kModeNamesSpec;    // --mode-names N1,N2,N3,N4
extern const OptionSpec kHideSpec;         // --hide alarm,manual,timed,calibration,bump
extern const OptionSpec kOutputSpec;       // -o FILE, --output FILE
extern const OptionSpec kGraphSpec;        // --graph
extern const OptionSpec kFormatSpec;       // --format csv|geojson|gpx, exactly one
extern const OptionSpec kSizeSpec;         // --size WIDTHxHEIGHT
extern const OptionSpec kArchiveSpec;      // --archive LOCATION
extern const OptionSpec kInstrumentSpec;   // --instrument NAME
extern const OptionSpec kFromSpec;         // --from YYYY-MM-DD
extern const OptionSpec kToSpec;           // --to YYYY-MM-DD
extern const OptionSpec kJobSpec;          // --job TEXT
extern const OptionSpec kUserSpec;         // --user TEXT
extern const OptionSpec kTilesSpec;        // --tiles FILE
extern const OptionSpec kGasSpec;          // --gas NAME
extern const OptionSpec kSurveyFormatSpec; // --format text|csv|json

extern const char kArchivePlaceholder[]; // LOCATION

// The descriptions most of their tables give them.
extern const char kGraphHelp[];
extern const char kOutputHelp[];

template <typename Options>
Option<Options> ModeNamesOption(std::string (Options::*names)[4], const char* help) {
    return {kModeNamesSpec, "LIST", help, [names](Options& options, const OptionUse& use) {
                std::string unused;
                ParseModeNames(use.value, options.*names, unused);
            }};
}

template <typename Options>
Option<Options> HideOption(LogFilter Options::*filter, const char* help) {
    return {kHideSpec, "LIST", help, [filter](Options& options, const OptionUse& use) {
                ParseHideList(use.value, options.*filter);
            }};
}

template <typename Options>
Option<Options> OutputOption(std::string Options::*output, const char* help = kOutputHelp) {
    return {kOutputSpec, "FILE", help, SetsText(output)};
}

template <typename Options>
Option<Options> GraphOption(bool Options::*graph, const char* help = kGraphHelp) {
    return {kGraphSpec, "", help, SetsFlag(graph)};
}

template <typename Options>
Option<Options> FormatOption(std::optional<ExportFormat> Options::*format, const char* placeholder,
                             const char* help) {
    return {kFormatSpec, placeholder, help, [format](Options& options, const OptionUse& use) {
                std::vector<ExportFormat> formats;
                std::string unused;
                if (ParseExportFormats(use.value, formats, unused) && !formats.empty()) {
                    options.*format = formats.front();
                }
            }};
}

// "1600x1000": width and height, each 100 to 10000.
bool ParseChartSize(const std::string& text, int& width, int& height);

template <typename Options>
Option<Options> SizeOption(int Options::*width, int Options::*height, const char* help) {
    return {kSizeSpec, "WxH", help, [width, height](Options& options, const OptionUse& use) {
                ParseChartSize(use.value, options.*width, options.*height);
            }};
}

// Without a description: the archive commands describe it once for all of them, in the help line
// ArchiveOptionHelp() gives.
template <typename Options>
Option<Options> ArchiveOption(std::string Options::*location, const char* help = nullptr) {
    return {kArchiveSpec, kArchivePlaceholder, help, SetsText(location)};
}
std::string ArchiveOptionHelp();

template <typename Options>
Option<Options> InstrumentOption(std::string Options::*name, const char* help) {
    return {kInstrumentSpec, "NAME", help, SetsText(name)};
}

template <typename Options>
Option<Options> TilesOption(std::string Options::*tiles, const char* help) {
    return {kTilesSpec, "FILE", help, SetsText(tiles)};
}

template <typename Options> Option<Options> GasOption(std::string Options::*gas, const char* help) {
    return {kGasSpec, "NAME", help, SetsText(gas)};
}

template <typename Options>
Option<Options> SurveyFormatOption(SurveyFormat Options::*format, const char* placeholder,
                                   const char* help) {
    return {kSurveyFormatSpec, placeholder, help, [format](Options& options, const OptionUse& use) {
                ParseSurveyFormat(use.value, options.*format);
            }};
}

// Checks of option values, for the tables.
bool AcceptsSessionBoxes(const std::string& value); // all, alarm, cal, alarm,cal
bool AcceptsIsoDate(const std::string& value);      // YYYY-MM-DD, a calendar date
bool AcceptsSlot(const std::string& value);         // 0 to 499
bool AcceptsDevice(const std::string& value);       // a serial device, with or without /dev/
bool AcceptsFormats(const std::string& value);      // csv,geojson,gpx (one or more)
bool AcceptsChartFormat(const std::string& value);  // pdf or png

// The device as the port list names it: without the "/dev/" that opening adds again.
std::string BareDeviceName(const std::string& device);
