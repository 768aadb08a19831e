// tavon-datalog render: sessions of a saved dump as one RTF report, as the program assembles it.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Commands.h"
#include "core/LogImage.h"
#include "core/SessionTable.h"
#include "download/ChartOutput.h"
#include "download/CommandArguments.h"
#include "download/DumpData.h"
#include "download/ExitStatus.h"
#include "download/OfflineOptions.h"
#include "download/ReportOutput.h"
#include "linkselect/Settings.h"
#include "report/Report.h"

const char kRenderSynopsis[] = "render DUMP SLOT [SLOT...] [--graph] [--mode-names N1,N2,N3,N4] "
                               "[--hide alarm,manual,timed,calibration,bump] [-o FILE] "
                               "[--pdf FILE [--tiles FILE]]";

namespace {

// What render does, before its options.
const char kRenderIntro[] =
    "Renders the sessions in the given slots (0 to 499) of a FlashData.txt dump, in the order\n"
    "given, as one RTF report: the first slot starts the report, each further one is added with\n"
    "a separator line, as the program's Full Day does. Each section is headed by the session's\n"
    "day and month (empty for an undated session). The report goes to standard output unless\n"
    "-o names a file.\n"
    "\n";

// After its options.
const char kRenderOutro[] =
    "\n"
    "When the dump holds records this version cannot decode, the warning of the program is\n"
    "printed on standard error; the report is still written. A slot whose data the dump does\n"
    "not hold (never uploaded into it) is named on standard error and nothing is written;\n"
    "where the archive holds that session (the same instrument, slot and start), the\n"
    "archive render ID that shows it is named with it.\n";

} // namespace

std::string RenderHelp() {
    return kRenderIntro + OptionHelp(RenderOptionTable()) + kRenderOutro;
}

const char kRenderExitStatus[] =
    "Exit status: 0 done; 1 the report could not be written; 2 bad arguments, an unreadable or\n"
    "malformed dump, a slot outside 0 to 499, or a slot whose data the dump does not hold.\n";

namespace {

const char kUnrecognisedWarning[] =
    "This session contains some logs which are not recognised by this version of the Orv "
    "datalogger. You should check whether a new version of the datalogger is available which "
    "will process these logs.";

} // namespace

int RunRender(int argc, char** argv) {
    RenderOptions options;
    std::string message;
    if (!ParseRenderOptions(argc, argv, options, message)) {
        return UsageError(message, "render");
    }
    if (!LoadDumpAndSessions(options.dump.c_str())) {
        return kExitUsage;
    }

    if (!DumpHoldsSessions(options.sessionSlots, "archive render")) {
        return kExitUsage;
    }

    ReportState state;
    for (int k = 0; k < 4; ++k) {
        state.ModeNames[k] = options.modeNames[k];
    }
    SetReportFilter(state, options.filter);
    state.ShowBarholeGraph = options.graph || ReadSetting("Show Barhole Graph") == "TRUE" ? 1 : 0;
    state.UnrecognisedLogFlag = 0;
    for (int16_t slot : options.sessionSlots) {
        const SessionEntry* entry = Sessions().FindDated(slot);
        state.HeadingDay = entry != nullptr ? std::string(entry->dayLabel) + " " : std::string();
        state.HeadingMonth = entry != nullptr ? std::string(entry->monthLabel) : std::string();
        RenderSession(state, Image(), slot);
    }
    if (state.UnrecognisedLogFlag) {
        std::fprintf(stderr, "Warning: %s\n", kUnrecognisedWarning);
    }
    if (!options.pdf.empty()) {
        const int status =
            WriteReportPdfFile(Image(), Sessions(), state, ChartJobOf(options.sessionSlots),
                               options.pdf, std::string(), options.tiles);
        if (status != kExitOk || options.output.empty()) {
            return status;
        }
    }
    return WriteOutput(options.output, state.ReportText);
}
