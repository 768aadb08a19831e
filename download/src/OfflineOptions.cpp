#include "download/OfflineOptions.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>

#include "download/CommandArguments.h"
#include "download/ExportOptions.h"
#include "download/OptionTable.h"
#include "download/SharedOptions.h"

namespace {

using Takes = OptionSpec::Takes;

std::vector<std::string> Words(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + std::max(argc, 0));
}

// DUMP SLOT [SLOT...]: the words that are not options.
bool TakeDumpAndSlots(const std::vector<std::string>& positional, const char* command,
                      std::string& dump, std::vector<int16_t>& sessionSlots, std::string& message) {
    if (positional.empty()) {
        message = std::string(command) + " needs the dump to read and at least one slot";
        return false;
    }
    dump = positional[0];
    for (size_t k = 1; k < positional.size(); ++k) {
        int16_t slot = 0;
        if (!ParseSlot(positional[k].c_str(), slot, message)) {
            return false;
        }
        sessionSlots.push_back(slot);
    }
    if (sessionSlots.empty()) {
        message = std::string(command) + " needs at least one slot";
        return false;
    }
    return true;
}

} // namespace

const OptionTable<SessionsOptions>& SessionsOptionTable() {
    static const OptionTable<SessionsOptions> kTable = {
        {{"--show", nullptr, Takes::Value, "all, alarm, cal or alarm,cal", AcceptsSessionBoxes},
         "LIST",
         "which sessions the tree lists, like the session boxes of the\n"
         "program: a comma-separated choice of all, alarm (sessions with an\n"
         "alarm) and cal (sessions with a calibration); default all. A month\n"
         "or day is listed only when it holds a session the choice lists.",
         [](SessionsOptions& options, const OptionUse& use) {
             ParseSessionBoxes(use.value, options.boxes);
         }},
    };
    return kTable;
}

const OptionTable<RenderOptions>& RenderOptionTable() {
    using O = RenderOptions;
    static const OptionTable<RenderOptions> kTable = {
        GraphOption(&O::graph, "list barhole profiles value by value; without it the setting\n"
                               "\"Show Barhole Graph\" in Settings.ini in the working directory\n"
                               "decides, as in the program"),
        ModeNamesOption(&O::modeNames,
                        "up to four comma-separated names of the instrument's operating\n"
                        "modes, as its configuration block holds them ('[' and ']' become\n"
                        "the bytes 0xE9 and 0xEA, as in the program); default: none"),
        HideOption(&O::filter, "leave out the kinds of log line named (comma-separated): alarm,\n"
                               "manual and timed readings, calibration (calibration, zero and\n"
                               "field-calibration records) and bump (bump tests), as the\n"
                               "program's filter does when their boxes are cleared"),
        OutputOption(&O::output, "write the report to FILE instead of standard output"),
        {{"--pdf", nullptr, Takes::Value, "a file name", nullptr},
         "FILE",
         "write the report as the program shows it, followed by the chart of\n"
         "the same sessions and, where they have positions, their map with\n"
         "their survey record, to FILE as PDF (A4 landscape); the RTF is then\n"
         "written only when -o names a file as well",
         SetsText(&O::pdf)},
        TilesOption(&O::tiles, "with --pdf, draw the map on the tiles of this MBTiles file (read\n"
                               "only, never a tile server); without it, or where the file cannot\n"
                               "be read, on a plain grid of latitude and longitude"),
    };
    return kTable;
}

const OptionTable<ExportCommandOptions>& ExportOptionTable() {
    using O = ExportCommandOptions;
    static const OptionTable<ExportCommandOptions> kTable = {
        FormatOption(&O::format, "csv",
                     "one row per record: time (the instrument's wall clock, ISO 8601),\n"
                     "slot, kind, mode, a column per gas (\"CO (ppm)\"), the five\n"
                     "extra readings of a timed reading (\"extra reading 1\" ...) and\n"
                     "\"over range\" where there are any, latitude, longitude and fix\n"
                     "quality where the record has a position, and a detail text\n"
                     "(RFC 4180, UTF-8)"),
        HelpNote<O>("--format geojson",
                    "one point per record with a position (RFC 7946); records without\n"
                    "one are left out"),
        HelpNote<O>("--format gpx",
                    "GPX 1.1: a waypoint per record with a position, a track per session\n"
                    "through its survey positions (a segment per unbroken piece, as\n"
                    "survey measures the route); times in UTC by this computer's zone"),
        ModeNamesOption(&O::modeNames, "as for render"),
        HideOption(&O::filter, "leave out the kinds named, as render does"),
        InstrumentOption(&O::instrument,
                         "name the instrument in the file (a dump names none): an \"instrument\"\n"
                         "column or property, GPX's src; the same name as archive import\n"
                         "--instrument gives the same bytes as archive export"),
        OutputOption(&O::output, "write to FILE (under a temporary name, then renamed)"),
    };
    return kTable;
}

const OptionTable<PlotOptions>& PlotOptionTable() {
    using O = PlotOptions;
    static const OptionTable<PlotOptions> kTable = {
        OutputOption(&O::output, "the file to write; FILE.pdf gives a PDF whose lines and texts\n"
                                 "are vectors and text, FILE.png a picture"),
        SizeOption(&O::width, &O::height,
                   "the chart's size in pixels (96 per inch in a PDF); default 1600x1000"),
        HideOption(&O::filter, "leave out alarm, manual or timed readings, calibration (also\n"
                               "zero and field calibration) or bump tests, as render does"),
        ModeNamesOption(&O::modeNames,
                        "up to four comma-separated mode names, as render takes them"),
    };
    return kTable;
}

