// tavon-datalog archive rename-instrument: another name for an archived instrument, its sessions
// with it. Downloads never rename one: --instrument tells instruments apart instead.
#include <cstdio>
#include <string>

#include "ArchiveCommand.h"
#include "archive/SessionArchive.h"
#include "cli/ArchiveOptions.h"
#include "download/CommandArguments.h"
#include "download/ExitStatus.h"

int RunArchiveRenameInstrument(const QStringList& arguments) {
    ArchiveRenameOptions options;
    std::string message;
    if (!ParseArchiveRenameOptions(ArchiveWords(arguments), options, message)) {
        return ArchiveUsageError(message, arguments);
    }
    archive::SessionArchive store;
    if (!OpenArchive(store, QString::fromLocal8Bit(options.archiveAt.c_str()))) {
        return kExitArchive;
    }
    const QStringList names = {QString::fromLocal8Bit(options.oldName.c_str()),
                               QString::fromLocal8Bit(options.newName.c_str())};
    const archive::RenameResult result = store.RenameInstrument(names[0], names[1]);
    if (result == archive::RenameResult::Unchanged) {
        std::printf("%s is already called %s: nothing changed\n",
                    names[0].toLocal8Bit().constData(),
                    names[1].trimmed().toLocal8Bit().constData());
        return std::fflush(stdout) == 0 ? kExitOk : kExitOutputFailed;
    }
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
