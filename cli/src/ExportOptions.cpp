#include "ExportOptions.h"

#include <algorithm>

#include "CommandLine.h"
#include "report/Report.h"

bool ParseHideList(const std::string& text, LogFilter& filter) {
    for (const std::string& word : SplitList(text)) {
        if (word == "alarm") {
            filter.Alarm = false;
        } else if (word == "manual") {
            filter.Manual = false;
        } else if (word == "timed") {
            filter.Timed = false;
        } else if (word == "calibration") {
            filter.Calibration = false;
        } else if (word == "bump") {
            filter.Bump = false;
        } else {
            return false;
        }
    }
    return true;
}

void ApplyFilter(const LogFilter& filter, ReportState& state) {
    state.ShowAlarmLogs = filter.Alarm ? 1 : 0;
    state.ShowManualLogs = filter.Manual ? 1 : 0;
    state.ShowTimedLogs = filter.Timed ? 1 : 0;
    state.ShowCalibrationLogs = filter.Calibration ? 1 : 0;
    state.ShowBumpLogs = filter.Bump ? 1 : 0;
}

LogFilter FilterOf(const ReportState& state) {
    LogFilter filter;
    filter.Alarm = state.ShowAlarmLogs != 0;
    filter.Manual = state.ShowManualLogs != 0;
    filter.Timed = state.ShowTimedLogs != 0;
    filter.Calibration = state.ShowCalibrationLogs != 0;
    filter.Bump = state.ShowBumpLogs != 0;
    return filter;
}

bool ParseExportFormats(const std::string& text, std::vector<ExportFormat>& formats,
                        std::string& message) {
    formats.clear();
    for (const std::string& word : SplitList(text)) {
        ExportFormat format = ExportFormat::Csv;
        if (!ParseExportFormat(word, format)) {
            message = "formats are csv, geojson and gpx, not \"" + word + "\"";
            return false;
        }
        if (std::find(formats.begin(), formats.end(), format) == formats.end()) {
            formats.push_back(format);
        }
    }
    return true;
}

bool ParseModeNames(const std::string& text, std::string (&names)[4], std::string& message) {
    const std::vector<std::string> words = SplitList(text);
    if (words.size() > 4) {
        message = "--mode-names takes at most four names";
        return false;
    }
    for (size_t k = 0; k < 4; ++k) {
        names[k] = k < words.size() ? ModeName(words[k]) : std::string();
    }
    return true;
}
