#include "Commands.h"

#include <cstddef>

const Command* CommandTable() {
    static const Command commands[] = {
        {"sessions", kSessionsSynopsis, kSessionsHelp, RunSessions},
        {"render", kRenderSynopsis, kRenderHelp, RunRender},
        {"export", kExportSynopsis, kExportHelp, RunExport},
        {"download", kDownloadSynopsis, kDownloadHelp, RunDownload},
        {"archive", kArchiveSynopsis, kArchiveHelp, RunArchive},
        {"plot", kPlotSynopsis, kPlotHelp, RunPlot},
        {nullptr, nullptr, nullptr, nullptr},
    };
    return commands;
}
