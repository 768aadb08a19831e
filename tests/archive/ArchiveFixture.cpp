#include "ArchiveFixture.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/SessionTable.h"
#include "report/Report.h"
#include "sim/LogMemory.h"

namespace archivetest {

namespace {

// The server the tests make their databases on; null when there is none.
const char* Server() {
    const char* server = std::getenv("TAVON_TEST_POSTGRES");
    return server != nullptr && *server != '\0' ? server : nullptr;
}

// A query on the server's maintenance database; false when it could not be reached or refused it.
bool OnServer(const std::string& statement) {
    archive::SessionArchive maintenance;
    if (Server() == nullptr || !maintenance.Open(QString::fromUtf8(Server()))) {
        return false;
    }
    QSqlQuery query(QSqlDatabase::database(maintenance.ConnectionName()));
    return query.exec(QString::fromStdString(statement));
}

} // namespace

std::string PdfText(const std::string& path) {
    QProcess process;
    process.start("pdftotext", {QString::fromStdString(path), "-"});
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        ADD_FAILURE() << "pdftotext: " << process.errorString().toStdString();
        return std::string();
    }
    return process.readAllStandardOutput().toStdString();
}

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

void EngineFixture::SetUp() {
    ASSERT_TRUE(m_dir.Ok());
    if (!Renew("archive")) {
        SKIP_WITHOUT_SERVER();
    }
}

void OpenArchiveFixture::SetUp() {
    EngineFixture::SetUp();
    if (!IsSkipped()) {
        ASSERT_TRUE(m_archive.Open(Location())) << m_archive.Error().toStdString();
    }
}

std::string EngineFixture::FreshLocation(const std::string& name) {
    std::string location;
    if (GetParam() == Engine::SQLite) {
        location = m_dir.File(name + ".sqlite");
        EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(location))) << location;
    } else {
        const std::string database =
            "t" + QUuid::createUuid().toString(QUuid::Id128).left(16).toStdString();
        if (!OnServer("CREATE DATABASE " + database)) {
            return std::string();
        }
        // The server's address with the new database in place of its own, its options kept.
        const std::string server = Server();
        const size_t query = server.find('?');
        location = server.substr(0, server.rfind('/', query) + 1) + database +
                   (query == std::string::npos ? std::string() : server.substr(query));
    }
    m_locations.push_back(location);
    return location;
}

archive::SessionArchive* EngineFixture::Fresh(const std::string& name) {
    const std::string location = FreshLocation(name);
    if (location.empty()) {
        return nullptr;
    }
    m_archives.emplace_back(new archive::SessionArchive);
    EXPECT_TRUE(m_archives.back()->Open(QString::fromStdString(location)))
        << m_archives.back()->Error().toStdString();
    return m_archives.back().get();
}

bool EngineFixture::Renew(const std::string& name) {
    m_archive.Close();
    m_location = FreshLocation(name);
    return !m_location.empty();
}

void EngineFixture::DropAll() {
    // A database with a connection open cannot be dropped.
    m_archive.Close();
    m_archives.clear();
    for (const std::string& location : m_locations) {
        if (GetParam() == Engine::SQLite) {
            QFile::remove(QString::fromStdString(location));
        } else {
            const size_t query = location.find('?');
            const size_t slash = location.rfind('/', query) + 1;
            OnServer("DROP DATABASE IF EXISTS " +
                     location.substr(slash, query == std::string::npos ? query : query - slash));
        }
    }
    m_locations.clear();
}

testsupport::RunResult EngineFixture::Datalog(const std::vector<std::string>& args) {
    std::vector<std::string> all = {"archive"};
    all.insert(all.end(), args.begin(), args.end());
    all.insert(all.end(), {"--archive", m_location});
    return testsupport::RunProgram("tavon-datalog", all, m_dir.Path(), 120, {"TZ=UTC", "LC_ALL=C"});
}

bool EngineFixture::Sql(const QString& statement, const QVariantList& values) {
    QSqlQuery query(QSqlDatabase::database(m_archive.ConnectionName()));
    EXPECT_TRUE(query.prepare(statement)) << statement.toStdString();
    for (const QVariant& value : values) {
        query.addBindValue(value);
    }
    const bool done = query.exec();
    EXPECT_TRUE(done) << statement.toStdString() << ": " << query.lastError().text().toStdString();
    return done;
}

std::string EngineName(const ::testing::TestParamInfo<Engine>& info) {
    return info.param == Engine::SQLite ? "SQLite" : "PostgreSQL";
}

} // namespace archivetest
