#pragma once

#include <gtest/gtest.h>

#include <QVariantList>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/SessionArchive.h"
#include "core/LogImage.h"
#include "testsupport/EnvGuard.h"
#include "testsupport/Processes.h"
#include "testsupport/TempDir.h"

// What the archive suites share: generated instrument memories and a fresh archive on each
// engine.
namespace archivetest {

enum class Engine { SQLite, PostgreSQL };

// Where the slot's stream begins in the image.
inline uint32_t SessionOffset(int16_t slot) {
    return LogImage::DataSector(slot) * LogImage::kSectorSize;
}

// The simulator's generated memory for `seed`, as an index upload and every session's sector
// would leave it in the image.
std::unique_ptr<LogImage> GeneratedImage(uint64_t seed);

// Puts a newer session into `slot`: index name with `stamp` (its tags kept) and the sector of
// `fromSlot`.
void ReuseSlot(LogImage& image, int16_t slot, uint32_t stamp, int16_t fromSlot);

// Cuts the slot's session short, as if the instrument were still recording it: everything from
// half its stored length on reads as erased.
void CutShort(LogImage& image, int16_t slot);

// The start stamp of the slot's index entry (0xFFFFFFFF: undated).
uint32_t StampOf(LogImage& image, int16_t slot);

// The dated slot with the greatest stamp, and that stamp.
int16_t NewestSlot(LogImage& image, uint32_t& stamp);

// The RTF of rendering these slots of the image in turn, as render and the archive do.
std::string RenderSlots(LogImage& image, const std::vector<int16_t>& chosen);

// pdftotext's text of a PDF (Debian poppler-utils); empty, and a failure, when it cannot read it.
std::string PdfText(const std::string& path);

// The archive suites' base: each test's archives made new on the engine of its parameter, and
// every one of them closed and dropped when it ends, so that no test sees another's rows.
class EngineFixture : public ::testing::TestWithParam<Engine> {
protected:
    // m_location made for m_archive (left closed: a test may open it at an older schema); the
    // test skipped without a server. A suite that adds to it returns at once when IsSkipped().
    void SetUp() override;
    void TearDown() override { DropAll(); }

    // Where a new, empty archive called `name` (a name not yet used in the test) goes: a SQLite
    // file in the test's folder, or a new database on the server that TAVON_TEST_POSTGRES names
    // (empty when there is none).
    std::string FreshLocation(const std::string& name);
    // That archive, open, owned by the fixture; null without a server.
    archive::SessionArchive* Fresh(const std::string& name);
    // m_archive closed and m_location made anew for it; false without a server.
    bool Renew(const std::string& name);
    // Every archive closed and every location made so far dropped: the names are free again.
    void DropAll();

    QString Location() const { return QString::fromStdString(m_location); }
    // tavon-datalog archive `args` --archive m_location, in UTC.
    testsupport::RunResult Datalog(const std::vector<std::string>& args);
    // The statement run on m_archive with `values` bound; a failure when it did not run.
    bool Sql(const QString& statement, const QVariantList& values = {});

    testsupport::TempDir m_dir{"tavon-engine-"};
    // No system-wide list of trusted keys this machine may have installed judges a test's
    // signers: a test that wants one writes this file.
    testsupport::EnvGuard m_systemKeys{"TAVON_SYSTEM_TRUSTED_KEYS", m_dir.File("system-keys")};
    archive::SessionArchive m_archive;
    std::string m_location;

private:
    std::vector<std::string> m_locations;
    std::vector<std::unique_ptr<archive::SessionArchive>> m_archives;
};

// The same with m_archive open at the current schema from the start.
class OpenArchiveFixture : public EngineFixture {
protected:
    void SetUp() override;
};

// The parameter's name in the test's: SQLite or PostgreSQL.
std::string EngineName(const ::testing::TestParamInfo<Engine>& info);

} // namespace archivetest

#define SKIP_WITHOUT_SERVER()                                                                      \
    GTEST_SKIP() << "no PostgreSQL server: run under scripts/with-postgres.sh"

// `var`: Fresh(name), or the test skipped without a server.
#define FRESH_OR_SKIP(var, name)                                                                   \
    archive::SessionArchive* var = Fresh(name);                                                    \
    if (var == nullptr) {                                                                          \
        SKIP_WITHOUT_SERVER();                                                                     \
    }

// The suite's tests run once on each engine.
#define INSTANTIATE_ON_BOTH_ENGINES(suite)                                                         \
    INSTANTIATE_TEST_SUITE_P(                                                                      \
        Engines, suite,                                                                            \
        ::testing::Values(archivetest::Engine::SQLite, archivetest::Engine::PostgreSQL),           \
        archivetest::EngineName)
