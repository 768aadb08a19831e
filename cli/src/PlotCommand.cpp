// tavon-datalog plot: the chart of sessions of a saved dump as a PDF or PNG file, drawn by the
// program's own chart code without a window.
#include "ChartOutput.h"
#include "CommandLine.h"
#include "Commands.h"
#include "DumpData.h"
#include "ExitStatus.h"
#include "app/LogImage.h"
#include "charts/ChartFiles.h"
#include "report/Report.h"

#include <QCommandLineParser>
#include <QSize>
#include <QStringList>

#include <string>

const char kPlotSynopsis[] = "plot DUMP SLOT [SLOT...] -o FILE.pdf|FILE.png [--size WxH] "
                             "[--hide alarm,manual,timed,calibration,bump] "
                             "[--mode-names N1,N2,N3,N4]";

const char kPlotHelp[] =
    "Draws the chart of the sessions in the given slots of a FlashData.txt dump, in the order\n"
    "given as a Full Day chain (a gap between sessions): one line per gas in a pane per unit,\n"
    "alarms as red points naming the gas, calibrations, zeros and bump tests as lines with\n"
    "PASS or FAIL, switching on and off and mode changes on the time axis, and each barhole\n"
    "profile as a small plot underneath. Needs no display.\n"
    "\n"
    "  -o FILE, --output FILE  the file to write; FILE.pdf gives a PDF whose lines and texts\n"
    "                        are vectors and text, FILE.png a picture\n"
    "  --size WxH            the chart's size in pixels (96 per inch in a PDF); default "
    "1600x1000\n"
    "  --hide LIST           leave out alarm, manual or timed readings, calibration (also\n"
    "                        zero and field calibration) or bump tests, as render does\n"
    "  --mode-names LIST     up to four comma-separated mode names, as render takes them\n";

int RunPlot(int argc, char** argv) {
    QStringList args{"plot"};
    for (int i = 0; i < argc; ++i) {
        args << QString::fromLocal8Bit(argv[i]);
    }
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption output({"o", "output"}, "file", "FILE");
    const QCommandLineOption size("size", "size", "WxH");
    const QCommandLineOption hide("hide", "kinds", "LIST");
    const QCommandLineOption modeNames("mode-names", "names", "LIST");
    parser.addOptions({output, size, hide, modeNames});
    if (!parser.parse(args)) {
        return UsageError("plot: " + parser.errorText().toStdString());
    }

    ReportState state;
    if (parser.isSet(hide) && !ParseHide(parser.value(hide).toStdString(), state)) {
        return UsageError("--hide takes alarm, manual, timed, calibration and bump, not \"" +
                          parser.value(hide).toStdString() + "\"");
    }
    if (parser.isSet(modeNames)) {
        const std::vector<std::string> names = SplitList(parser.value(modeNames).toStdString());
        if (names.size() > 4) {
            return UsageError("--mode-names takes at most four names");
        }
        for (size_t k = 0; k < 4; ++k) {
            state.ModeNames[k] = k < names.size() ? ModeName(names[k]) : std::string();
        }
    }
    QSize chartSize(kChartWidth, kChartHeight);
    if (parser.isSet(size) && !ParseChartSize(parser.value(size), chartSize)) {
        return UsageError("--size takes WIDTHxHEIGHT in pixels, each 100 to 10000, not \"" +
                          parser.value(size).toStdString() + "\"");
    }
    const std::string path = parser.value(output).toStdString();
    if (path.empty()) {
        return UsageError("plot needs -o FILE.pdf or -o FILE.png");
    }
    if (ChartFormatOf(path).empty()) {
        return UsageError("plot writes FILE.pdf or FILE.png, not \"" + path + "\"");
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() < 2) {
        return UsageError("plot needs the dump to read and at least one slot");
    }
    std::vector<int16_t> sessionSlots;
    for (qsizetype i = 1; i < positional.size(); ++i) {
        int16_t slot = 0;
        std::string message;
        if (!ParseSlot(positional[i].toLocal8Bit().constData(), slot, message)) {
            return UsageError(message);
        }
        sessionSlots.push_back(slot);
    }
    if (!LoadDumpAndSessions(positional[0].toLocal8Bit().constData())) {
        return kExitUsage;
    }
    return WriteChartFile(Image(), state, ChartJobOf(sessionSlots), path, chartSize);
}
