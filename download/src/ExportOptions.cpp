#include "download/ExportOptions.h"

#include <algorithm>

#include "download/CommandArguments.h"
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
