// tavon-datalog archive render: archived sessions as one RTF report, as render makes it from a
// dump.
#include <cstdio>
#include <memory>
#include <string>

#include "ArchiveCommand.h"
#include "archive/ArchiveReport.h"
#include "archive/SessionArchive.h"
#include "cli/ArchiveOptions.h"
#include "core/LogImage.h"
#include "core/SessionTable.h"
#include "download/CommandArguments.h"
#include "download/ExitStatus.h"
#include "download/ReportOutput.h"
#include "linkselect/Settings.h"
#include "report/Report.h"
#include "report/ShownReport.h"

int RunArchiveRender(const QStringList& arguments) {
    ArchiveRenderOptions options;
    std::string message;
    if (!ParseArchiveRenderOptions(ArchiveWords(arguments), options, message)) {
        return ArchiveUsageError(message, arguments);
    }
    archive::SessionArchive store;
    if (!OpenArchive(store, QString::fromLocal8Bit(options.archiveAt.c_str()))) {
        return kExitArchive;
    }
    WarnAgainstHistory(store, options.ids);
    std::unique_ptr<LogImage> image(new LogImage);
    std::unique_ptr<SessionTable> table(new SessionTable);
    ReportState state;
    state.ShowBarholeGraph = options.graph || ReadSetting("Show Barhole Graph") == "TRUE" ? 1 : 0;
    if (!archive::RenderArchived(store, QVector<qint64>(options.ids.begin(), options.ids.end()),
                                 *image, *table, state)) {
        PrintError(store.Error().toStdString());
        return store.Error().startsWith("the archive holds no") ? kExitUsage : kExitArchive;
    }
    if (state.UnrecognisedLogFlag) {
        std::fprintf(stderr, "Warning: %s\n", kUnrecognisedLogsText);
    }
    return WriteOutput(options.output, state.ReportText);
}
