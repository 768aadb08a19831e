// tavon-datalog export: sessions of a saved dump as CSV, GeoJSON or GPX.
#include <cstring>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "Commands.h"
#include "DumpData.h"
#include "ExitStatus.h"
#include "ExportOptions.h"
#include "ReportOutput.h"
#include "app/LogImage.h"
#include "export/SessionExport.h"

const char kExportSynopsis[] = "export DUMP SLOT [SLOT...] --format csv|geojson|gpx "
                               "[--mode-names N1,N2,N3,N4] "
                               "[--hide alarm,manual,timed,calibration,bump] [-o FILE]";

const char kExportHelp[] =
    "Writes the records of the sessions in the given sessionSlots (0 to 499) of a FlashData.txt "
    "dump,\n"
    "in the order given, for a spreadsheet or a map. The file goes to standard output unless -o\n"
    "names one.\n"
    "\n"
    "  --format csv          one row per record: time (the instrument's wall clock, ISO 8601),\n"
    "                        session slot, kind, mode, a column per gas (\"CO (ppm)\"), latitude,\n"
    "                        longitude and fix quality where the record has a position, and a\n"
    "                        detail text (RFC 4180, UTF-8)\n"
    "  --format geojson      one point per record with a position (RFC 7946); records without\n"
    "                        one are left out\n"
    "  --format gpx          GPX 1.1: a waypoint per record with a position, a track per session\n"
    "                        through its survey positions; times in UTC by this computer's zone\n"
    "  --mode-names LIST     as for render\n"
    "  --hide LIST           leave out the kinds named, as render does\n"
    "  -o FILE, --output FILE  write to FILE (under a temporary name, then renamed)\n";

int RunExport(int argc, char** argv) {
    std::string modeNames[4];
    LogFilter filter;
    std::vector<ExportFormat> formats;
    std::string output;
    std::string dump;
    bool haveDump = false;
    std::vector<int16_t> sessionSlots;
    bool optionsEnded = false;

    for (int i = 0; i < argc;) {
        const char* arg = argv[i];
        std::string value;
        std::string message;
        bool missing = false;
        if (!optionsEnded && std::strcmp(arg, "--") == 0) {
            optionsEnded = true;
            ++i;
        } else if (!optionsEnded && TakeValue(argc, argv, i, "--format", value, missing)) {
            if (missing || !ParseExportFormats(value, formats, message) || formats.size() != 1) {
                return UsageError("--format takes one of csv, geojson and gpx");
            }
        } else if (!optionsEnded && TakeValue(argc, argv, i, "--mode-names", value, missing)) {
            if (missing) {
                return UsageError("--mode-names needs up to four comma-separated names");
            }
            if (!ParseModeNames(value, modeNames, message)) {
                return UsageError(message);
            }
        } else if (!optionsEnded && TakeValue(argc, argv, i, "--hide", value, missing)) {
            if (missing || !ParseHideList(value, filter)) {
                return UsageError("--hide takes alarm, manual, timed, calibration and bump");
            }
        } else if (!optionsEnded && (TakeValue(argc, argv, i, "-o", value, missing) ||
                                     TakeValue(argc, argv, i, "--output", value, missing))) {
            if (missing || value.empty()) {
                return UsageError("-o needs a file name");
            }
            output = value;
        } else if (!optionsEnded && arg[0] == '-' && arg[1] != '\0' &&
                   !(haveDump && LooksLikeNumber(arg))) {
            return UsageError(std::string("export: unknown option ") + arg);
        } else if (!haveDump) {
            dump = arg;
            haveDump = true;
            ++i;
        } else {
            int16_t slot = 0;
            if (!ParseSlot(arg, slot, message)) {
                return UsageError(message);
            }
            sessionSlots.push_back(slot);
            ++i;
        }
    }
    if (!haveDump || sessionSlots.empty()) {
        return UsageError("export needs the dump to read and at least one slot");
    }
    if (formats.empty()) {
        return UsageError("export needs --format csv, geojson or gpx");
    }
    if (!LoadDumpAndSessions(dump.c_str())) {
        return kExitUsage;
    }
    std::vector<SessionValues> sessions;
    for (int16_t slot : sessionSlots) {
        sessions.push_back(DecodeSessionValues(Image(), slot, modeNames));
    }
    const QByteArray data = ExportSessions(sessions, formats.front(), filter);
    return WriteOutput(output, data.toStdString());
}
