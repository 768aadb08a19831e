#pragma once

#include <string>
#include <vector>

#include "export/ExportFormat.h"
#include "report/SessionValues.h"

// Option values shared by render, export and download.

// "alarm,manual,timed,calibration,bump" in any combination: the kinds the filter leaves out.
bool ParseHideList(const std::string& text, LogFilter& filter);
// "csv,geojson,gpx" in any combination, each once; false with a message otherwise.
bool ParseExportFormats(const std::string& text, std::vector<ExportFormat>& formats,
                        std::string& message);
// Up to four comma-separated mode names, brackets converted as the configuration block holds
// them; false with a message when there are more.
bool ParseModeNames(const std::string& text, std::string (&names)[4], std::string& message);