const OptionTable<MapOptions>& MapOptionTable() {
    using O = MapOptions;
    static const OptionTable<MapOptions> kTable = {
        OutputOption(&O::output, "the file to write; FILE.png gives a picture, FILE.pdf a page of\n"
                                 "that size whose track, markers and texts are vectors"),
        SizeOption(&O::width, &O::height,
                   "the map's size in pixels (points in a PDF); default 1600x1000"),
        TilesOption(&O::tiles, "draw the map on the tiles of this MBTiles file (PNG or JPEG\n"
                               "tiles; its attribution in the corner); without it, or where it\n"
                               "has no tile, a grid of latitude and longitude lines. A file\n"
                               "that is missing or no tile store gives the grid and one\n"
                               "message on standard error: the map is written all the same"),
        GasOption(&O::gas, "colour the positions by this gas's readings: its name (LEL,\n"
                           "CO) or as the message naming the gases puts it (\"LEL (% LEL)\"),\n"
                           "in any case; default the first gas read at a place. A gas no\n"
                           "position has a reading of is refused, the gases there are named"),
        HideOption(&O::filter, "leave out alarm, manual or timed readings (and their markers),\n"
                               "as render does"),
        ModeNamesOption(&O::modeNames,
                        "up to four comma-separated mode names, as render takes them"),
    };
    return kTable;
}

const OptionTable<SurveyOptions>& SurveyOptionTable() {
    using O = SurveyOptions;
    static const OptionTable<SurveyOptions> kTable = {
        SurveyFormatOption(&O::format, "text",
                           "per session: route walked, time surveyed, survey records, fixes,\n"
                           "coverage, instrument, users, job numbers and each indication; then\n"
                           "the totals (the default)"),
        HelpNote<O>("--format csv",
                    "one row per indication, the session's figures on each (RFC 4180,\n"
                    "UTF-8)"),
        HelpNote<O>("--format json", "an array with one object per session, in the order given"),
        ModeNamesOption(&O::modeNames, "as for render"),
        InstrumentOption(&O::instrument, "name the instrument in the record (a dump names none)"),
        OutputOption(&O::output, "write to FILE (under a temporary name, then renamed)"),
    };
    return kTable;
}

bool ParseSessionsOptions(int argc, char** argv, SessionsOptions& options, std::string& message) {
    std::vector<std::string> positional;
    if (!ParseOptions(Words(argc, argv), SessionsOptionTable(), "sessions", false, options,
                      positional, message)) {
        return false;
    }
    if (positional.empty()) {
        message = "sessions needs the dump to read";
        return false;
    }
    if (positional.size() > 1) {
        message = "sessions takes one dump, not also \"" + positional[1] + "\"";
        return false;
    }
    options.dump = positional[0];
    return true;
}

bool ParseRenderOptions(int argc, char** argv, RenderOptions& options, std::string& message) {
    std::vector<std::string> positional;
    // A negative number after the dump is a slot, refused as one.
    if (!ParseOptions(Words(argc, argv), RenderOptionTable(), "render", true, options, positional,
                      message) ||
        !TakeDumpAndSlots(positional, "render", options.dump, options.sessionSlots, message)) {
        return false;
    }
    if (!options.tiles.empty() && options.pdf.empty()) {
        message = "render --tiles is the background of the PDF's map: give --pdf FILE as well";
        return false;
    }
    return true;
}

bool ParseExportCommandOptions(int argc, char** argv, ExportCommandOptions& options,
                               std::string& message) {
    std::vector<std::string> positional;
    if (!ParseOptions(Words(argc, argv), ExportOptionTable(), "export", true, options, positional,
                      message) ||
        !TakeDumpAndSlots(positional, "export", options.dump, options.sessionSlots, message)) {
        return false;
    }
    if (!options.format) {
        message = "export needs --format csv, geojson or gpx";
        return false;
    }
    return true;
}

bool ParsePlotOptions(int argc, char** argv, PlotOptions& options, std::string& message) {
    std::vector<std::string> positional;
    if (!ParseOptions(Words(argc, argv), PlotOptionTable(), "plot", true, options, positional,
                      message) ||
        !TakeDumpAndSlots(positional, "plot", options.dump, options.sessionSlots, message)) {
        return false;
    }
    if (options.output.empty()) {
        message = "plot needs -o FILE.pdf or -o FILE.png";
        return false;
    }
    if (ChartFormatOf(options.output).empty()) {
        message = "plot writes FILE.pdf or FILE.png, not \"" + options.output + "\"";
        return false;
    }
    return true;
}

std::string ChartFormatOf(const std::string& path) {
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos) {
        return std::string();
    }
    std::string ending = path.substr(dot + 1);
    std::transform(ending.begin(), ending.end(), ending.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ending == "pdf" || ending == "png" ? ending : std::string();
}

bool ParseMapOptions(int argc, char** argv, MapOptions& options, std::string& message) {
    std::vector<std::string> positional;
    if (!ParseOptions(Words(argc, argv), MapOptionTable(), "map", true, options, positional,
                      message) ||
        !TakeDumpAndSlots(positional, "map", options.dump, options.sessionSlots, message)) {
        return false;
    }
    if (ChartFormatOf(options.output).empty()) {
        message = options.output.empty()
                      ? "map needs -o FILE.png or -o FILE.pdf"
                      : "map writes FILE.png or FILE.pdf, not \"" + options.output + "\"";
        return false;
    }
    return true;
}

bool ParseSurveyOptions(int argc, char** argv, SurveyOptions& options, std::string& message) {
    std::vector<std::string> positional;
    return ParseOptions(Words(argc, argv), SurveyOptionTable(), "survey", true, options, positional,
                        message) &&
           TakeDumpAndSlots(positional, "survey", options.dump, options.sessionSlots, message);
}
