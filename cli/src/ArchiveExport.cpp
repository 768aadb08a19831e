// tavon-datalog archive export: archived sessions as CSV, GeoJSON or GPX, as export writes them
// from a dump.
#include <memory>
#include <string>

#include "ArchiveCommand.h"
#include "ArchiveOptions.h"
#include "CommandLine.h"
#include "ExitStatus.h"
#include "ReportOutput.h"
#include "archive/ArchiveReport.h"
#include "archive/SessionArchive.h"
#include "core/LogImage.h"
#include "export/SessionExport.h"

int RunArchiveExport(const QStringList& arguments) {
    ArchiveExportOptions options;
    std::string message;
    if (!ParseArchiveExportOptions(ArchiveWords(arguments), options, message)) {
        return ArchiveUsageError(message, arguments);
    }
    std::vector<SessionValues> sessions;
    const int status = DecodeArchivedSessions(options.ids, options.archiveAt, sessions);
    if (status != kExitOk) {
        return status;
    }
    const QByteArray bytes = ExportSessions(sessions, options.format, LogFilter());
    return WriteOutput(options.output, bytes.toStdString());
}
