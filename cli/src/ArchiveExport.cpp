// tavon-datalog archive export: archived sessions as CSV, GeoJSON or GPX, as export writes them
// from a dump.
#include <memory>
#include <string>

#include "ArchiveCommand.h"
#include "archive/ArchiveReport.h"
#include "archive/SessionArchive.h"
#include "cli/ArchiveOptions.h"
#include "core/LogImage.h"
#include "download/CommandArguments.h"
#include "download/ExitStatus.h"
#include "download/ReportOutput.h"
#include "export/SessionExport.h"

namespace {

bool ArchivedInstruments(const std::vector<long long>& ids, const std::string& location,
                         QStringList& instruments) {
    archive::SessionArchive store;
    if (!OpenArchive(store, QString::fromLocal8Bit(location.c_str()))) {
        return false;
    }
    QVector<qint64> chosen;
    for (long long id : ids) {
        chosen << id;
    }
    if (!archive::ArchivedInstruments(store, chosen, instruments)) {
        PrintError(store.Error().toLocal8Bit().toStdString());
        return false;
    }
    return true;
}

} // namespace

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
    QStringList instruments;
    if (!ArchivedInstruments(options.ids, options.archiveAt, instruments)) {
        return kExitArchive;
    }
    const QByteArray bytes = ExportSessions(sessions, *options.format, LogFilter(), instruments);
    return WriteOutput(options.output, bytes.toStdString());
}
