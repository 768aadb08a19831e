#include "ArchiveFixture.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUuid>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/SessionTable.h"
#include "report/Report.h"
#include "sim/LogMemory.h"

namespace archivetest {

std::unique_ptr<LogImage> GeneratedImage(uint64_t seed) {
    sim::LogMemory memory;
    sim::MemoryOptions options;
    options.seed = seed;
    memory.Generate(options);
    std::unique_ptr<LogImage> image(new LogImage);
    image->Store(0, memory.Bytes(), LogImage::kImageSize);
    return image;
}

void ReuseSlot(LogImage& image, int16_t slot, uint32_t stamp, int16_t fromSlot) {
    const uint32_t entry = LogImage::IndexEntryOffset(slot);
    char name[20];
    image.ReadIndexEntry(slot, name);
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08X", stamp);
    std::memcpy(name, digits, 8);
    image.Store(entry, reinterpret_cast<const uint8_t*>(name), 19);
    uint8_t sector[LogImage::kSectorSize];
    std::memcpy(sector, image.Bytes() + SessionOffset(fromSlot), sizeof sector);
    image.Store(SessionOffset(slot), sector, sizeof sector);
}

void CutShort(LogImage& image, int16_t slot) {
    const uint32_t start = SessionOffset(slot);
    uint32_t used = LogImage::kSectorSize;
    while (used > 0 && image.Bytes()[start + used - 1] == 0xFF) {
        --used;
    }
    const std::vector<uint8_t> erased(LogImage::kSectorSize - used / 2, 0xFF);
    image.Store(start + used / 2, erased.data(), static_cast<uint32_t>(erased.size()));
}

uint32_t StampOf(LogImage& image, int16_t slot) {
    char name[20];
    image.ReadIndexEntry(slot, name);
    return static_cast<uint32_t>(std::strtoul(std::string(name, 8).c_str(), nullptr, 16));
}

int16_t NewestSlot(LogImage& image, uint32_t& stamp) {
    int16_t newest = -1;
    stamp = 0;
    for (int16_t slot = 0; slot < LogImage::kSlotCount; ++slot) {
        char name[20];
        if (image.ReadIndexEntry(slot, name) != 0 || std::strncmp(name, "FFFFFFFF", 8) == 0) {
            continue;
        }
        const uint32_t value =
            static_cast<uint32_t>(std::strtoul(std::string(name, 8).c_str(), nullptr, 16));
        if (value > stamp) {
            stamp = value;
            newest = slot;
        }
    }
    return newest;
}

std::string FreshLocation(Engine engine, const std::string& folder) {
    if (engine == Engine::SQLite) {
        return folder + "/archive.sqlite";
    }
    const char* server = std::getenv("TAVON_TEST_POSTGRES");
    if (server == nullptr || *server == '\0') {
        return std::string();
    }
    archive::SessionArchive maintenance;
    if (!maintenance.Open(QString::fromUtf8(server))) {
        return std::string();
    }
    const std::string name =
        "t" + QUuid::createUuid().toString(QUuid::Id128).left(16).toStdString();
    QSqlQuery create(QSqlDatabase::database(maintenance.ConnectionName()));
    if (!create.exec(QString::fromStdString("CREATE DATABASE " + name))) {
        return std::string();
    }
    // The server's address with the new database in place of its own, its options kept.
    const std::string location = server;
    const size_t query = location.find('?');
    return location.substr(0, location.rfind('/', query) + 1) + name +
           (query == std::string::npos ? std::string() : location.substr(query));
}

void DropLocation(Engine engine, const std::string& location) {
    const char* server = std::getenv("TAVON_TEST_POSTGRES");
    if (engine == Engine::SQLite || server == nullptr || location.empty()) {
        return;
    }
    archive::SessionArchive maintenance;
    if (maintenance.Open(QString::fromUtf8(server))) {
        QSqlQuery drop(QSqlDatabase::database(maintenance.ConnectionName()));
        const size_t slash = location.rfind('/', location.find('?')) + 1;
        drop.exec(QString::fromStdString("DROP DATABASE IF EXISTS " +
                                         location.substr(slash, location.find('?') - slash)));
    }
}

std::string RenderSlots(LogImage& image, const std::vector<int16_t>& chosen) {
    std::unique_ptr<SessionTable> table(new SessionTable);
    table->Build(image);
    ReportState state;
    for (int16_t slot : chosen) {
        const SessionEntry* entry = table->FindDated(slot);
        state.HeadingDay = entry != nullptr ? std::string(entry->dayLabel) + " " : std::string();
        state.HeadingMonth = entry != nullptr ? std::string(entry->monthLabel) : std::string();
        RenderSession(state, image, slot);
    }
    return state.ReportText;
}

} // namespace archivetest
