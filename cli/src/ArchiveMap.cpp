// tavon-datalog archive map: the map of archived sessions, as map draws it from a dump.
#include <memory>
#include <string>
#include <vector>

#include "ArchiveCommand.h"
#include "archive/SessionArchive.h"
#include "cli/ArchiveOptions.h"
#include "download/ChartOutput.h"
#include "download/ExitStatus.h"
#include "download/FrontEndApplication.h"
#include "download/MapOutput.h"

#include <QCoreApplication>

int RunArchiveMap(const QStringList& arguments) {
    ArchiveMapOptions options;
    std::string message;
    if (!ParseArchiveMapOptions(ArchiveWords(arguments), options, message)) {
        return ArchiveUsageError(message, arguments);
    }
    int qtArgc = 1;
    char program[] = "tavon-datalog";
    char* qtArgv[] = {program, nullptr};
    const std::unique_ptr<QCoreApplication> app = MakeApplication(qtArgc, qtArgv, true);
    std::vector<long long> ids;
    {
        archive::SessionArchive store;
        if (!OpenArchive(store, QString::fromLocal8Bit(options.archiveAt.c_str()))) {
            return kExitArchive;
        }
        std::vector<archive::ListedSession> chosen;
        const int status = ChooseArchived(options, options.ids, store, chosen);
        if (status != kExitOk) {
            return status;
        }
        for (const archive::ListedSession& session : chosen) {
            ids.push_back(session.id);
        }
    }
    std::vector<SessionValues> sessions;
    const int status = DecodeArchivedSessions(ids, options.archiveAt, sessions);
    if (status != kExitOk) {
        return status;
    }
    return WriteMapFile(sessions, MapRequestOf(options));
}
