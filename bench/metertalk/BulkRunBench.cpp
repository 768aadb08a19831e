#include "core/LogImage.h"
#include "metertalk/CommsEngine.h"
#include "metertalk/TestList.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// Plays back a recorded byte stream the way a serial driver hands it out: whatever has arrived,
// at most what the reader asks for.
class ReplayLink : public Link {
public:
    explicit ReplayLink(std::string bytes) : bytes_(std::move(bytes)) {}
    void Rewind() { pos_ = 0; }
    bool Finished() const { return pos_ >= bytes_.size(); }

    bool IsOpen() const override { return true; }
    int32_t Read(uint8_t* buffer, int32_t max) override {
        const size_t n = std::min(bytes_.size() - pos_, static_cast<size_t>(max));
        std::memcpy(buffer, bytes_.data() + pos_, n);
        pos_ += n;
        return static_cast<int32_t>(n);
    }
    int32_t Write(const uint8_t*, int32_t length) override { return length; }
    bool IsPipe() const override { return false; }
    int32_t BytesWaiting() override { return static_cast<int32_t>(bytes_.size() - pos_); }
    bool SetModemLine(ModemLine) override { return true; }
    bool Configure(const LineSettings&) override { return true; }
    void SetQueueSizes(int32_t, int32_t) override {}
    void Close() override {}

private:
    std::string bytes_;
    size_t pos_ = 0;
};

class CountingListener : public CommsListener {
public:
    void OnCommsEvent(CommsEvent event) override {
        ++told;
        last = event;
    }
    long told = 0;
    CommsEvent last = CommsEvent::FrameStart;
};

std::string Frame(char kind, const std::string& payload) {
    std::string frame = "Y";
    frame += static_cast<char>(64 + payload.size() + 6);
    frame += kind;
    frame += payload;
    frame += ' ';
    unsigned int sum = 0;
    for (unsigned char c : frame)
        sum += c;
    const unsigned int checksum = (0x100 - (sum & 0xff)) & 0xff;
    const char hex[] = "0123456789ABCDEF";
    frame += hex[checksum >> 4];
    frame += hex[checksum & 0xf];
    frame += "\r\n";
    return frame;
}

constexpr int SectorSize = static_cast<int>(LogImage::kSectorSize);
constexpr int FramesPerSector = 94; // 93 frames of 44 bytes and one of 4
// Every frame begins with a notice; the acknowledgement adds "set done", the closing answer
// "upload done".
constexpr long EventsPerSector = FramesPerSector + 4;

// One sector upload as the instrument sends it: the acknowledgement of the upload flag, the bulk
// frames, the closing answer.
std::string RecordedSectorRun() {
    std::string run = Frame('A', "00");
    for (int at = 0; at < SectorSize; at += 44) {
        std::string data;
        for (int i = at; i < at + 44 && i < SectorSize; ++i)
            data += static_cast<char>((i * 37 + 11) % 256);
        run += Frame('M', data);
    }
    return run + Frame('A', "00");
}

void BM_SectorUploadThroughOnTimer(benchmark::State& state) {
    CTestList list;
    list.InitTestList();
    list.ReadDriver(nullptr);
    list.FindTest("Upload flag");
    CommsEngine engine;
    engine.SetTestList(&list);
    auto link = std::make_shared<ReplayLink>(RecordedSectorRun());
    engine.Attach(link);
    CountingListener listener;
    std::vector<char> uploaded(CommsEngine::UploadCapacity + 1);
    int length = 0;

    long ticks = 0;
    for (auto _ : state) {
        link->Rewind();
        engine.Set(&listener, 3u);
        while (!link->Finished()) {
            engine.OnTimer();
            ++ticks;
        }
        benchmark::DoNotOptimize(listener.told);
    }
    engine.GetUploadedData(uploaded.data(), static_cast<int>(uploaded.size()), length);
    if (length != SectorSize || listener.told != state.iterations() * EventsPerSector ||
        listener.last != CommsEvent::UploadDone)
        state.SkipWithError("the recorded run did not upload the sector");

    state.SetItemsProcessed(state.iterations() * FramesPerSector);
    state.SetBytesProcessed(state.iterations() * SectorSize);
    state.counters["ns_per_frame"] =
        benchmark::Counter(static_cast<double>(state.iterations() * FramesPerSector),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["ticks_per_sector"] =
        static_cast<double>(ticks) / static_cast<double>(state.iterations());
}

BENCHMARK(BM_SectorUploadThroughOnTimer);

} // namespace

BENCHMARK_MAIN();
