// tavon-datalog archive render: archived sessions as one RTF report, as render makes it from a
// dump.
#include <cstdio>
#include <memory>
#include <string>

#include "ArchiveCommand.h"
#include "CommandLine.h"
#include "ExitStatus.h"
#include "ReportOutput.h"
#include "app/LogImage.h"
#include "app/SessionBrowser.h"
#include "app/SessionTable.h"
#include "archive/SessionArchive.h"
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
    for (const QString& text : parser.positionalArguments()) {
        bool ok = false;
        const qint64 id = text.toLongLong(&ok);
        if (!ok || id <= 0) {
            return UsageError("archive render takes session ids, not \"" + text.toStdString() +
                              "\"");
        }
        ids << id;
    }
    if (ids.isEmpty()) {
        return UsageError("archive render needs at least one session id");
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
    for (qint64 id : ids) {
        archive::LoadedSession session;
        if (!store.Load(id, session)) {
            PrintError(store.Error().toStdString());
            return store.Error().startsWith("the archive holds no") ? kExitUsage : kExitArchive;
        }
        const int16_t slot = static_cast<int16_t>(session.listed.slot);
        archive::RestoreSession(*image, slot, session.name, session.sector, session.overrun);
        table->Build(*image);
        for (int k = 0; k < 4; ++k) {
            state.ModeNames[k] = session.modeNames[k].toStdString();
        }
        const SessionEntry* entry = table->FindDated(slot);
        state.HeadingDay = entry != nullptr ? std::string(entry->dayLabel) + " " : std::string();
        state.HeadingMonth = entry != nullptr ? std::string(entry->monthLabel) : std::string();
        RenderSession(state, *image, slot);
    }
    if (state.UnrecognisedLogFlag) {
        std::fprintf(stderr, "Warning: %s\n", SessionBrowser::kWarningText);
    }
    return WriteOutput(parser.value(output).toStdString(), state.ReportText);
}
