// The instrument register over a large archive: 50 instruments of 2,000 sessions each (100,000),
// each instrument's sessions the simulator's memory of its own seed repeated over the years. The
// targets: the status of every instrument under 300 ms (the whole command, timed by
// compliance-timing.sh) and the pack of the 50 under 5 s.
#include <benchmark/benchmark.h>

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "archive/SessionArchive.h"
#include "compliance/CivilDay.h"
#include "compliance/CompliancePack.h"
#include "compliance/InstrumentRegister.h"
#include "core/LogImage.h"
#include "orvtime/OrvTime.h"
#include "sim/LogMemory.h"

namespace {

constexpr int kInstruments = 50;
constexpr int kSessionsEach = 2000;

QTemporaryDir& Folder() {
    static QTemporaryDir folder;
    return folder;
}

// The day the status is asked for: after the last session.
int64_t AtDay() {
    int64_t day = 0;
    compliance::ParseDay("2036-01-01", day);
    return day;
}

// Moves a session later as a whole, its last record's time with it (the archive refuses a
// session that ends before it starts).
void Shift(archive::CapturedSession& s, uint32_t seconds) {
    const int64_t start = COrvTime(s.stamp).Value();
    s.stamp += seconds;
    if (s.summary.endValue != 0) {
        s.summary.endValue += COrvTime(s.stamp).Value() - start;
    }
}

void Fail(const QString& message) {
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    std::exit(1);
}

const QString& LargeArchive() {
    static QString location;
    if (!location.isEmpty()) {
        return location;
    }
    // compliance-timing.sh keeps it to time the command itself.
    location = qEnvironmentVariableIsSet("TAVON_BENCH_ARCHIVE")
                   ? qEnvironmentVariable("TAVON_BENCH_ARCHIVE")
                   : QDir(Folder().path()).filePath("register.sqlite");
    if (QFileInfo::exists(location)) {
        return location;
    }
    archive::SessionArchive store;
    if (!store.Open(location)) {
        Fail(store.Error());
    }
    std::unique_ptr<LogImage> image(new LogImage);
    for (int unit = 0; unit < kInstruments; ++unit) {
        sim::LogMemory memory;
        sim::MemoryOptions options;
        options.seed = static_cast<uint64_t>(unit + 1);
        memory.Generate(options);
        image->Store(0, memory.Bytes(), LogImage::kImageSize);
        // Dated sessions only: an undated one copied would be the same session again.
        std::vector<archive::CapturedSession> base;
        for (archive::CapturedSession& s : archive::CaptureSessions(*image, {})) {
            if (s.dated) {
                base.push_back(std::move(s));
            }
        }
        std::vector<archive::CapturedSession> sessions;
        sessions.reserve(kSessionsEach);
        // The months the memory covers, again and again: a new copy every 120 days.
        for (int k = 0; k < kSessionsEach; ++k) {
            archive::CapturedSession s = base[static_cast<size_t>(k) % base.size()];
            Shift(s, static_cast<uint32_t>(k / static_cast<int>(base.size())) * 120u * 86400u);
            sessions.push_back(std::move(s));
        }
        const QString name = QString("unit-%1").arg(unit + 1, 2, 10, QChar('0'));
        archive::StoreCounts counts;
        if (store.ImportDump(store.Instrument(archive::NamedInstrument(name), name), "bench",
                             archive::IndexBytes(*image), sessions, counts) < 0) {
            Fail(store.Error());
        }
    }
    compliance::InstrumentRegister reg(store);
    if (reg.Refresh() < 0) {
        Fail(reg.Error());
    }
    return location;
}

// Every instrument's status: what `archive compliance` reads and works out.
void BM_ComplianceAll(benchmark::State& state) {
    archive::SessionArchive store;
    if (!store.Open(LargeArchive())) {
        state.SkipWithError(store.Error().toStdString().c_str());
        return;
    }
    compliance::InstrumentRegister reg(store);
    std::vector<compliance::InstrumentRecord> records;
    for (auto _ : state) {
        if (reg.Refresh() < 0 || !reg.Instruments(AtDay(), {}, records)) {
            state.SkipWithError(reg.Error().toStdString().c_str());
            break;
        }
    }
    state.counters["instruments"] = static_cast<double>(records.size());
}
BENCHMARK(BM_ComplianceAll)->Unit(benchmark::kMillisecond);

// The compliance pack of the 50.
void BM_Pack50(benchmark::State& state) {
    archive::SessionArchive store;
    if (!store.Open(LargeArchive())) {
        state.SkipWithError(store.Error().toStdString().c_str());
        return;
    }
    compliance::InstrumentRegister reg(store);
    const QString path = QDir(Folder().path()).filePath("pack.pdf");
    for (auto _ : state) {
        std::vector<compliance::InstrumentRecord> records;
        compliance::PackSettings settings;
        settings.atDay = AtDay();
        settings.archiveName = LargeArchive();
        settings.madeAt = "bench";
        QString error;
        if (!reg.Instruments(settings.atDay, {}, records) ||
            !compliance::WriteCompliancePack(reg, records, settings, path, error)) {
            state.SkipWithError(error.toStdString().c_str());
            break;
        }
    }
    state.counters["bytes"] = static_cast<double>(QFileInfo(path).size());
}
BENCHMARK(BM_Pack50)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace

int main(int argc, char** argv) {
    // The pack lays out text with fonts: the GUI application, on no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    ::benchmark::Initialize(&argc, argv);
    ::benchmark::RunSpecifiedBenchmarks();
    return 0;
}
