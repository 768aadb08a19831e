// The archive's speed on SQLite: importing a full dump of 500 dense sessions (target: under 2 s),
// listing a 100,000-session archive with one filter (target: under 100 ms), and storing one
// session as a download does after each upload (to set against the upload's own time).
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "archive/SessionArchive.h"
#include "core/LogImage.h"
#include "orvtime/OrvTime.h"
#include "orvtime/TimeFormat.h"
#include "sim/LogMemory.h"

namespace {

constexpr uint32_t kSector = LogImage::kSectorSize;

// Where the slot's stream begins in the memory.
uint32_t SessionOffset(int16_t slot) {
    return LogImage::DataSector(slot) * kSector;
}

QTemporaryDir& Folder() {
    static QTemporaryDir folder;
    return folder;
}

// Every slot full: each sector packed with whole generated sessions, one after another, to
// about 4,000 bytes, under a name of its own.
const std::string& DenseDump() {
    static std::string path;
    if (!path.empty()) {
        return path;
    }
    sim::LogMemory memory;
    memory.Generate(sim::MemoryOptions());
    const uint8_t* bytes = memory.Bytes();
    std::vector<std::vector<uint8_t>> pieces;
    for (const sim::GeneratedSession& s : memory.Sessions()) {
        const uint8_t* start = bytes + SessionOffset(static_cast<int16_t>(s.slot));
        pieces.emplace_back(start, start + s.storedLength);
    }
    uint8_t* out = memory.MutableBytes();
    size_t next = 0;
    const uint32_t first = sim::InstrumentStamp(2026, 1, 5, 8, 0, 0);
    for (int16_t slot = 0; slot < LogImage::kSlotCount; ++slot) {
        std::vector<uint8_t> sector;
        while (sector.size() + pieces[next % pieces.size()].size() < 4000) {
            const std::vector<uint8_t>& piece = pieces[next++ % pieces.size()];
            sector.insert(sector.end(), piece.begin(), piece.end());
        }
        sector.resize(kSector, 0xFF);
        std::copy(sector.begin(), sector.end(), out + SessionOffset(slot));
        char name[21];
        std::snprintf(name, sizeof name, "%08X_%c%c%c%c______", first + slot * 7200u,
                      slot % 5 == 0 ? 'F' : '_', slot % 3 == 0 ? 'A' : '_', '_',
                      slot % 7 == 0 ? 'C' : '_');
        std::copy(name, name + 19, out + LogImage::IndexEntryOffset(slot));
    }
    path = QDir(Folder().path()).filePath("dense.txt").toStdString();
    std::string error;
    if (!memory.WriteDump(path, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::abort();
    }
    return path;
}

// What `archive import` does with one dump: read it, take its sessions apart, store them.
void BM_ImportDenseDump(benchmark::State& state) {
    const std::string dump = DenseDump();
    std::unique_ptr<LogImage> image(new LogImage);
    int round = 0;
    for (auto _ : state) {
        const QString location =
            QDir(Folder().path()).filePath(QString("import-%1.sqlite").arg(round++));
        std::string message;
        if (!image->LoadDump(dump.c_str(), message)) {
            state.SkipWithError(message.c_str());
            break;
        }
        const std::vector<archive::CapturedSession> sessions = archive::CaptureSessions(*image, {});
        archive::SessionArchive store;
        archive::StoreCounts counts;
        if (!store.Open(location) ||
            store.ImportDump(store.Instrument(archive::NamedInstrument("bench"), "bench"), "bench",
                             archive::IndexBytes(*image), sessions, counts) < 0 ||
            counts.added != LogImage::kSlotCount) {
            state.SkipWithError(store.Error().toStdString().c_str());
            break;
        }
    }
}
BENCHMARK(BM_ImportDenseDump)->Unit(benchmark::kMillisecond)->Iterations(3);

// 200 instruments' worth of the dense dump: 100,000 sessions over four years, stored as
// imports are.
// Moves a session later as a whole: its start and its last record's time (the archive refuses a
// session that ends before it starts).
void Shift(archive::CapturedSession& s, uint32_t seconds) {
    const int64_t start = COrvTime(s.stamp).Value();
    s.stamp += seconds;
    if (s.summary.endValue != 0) {
        s.summary.endValue += COrvTime(s.stamp).Value() - start;
    }
}

const QString& LargeArchive() {
    static QString location;
    if (!location.isEmpty()) {
        return location;
    }
    // list-timing.sh keeps it to time the command itself.
    location = qEnvironmentVariableIsSet("TAVON_BENCH_ARCHIVE")
                   ? qEnvironmentVariable("TAVON_BENCH_ARCHIVE")
                   : QDir(Folder().path()).filePath("large.sqlite");
    if (QFileInfo::exists(location)) {
        return location;
    }
    std::unique_ptr<LogImage> image(new LogImage);
    std::string message;
    image->LoadDump(DenseDump().c_str(), message);
    const std::vector<archive::CapturedSession> base = archive::CaptureSessions(*image, {});
    archive::SessionArchive store;
    store.Open(location);
    for (int round = 0; round < 200; ++round) {
        const QString name = QString("unit-%1").arg(round % 20);
        const qint64 instrument = store.Instrument(archive::NamedInstrument(name), name);
        std::vector<archive::CapturedSession> sessions = base;
        for (archive::CapturedSession& s : sessions) {
            Shift(s, static_cast<uint32_t>(round) * 7u * 86400u);
            const int64_t time = COrvTime(s.stamp).Value();
            s.summary.day = QString::fromStdString(FormatTime(time, "%Y-%m-%d"));
            s.summary.jobs = QStringList{QString("NW-%1-%2").arg(round).arg(s.slot)};
            s.sector[0] = static_cast<char>(round); // bytes of its own
        }
        archive::StoreCounts counts;
        store.ImportDump(instrument, "bench", archive::IndexBytes(*image), sessions, counts);
    }
    return location;
}

void ListWith(benchmark::State& state, const archive::ListFilter& filter) {
    archive::SessionArchive store;
    if (!store.Open(LargeArchive())) {
        state.SkipWithError(store.Error().toStdString().c_str());
        return;
    }
    int rows = 0;
    for (auto _ : state) {
        rows = store.List(filter).size();
    }
    state.counters["rows"] = rows;
}

archive::ListFilter Filter(int which) {
    archive::ListFilter f;
    switch (which) {
    case 0:
        f.from = "2027-03-01";
        f.to = "2027-03-31";
        break;
    case 1:
        f.job = "nw-117-4";
        break;
    case 2:
        f.user = "okafor";
        break;
    case 3:
        f.alarmOnly = true;
        break;
    case 4:
        f.calibrationOnly = true;
        break;
    default:
        f.instrument = "unit-3";
        break;
    }
    return f;
}

void BM_List100k(benchmark::State& state) {
    ListWith(state, Filter(static_cast<int>(state.range(0))));
}
// 0 a month, 1 a job number, 2 a user, 3 alarms, 4 calibrations, 5 one instrument
BENCHMARK(BM_List100k)->DenseRange(0, 5)->Unit(benchmark::kMillisecond);

// One session stored in a transaction of its own, as a download stores each upload.
void BM_StoreOneSession(benchmark::State& state) {
    std::unique_ptr<LogImage> image(new LogImage);
    std::string message;
    image->LoadDump(DenseDump().c_str(), message);
    std::vector<archive::CapturedSession> sessions = archive::CaptureSessions(*image, {});
    archive::SessionArchive store;
    store.Open(QDir(Folder().path()).filePath("store.sqlite"));
    const qint64 download =
        store.BeginDownload(store.Instrument(archive::NamedInstrument("b"), "b"), "bench");
    uint32_t round = 0;
    for (auto _ : state) {
        archive::CapturedSession& s = sessions[round % sessions.size()];
        Shift(s, 1000000u * (++round / sessions.size() + 1));
        const archive::StoreResult result = store.Store(download, s);
        if (result == archive::StoreResult::Failed || result == archive::StoreResult::Refused) {
            state.SkipWithError(store.Error().toStdString().c_str());
            break;
        }
    }
}
BENCHMARK(BM_StoreOneSession)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::benchmark::Initialize(&argc, argv);
    ::benchmark::RunSpecifiedBenchmarks();
    return 0;
}
