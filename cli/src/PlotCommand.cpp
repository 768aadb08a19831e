// tavon-datalog plot: the chart of sessions of a saved dump as a PDF or PNG file, drawn by the
// program's own chart code without a window.
#include "Commands.h"
#include "core/LogImage.h"
#include "download/ChartOutput.h"
#include "download/CommandArguments.h"
#include "download/DumpData.h"
#include "download/ExitStatus.h"
#include "download/OfflineOptions.h"
#include "report/Report.h"

#include <QSize>

#include <string>

const char kPlotSynopsis[] = "plot DUMP SLOT [SLOT...] -o FILE.pdf|FILE.png [--size WxH] "
                             "[--hide alarm,manual,timed,calibration,bump] "
                             "[--mode-names N1,N2,N3,N4]";

namespace {

// What plot does, before its options.
const char kPlotIntro[] =
    "Draws the chart of the sessions in the given slots of a FlashData.txt dump, in the order\n"
    "given as a Full Day chain (a gap between sessions): one line per gas in a pane per unit,\n"
    "alarms as red points naming the gas, calibrations, zeros and bump tests as lines with\n"
    "PASS or FAIL, switching on and off and mode changes on the time axis, and each barhole\n"
    "profile as a small plot underneath. Needs no display.\n"
    "\n";

} // namespace

std::string PlotHelp() {
    return kPlotIntro + OptionHelp(PlotOptionTable());
}

const char kPlotExitStatus[] =
    "Exit status: 0 done; 1 the chart could not be written; 2 bad arguments, an unreadable or\n"
    "malformed dump, a slot outside 0 to 499, or one the dump does not hold.\n";

int RunPlot(int argc, char** argv) {
    PlotOptions options;
    std::string message;
    if (!ParsePlotOptions(argc, argv, options, message)) {
        return UsageError(message, "plot");
    }
    if (!LoadDumpAndSessions(options.dump.c_str()) ||
        !DumpHoldsSessions(options.sessionSlots, "archive plot -o " + options.output)) {
        return kExitUsage;
    }
    ReportState state;
    for (int k = 0; k < 4; ++k) {
        state.ModeNames[k] = options.modeNames[k];
    }
    SetReportFilter(state, options.filter);
    return WriteChartFile(Image(), state, ChartJobOf(options.sessionSlots), options.output,
                          QSize(options.width, options.height));
}
