#pragma once

#include <string>

#include "download/OptionTable.h"

// Options that several subcommands take, spelled and checked alike wherever they appear.

extern const OptionSpec kModeNamesOption;  // --mode-names N1,N2,N3,N4
extern const OptionSpec kHideOption;       // --hide alarm,manual,timed,calibration,bump
extern const OptionSpec kOutputOption;     // -o FILE, --output FILE
extern const OptionSpec kGraphOption;      // --graph
extern const OptionSpec kFormatOption;     // --format csv|geojson|gpx, exactly one
extern const OptionSpec kSizeOption;       // --size WIDTHxHEIGHT
extern const OptionSpec kArchiveOption;    // --archive LOCATION
extern const OptionSpec kInstrumentOption; // --instrument NAME

// Checks of option values, for the tables.
bool AcceptsSessionBoxes(const std::string& value); // all, alarm, cal, alarm,cal
bool AcceptsIsoDate(const std::string& value);      // YYYY-MM-DD, a calendar date
bool AcceptsSlot(const std::string& value);         // 0 to 499
bool AcceptsDevice(const std::string& value);       // a serial device, with or without /dev/
bool AcceptsFormats(const std::string& value);      // csv,geojson,gpx (one or more)
bool AcceptsChartFormat(const std::string& value);  // pdf or png

// The device as the port list names it: without the "/dev/" that opening adds again.
std::string BareDeviceName(const std::string& device);
