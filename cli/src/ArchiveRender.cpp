// tavon-datalog archive render: archived sessions as one RTF report, as render makes it from a
// dump.
#include <cstdio>
#include <memory>
#include <string>

#include "ArchiveCommand.h"
#include "CommandLine.h"
#include "ExitStatus.h"
#include "ReportOutput.h"
#include "app/SessionBrowser.h"
#include "archive/ArchiveReport.h"
#include "archive/SessionArchive.h"
#include "core/LogImage.h"
#include "core/SessionTable.h"
#include "linkselect/Settings.h"
#include "report/Report.h"

int RunArchiveRender(const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption location = ArchiveLocationOption();
    const QCommandLineOption graph("graph", "barhole profiles value by value");
    const QCommandLineOption output(QStringList{"o", "output"}, "the report file", "file");
    parser.addOptions({location, graph, output});
    if (!ParseArchiveArguments(parser, arguments)) {
        return kExitUsage;
    }
    QVector<qint64> ids;
    if (!ParseSessionIds(parser.positionalArguments(), "render", ids)) {
        return kExitUsage;
    }
    if (parser.isSet(output) && parser.value(output).isEmpty()) {
        return UsageError("-o needs a file name");
    }
    archive::SessionArchive store;
    if (!OpenArchive(store, parser.value(location))) {
        return kExitArchive;
    }
    std::unique_ptr<LogImage> image(new LogImage);
    std::unique_ptr<SessionTable> table(new SessionTable);
    ReportState state;
    state.ShowBarholeGraph =
        parser.isSet(graph) || ReadSetting("Show Barhole Graph") == "TRUE" ? 1 : 0;
    if (!archive::RenderArchived(store, ids, *image, *table, state)) {
        PrintError(store.Error().toStdString());
        return store.Error().startsWith("the archive holds no") ? kExitUsage : kExitArchive;
    }
    if (state.UnrecognisedLogFlag) {
        std::fprintf(stderr, "Warning: %s\n", SessionBrowser::kWarningText);
    }
    return WriteOutput(parser.value(output).toStdString(), state.ReportText);
}
