// Which archived sessions a command works on: the ids given, or the archive's search.
#include <string>
#include <vector>

#include "ArchiveCommand.h"
#include "archive/SessionArchive.h"
#include "cli/ArchiveOptions.h"
#include "download/CommandArguments.h"
#include "download/ExitStatus.h"

archive::ListFilter SearchFilter(const ArchiveSearch& search) {
    archive::ListFilter filter;
    filter.from = QString::fromStdString(search.from);
    filter.to = QString::fromStdString(search.to);
    filter.job = QString::fromLocal8Bit(search.job.c_str());
    filter.user = QString::fromLocal8Bit(search.user.c_str());
    filter.alarmOnly = search.alarmOnly;
    filter.calibrationOnly = search.calibrationOnly;
    filter.instrument = QString::fromLocal8Bit(search.instrument.c_str());
    return filter;
}

int ChooseArchived(const ArchiveSearch& search, const std::vector<long long>& ids,
                   archive::SessionArchive& store, std::vector<archive::ListedSession>& chosen) {
    chosen.clear();
    if (!ids.empty()) {
        for (long long id : ids) {
            archive::LoadedSession session;
            if (!store.Load(id, session)) {
                PrintError(store.Error().toLocal8Bit().toStdString());
                return store.Error().startsWith("the archive holds no") ? kExitUsage : kExitArchive;
            }
            chosen.push_back(session.listed);
        }
        return kExitOk;
    }
    const bool listed = store.ForEach(
        SearchFilter(search),
        [&chosen](const archive::ListedSession& session) { chosen.push_back(session); },
        archive::ListDetail::Brief);
    if (!listed) {
        PrintError(store.Error().toLocal8Bit().toStdString());
        return kExitArchive;
    }
    if (chosen.empty()) {
        PrintError("the archive holds no session the search keeps");
        return kExitUsage;
    }
    return kExitOk;
}
