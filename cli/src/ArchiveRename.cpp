// tavon-datalog archive rename-instrument: another name for an archived instrument, its sessions
// with it. Downloads never rename one: --instrument tells instruments apart instead.
#include <cstdio>
#include <string>

#include "ArchiveCommand.h"
#include "CommandLine.h"
#include "ExitStatus.h"
#include "archive/SessionArchive.h"

int RunArchiveRenameInstrument(const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption location = ArchiveLocationOption();
    parser.addOption(location);
    if (!ParseArchiveArguments(parser, arguments)) {
        return kExitUsage;
    }
    const QStringList names = parser.positionalArguments();
    if (names.size() != 2) {
        return UsageError("archive rename-instrument takes the instrument's name and its new one");
    }
    archive::SessionArchive store;
    if (!OpenArchive(store, parser.value(location))) {
        return kExitArchive;
    }
    const archive::RenameResult result = store.RenameInstrument(names[0], names[1]);
    if (result != archive::RenameResult::Renamed) {
        PrintError(store.Error().toLocal8Bit().toStdString());
        return result == archive::RenameResult::Failed ? kExitArchive : kExitUsage;
    }
    archive::ListFilter filter;
    filter.instrument = names[1].trimmed();
    int sessions = 0;
    if (!store.ForEach(
            filter, [&sessions](const archive::ListedSession&) { ++sessions; },
            archive::ListDetail::Line)) {
        PrintError(store.Error().toLocal8Bit().toStdString());
        return kExitArchive;
    }
    std::printf("%s is now called %s: %d sessions\n", names[0].toLocal8Bit().constData(),
                filter.instrument.toLocal8Bit().constData(), sessions);
    return std::fflush(stdout) == 0 ? kExitOk : kExitOutputFailed;
}
