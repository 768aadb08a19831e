#pragma once

// The export formats by name, without Qt, for option parsing.

#include <string>

enum class ExportFormat { Csv, GeoJson, Gpx };

// "csv", "geojson" or "gpx"; false for any other word.
bool ParseExportFormat(const std::string& word, ExportFormat& format);
// The word and the file-name suffix (".csv", ".geojson", ".gpx") of a format.
const char* ExportFormatWord(ExportFormat format);
const char* ExportFormatSuffix(ExportFormat format);
