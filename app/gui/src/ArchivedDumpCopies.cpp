#include "ArchivedDumpCopies.h"

#include "archive/SessionArchive.h"
#include "session/DownloadSettings.h"

std::unique_ptr<DumpCopySource> ArchivedDumpCopies::Find(LogImage& dump) {
    auto store = std::make_unique<archive::SessionArchive>();
    archive::DumpCopies copies;
    if (!store->Open(QString::fromStdString(ReadDownloadSettings().archive),
                     archive::SessionArchive::OpenMode::ExistingOnly) ||
        !archive::FindDumpCopies(*store, dump, copies) || copies.sessions.empty()) {
        return nullptr;
    }
    return std::unique_ptr<DumpCopySource>(
        new ArchivedDumpCopies(std::move(store), std::move(copies)));
}

ArchivedDumpCopies::ArchivedDumpCopies(std::unique_ptr<archive::SessionArchive> store,
                                       archive::DumpCopies copies)
    : store_(std::move(store)), copies_(std::move(copies)) {}

ArchivedDumpCopies::~ArchivedDumpCopies() = default;

int64_t ArchivedDumpCopies::CopyOf(int16_t slot) const {
    const auto copy = copies_.sessions.find(slot);
    return copy == copies_.sessions.end() ? -1 : copy->second;
}

bool ArchivedDumpCopies::PutInto(LogImage& image, int16_t slot) {
    archive::LoadedSession session;
    const int64_t id = CopyOf(slot);
    if (id < 0 || !store_->Load(id, session)) {
        return false;
    }
    archive::PutCopyIntoDump(image, slot, session.sector);
    return true;
}
