// tavon-datalog archive export: archived sessions as CSV, GeoJSON or GPX, as export writes them
// from a dump.
#include <memory>
#include <string>

#include "ArchiveCommand.h"
#include "CommandLine.h"
#include "ExitStatus.h"
#include "ReportOutput.h"
#include "archive/ArchiveReport.h"
#include "archive/SessionArchive.h"
#include "core/LogImage.h"
#include "export/SessionExport.h"

int RunArchiveExport(const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption location = ArchiveLocationOption();
    const QCommandLineOption format("format", "csv, geojson or gpx", "format");
    const QCommandLineOption output(QStringList{"o", "output"}, "the file", "file");
    parser.addOptions({location, format, output});
    if (!ParseArchiveArguments(parser, arguments)) {
        return kExitUsage;
    }
    ExportFormat chosen = ExportFormat::Csv;
    if (!parser.isSet(format) || !ParseExportFormat(parser.value(format).toStdString(), chosen)) {
        return UsageError("archive export needs --format csv, geojson or gpx");
    }
    std::vector<SessionValues> sessions;
    const int status = DecodeArchivedSessions(parser, location, "export", sessions);
    if (status != kExitOk) {
        return status;
    }
    const QByteArray bytes = ExportSessions(sessions, chosen, LogFilter());
    return WriteOutput(parser.value(output).toStdString(), bytes.toStdString());
}
