// tavon-datalog archive plot: the chart of archived sessions, as plot draws it from a dump.
#include <memory>
#include <string>
#include <vector>

#include "ArchiveCommand.h"
#include "ChartOutput.h"
#include "CommandLine.h"
#include "ExitStatus.h"
#include "ExportOptions.h"
#include "OfflineOptions.h"
#include "archive/ArchiveReport.h"
#include "archive/SessionArchive.h"
#include "core/LogImage.h"

#include <QSize>

int RunArchivePlot(const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption location = ArchiveLocationOption();
    const QCommandLineOption output(QStringList{"o", "output"}, "FILE.pdf or FILE.png", "file");
    const QCommandLineOption size("size", "WIDTHxHEIGHT in pixels", "size");
    const QCommandLineOption hide("hide", "kinds of record to leave out", "list");
    parser.addOptions({location, output, size, hide});
    if (!ParseArchiveArguments(parser, arguments)) {
        return kExitUsage;
    }
    const std::string path = parser.value(output).toStdString();
    if (ChartFormatOf(path).empty()) {
        return UsageError("archive plot needs -o FILE.pdf or -o FILE.png");
    }
    int width = kChartWidth;
    int height = kChartHeight;
    if (parser.isSet(size) && !ParseChartSize(parser.value(size).toStdString(), width, height)) {
        return UsageError("--size takes WIDTHxHEIGHT in pixels, each 100 to 10000");
    }
    LogFilter filter;
    if (parser.isSet(hide) && !ParseHideList(parser.value(hide).toStdString(), filter)) {
        return UsageError("--hide takes alarm, manual, timed, calibration and bump");
    }
    std::vector<SessionValues> sessions;
    const int status = DecodeArchivedSessions(parser, location, "plot", sessions);
    if (status != kExitOk) {
        return status;
    }
    return WriteValuesChartFile(sessions, filter, std::string(), std::string(), path,
                                QSize(width, height));
}
