#include "download/DumpData.h"

#include <QCoreApplication>
#include <map>
#include <memory>
#include <string>

#include "archive/DumpCopies.h"
#include "archive/SessionArchive.h"
#include "core/LogImage.h"
#include "core/SessionTable.h"
#include "download/CommandArguments.h"
#include "session/DownloadSettings.h"

LogImage& Image() {
    static LogImage image;
    return image;
}

SessionTable& Sessions() {
    static SessionTable table;
    return table;
}

bool LoadDumpAndSessions(const char* path) {
    std::string message;
    if (!Image().LoadDump(path, message)) {
        PrintError(message);
        return false;
    }
    Sessions().Build(Image());
    return true;
}

namespace {

// The archive's copies of the sessions the dump lacks, from the archive Settings.ini names as the
// archive commands read it; none where there is no archive there (none is made).
std::map<int16_t, qint64> ArchivedCopies() {
    // The database's drivers are loaded through an application object.
    int argc = 1;
    char program[] = "tavon-datalog";
    char* argv[] = {program, nullptr};
    std::unique_ptr<QCoreApplication> app;
    if (QCoreApplication::instance() == nullptr) {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    archive::SessionArchive store;
    archive::DumpCopies copies;
    if (!store.Open(QString::fromStdString(ReadDownloadSettings().archive),
                    archive::SessionArchive::OpenMode::ExistingOnly) ||
        !archive::FindDumpCopies(store, Image(), copies)) {
        return {};
    }
    return copies.sessions;
}

} // namespace

bool DumpHoldsSessions(const std::vector<int16_t>& sessionSlots,
                       const std::string& archiveCommand) {
    std::vector<int16_t> lacked;
    for (int16_t slot : sessionSlots) {
        if (!Image().SessionHeld(slot)) {
            lacked.push_back(slot);
        }
    }
    if (lacked.empty()) {
        return true;
    }
    const std::map<int16_t, qint64> copies = ArchivedCopies();
    for (int16_t slot : lacked) {
        const auto copy = copies.find(slot);
        PrintError("slot " + std::to_string(slot) +
                   ": the dump does not hold this session (it was never uploaded into it)" +
                   (copy == copies.end()
                        ? std::string()
                        : "; the archive holds it: tavon-datalog " + archiveCommand + " " +
                              std::to_string(copy->second)));
    }
    return false;
}
