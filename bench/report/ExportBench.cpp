// Exports every session of a full 500-session memory image, dense with records of every type,
// to each format in one file. Target: under half a second per format, decoding included.
#include "DenseImage.h"
#include "export/SessionExport.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

void BM_ExportEverySlot(benchmark::State& bench, ExportFormat format) {
    double recordBytes = 0;
    Image& image = FullImage(recordBytes);
    const std::string modes[4] = {"Leak Survey", "Barhole", "", ""};
    qsizetype size = 0;
    for (auto _ : bench) {
        std::vector<SessionValues> sessions;
        sessions.reserve(kBenchSlots);
        for (int16_t slot = 0; slot < kBenchSlots; ++slot) {
            sessions.push_back(DecodeSessionValues(image, slot, modes));
        }
        const QByteArray data = ExportSessions(sessions, format, LogFilter());
        size = data.size();
        benchmark::DoNotOptimize(data.constData());
    }
    bench.counters["file_bytes"] = static_cast<double>(size);
}
BENCHMARK_CAPTURE(BM_ExportEverySlot, csv, ExportFormat::Csv)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExportEverySlot, geojson, ExportFormat::GeoJson)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExportEverySlot, gpx, ExportFormat::Gpx)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
