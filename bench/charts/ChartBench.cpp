// The chart of a dense 4,000-byte session (target: under 50 ms) and of a Full Day chain of 20
// such sessions (under 200 ms): decoding to series, laying the chart out and drawing it once at
// the program's size, as choosing a session in the program does.
#include "DenseImage.h"
#include "charts/SessionChartPlot.h"
#include "charts/SessionChartSource.h"

#include <QApplication>
#include <QPixmap>
#include <benchmark/benchmark.h>

#include <vector>

namespace {

const ModeNameList kModes = {"Leak Survey", "Barhole", "", ""};

void DrawChain(benchmark::State& bench, int sessions) {
    double recordBytes = 0;
    Image& image = FullImage(recordBytes);
    std::vector<int16_t> chain;
    for (int16_t slot = 0; slot < sessions; ++slot) {
        chain.push_back(slot);
    }
    SessionChartPlot plot;
    plot.resize(1000, 700);
    size_t points = 0;
    for (auto _ : bench) {
        const charts::SessionChart chart =
            charts::ChartOfSessions(image, chain, kModes, LogFilter{});
        plot.SetChart(chart, "Monday 07 Dec 2026");
        const QPixmap drawn = plot.toPixmap(1000, 700);
        benchmark::DoNotOptimize(drawn.cacheKey());
        points = 0;
        for (const charts::GasSeries& series : chart.gases) {
            points += series.PointCount();
        }
    }
    bench.counters["points"] = static_cast<double>(points);
    bench.counters["record_bytes"] = recordBytes * sessions;
}

void BM_ChartOfADenseSession(benchmark::State& bench) {
    DrawChain(bench, 1);
}
BENCHMARK(BM_ChartOfADenseSession)->Unit(benchmark::kMillisecond);

void BM_ChartOfAFullDayOf20(benchmark::State& bench) {
    DrawChain(bench, 20);
}
BENCHMARK(BM_ChartOfAFullDayOf20)->Unit(benchmark::kMillisecond);

// The series alone, without drawing: what the program computes off the window's thread.
void BM_SeriesOfAFullDayOf20(benchmark::State& bench) {
    double recordBytes = 0;
    Image& image = FullImage(recordBytes);
    std::vector<int16_t> chain;
    for (int16_t slot = 0; slot < 20; ++slot) {
        chain.push_back(slot);
    }
    for (auto _ : bench) {
        const charts::SessionChart chart =
            charts::ChartOfSessions(image, chain, kModes, LogFilter{});
        benchmark::DoNotOptimize(chart.gases.data());
    }
}
BENCHMARK(BM_SeriesOfAFullDayOf20)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
