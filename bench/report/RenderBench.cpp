// Renders every slot of a full 500-session memory image, each as a new report, with sessions
// dense with records of every type. Target: under 100 microseconds per 4,000-byte session. Also
// decodes the same sessions to typed values alone, which the report is formatted from.
#include "DenseImage.h"
#include "report/SessionValues.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

constexpr int kSlots = kBenchSlots;
constexpr size_t kSessionBytes = kBenchSessionBytes;

// Inverted rates: seconds per session and per byte, shown with SI prefixes (e.g. "74us").
void SetRates(benchmark::State& bench, double recordBytes) {
    const double sessions = static_cast<double>(bench.iterations()) * kSlots;
    const double sessionBytes = kSessionBytes;
    bench.SetItemsProcessed(static_cast<int64_t>(sessions));
    bench.SetBytesProcessed(static_cast<int64_t>(sessions * sessionBytes));
    bench.counters["per_session"] =
        benchmark::Counter(sessions, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    bench.counters["per_byte"] = benchmark::Counter(
        sessions * sessionBytes, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    bench.counters["record_bytes"] = recordBytes;
}

void BM_RenderEverySlot(benchmark::State& bench) {
    double recordBytes = 0;
    Image& image = FullImage(recordBytes);
    ReportState state;
    state.ShowBarholeGraph = 1;
    state.ModeNames[0] = "Leak Survey";
    state.ModeNames[1] = "Barhole";
    size_t textBytes = 0;
    for (auto _ : bench) {
        for (int16_t slot = 0; slot < kSlots; ++slot) {
            state.ReportBody.clear();
            state.HeadingDay = "Monday 07 ";
            state.HeadingMonth = "Dec 2026";
            const std::string text = RenderSession(state, image, slot);
            textBytes = text.size();
            benchmark::DoNotOptimize(text.data());
        }
    }
    SetRates(bench, recordBytes);
    bench.counters["report_chars"] = static_cast<double>(textBytes);
}
BENCHMARK(BM_RenderEverySlot)->Unit(benchmark::kMillisecond);

// The typed values alone, as the chart and the exports take them: every record in a list.
void BM_DecodeValuesEverySlot(benchmark::State& bench) {
    double recordBytes = 0;
    Image& image = FullImage(recordBytes);
    const std::string modes[4] = {"Leak Survey", "Barhole", "", ""};
    size_t records = 0;
    for (auto _ : bench) {
        for (int16_t slot = 0; slot < kSlots; ++slot) {
            const SessionValues session = DecodeSessionValues(image, slot, modes);
            records = session.Records.size();
            benchmark::DoNotOptimize(session.Records.data());
        }
    }
    SetRates(bench, recordBytes);
    bench.counters["records"] = static_cast<double>(records);
}
BENCHMARK(BM_DecodeValuesEverySlot)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
