// tavon-datalog render: sessions of a saved dump as one RTF report, as the program assembles it.
#include <cstdio>
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
#include "app/SessionTable.h"
#include "linkselect/Settings.h"
#include "report/Report.h"

const char kRenderSynopsis[] = "render DUMP SLOT [SLOT...] [--graph] [--mode-names N1,N2,N3,N4] "
                               "[--hide alarm,manual,timed,calibration,bump] [-o FILE]";

const char kRenderHelp[] =
    "Renders the sessions in the given slots (0 to 499) of a FlashData.txt dump, in the order\n"
    "given, as one RTF report: the first slot starts the report, each further one is added with\n"
    "a separator line, as the program's Full Day does. Each section is headed by the session's\n"
    "day and month (empty for an empty or undated slot). The report goes to standard output\n"
    "unless -o names a file.\n"
    "\n"
    "  --graph               list barhole profiles value by value; without it the setting\n"
    "                        \"Show Barhole Graph\" in Settings.ini in the working directory\n"
    "                        decides, as in the program\n"
    "  --mode-names LIST     up to four comma-separated names of the instrument's operating\n"
    "                        modes, as its configuration block holds them ('[' and ']' become\n"
    "                        the bytes 0xE9 and 0xEA, as in the program); default: none\n"
    "  --hide LIST           leave out the kinds of log line named (comma-separated): alarm,\n"
    "                        manual and timed readings, calibration (calibration, zero and\n"
    "                        field-calibration records) and bump (bump tests), as the\n"
    "                        program's filter does when their boxes are cleared\n"
    "  -o FILE, --output FILE  write the report to FILE instead of standard output\n"
    "\n"
    "When the dump holds records this version cannot decode, the warning of the program is\n"
    "printed on standard error; the report is still written.\n";

namespace {

const char kUnrecognisedWarning[] =
    "This session contains some logs which are not recognised by this version of the Orv "
    "datalogger. You should check whether a new version of the datalogger is available which "
    "will process these logs.";

} // namespace

int RunRender(int argc, char** argv) {
    ReportState state;
    LogFilter filter;
    bool graph = false;
    std::string output;
    std::string dump;
    bool haveDump = false;
    std::vector<int16_t> slots;
    bool optionsEnded = false;

    for (int i = 0; i < argc;) {
        const char* arg = argv[i];
        std::string value;
        bool missing = false;
        if (!optionsEnded && std::strcmp(arg, "--") == 0) {
            optionsEnded = true;
            ++i;
        } else if (!optionsEnded && std::strcmp(arg, "--graph") == 0) {
            graph = true;
            ++i;
        } else if (!optionsEnded && TakeValue(argc, argv, i, "--mode-names", value, missing)) {
            if (missing) {
                return UsageError("--mode-names needs up to four comma-separated names");
            }
            std::string message;
            if (!ParseModeNames(value, state.ModeNames, message)) {
                return UsageError(message);
            }
        } else if (!optionsEnded && TakeValue(argc, argv, i, "--hide", value, missing)) {
            if (missing) {
                return UsageError(
                    "--hide needs a list of alarm, manual, timed, calibration and bump");
            }
            if (!ParseHideList(value, filter)) {
                return UsageError(
                    "--hide takes alarm, manual, timed, calibration and bump, not \"" + value +
                    "\"");
            }
        } else if (!optionsEnded && (TakeValue(argc, argv, i, "-o", value, missing) ||
                                     TakeValue(argc, argv, i, "--output", value, missing))) {
            if (missing || value.empty()) {
                return UsageError("-o needs a file name");
            }
            output = value;
        } else if (!optionsEnded && arg[0] == '-' && arg[1] != '\0' &&
                   !(haveDump && LooksLikeNumber(arg))) {
            return UsageError(std::string("render: unknown option ") + arg);
        } else if (!haveDump) {
            dump = arg;
            haveDump = true;
            ++i;
        } else {
            int16_t slot = 0;
            std::string message;
            if (!ParseSlot(arg, slot, message)) {
                return UsageError(message);
            }
            slots.push_back(slot);
            ++i;
        }
    }
    if (!haveDump) {
        return UsageError("render needs the dump to read and at least one slot");
    }
    if (slots.empty()) {
        return UsageError("render needs at least one slot");
    }
    if (!LoadDumpAndSessions(dump.c_str())) {
        return kExitUsage;
    }

    SetReportFilter(state, filter);
    state.ShowBarholeGraph = graph || ReadSetting("Show Barhole Graph") == "TRUE" ? 1 : 0;
    state.UnrecognisedLogFlag = 0;
    for (int16_t slot : slots) {
        const SessionEntry* entry = Sessions().FindDated(slot);
        state.HeadingDay = entry != nullptr ? std::string(entry->dayLabel) + " " : std::string();
        state.HeadingMonth = entry != nullptr ? std::string(entry->monthLabel) : std::string();
        RenderSession(state, Image(), slot);
    }
    if (state.UnrecognisedLogFlag) {
        std::fprintf(stderr, "Warning: %s\n", kUnrecognisedWarning);
    }
    return WriteOutput(output, state.ReportText);
}
