// tavon-datalog archive plot: the chart of archived sessions, as plot draws it from a dump.
#include <memory>
#include <string>
#include <vector>

#include "ArchiveCommand.h"
#include "archive/ArchiveReport.h"
#include "archive/SessionArchive.h"
#include "cli/ArchiveOptions.h"
#include "core/LogImage.h"
#include "download/ChartOutput.h"
#include "download/CommandArguments.h"
#include "download/ExitStatus.h"
#include "download/FrontEndApplication.h"

#include <QCoreApplication>
#include <QSize>

int RunArchivePlot(const QStringList& arguments) {
    ArchivePlotOptions options;
    std::string message;
    if (!ParseArchivePlotOptions(ArchiveWords(arguments), options, message)) {
        return ArchiveUsageError(message, arguments);
    }
    int qtArgc = 1;
    char program[] = "tavon-datalog";
    char* qtArgv[] = {program, nullptr};
    const std::unique_ptr<QCoreApplication> app = MakeApplication(qtArgc, qtArgv, true);
    std::vector<SessionValues> sessions;
    const int status = DecodeArchivedSessions(options.ids, options.archiveAt, sessions);
    if (status != kExitOk) {
        return status;
    }
    return WriteValuesChartFile(sessions, options.filter, std::string(), std::string(),
                                options.output, QSize(options.width, options.height));
}
