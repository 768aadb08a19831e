#include "CommsFixture.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<long> allocations{0};

} // namespace

// Every allocation of the process is counted, so a test can prove that a stretch of code made
// none.
void* operator new(std::size_t size) {
    ++allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    ++allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

TEST(AllocationCounter, SeesAnAllocation) {
    const long before = allocations.load();
    auto p = std::make_unique<std::string>(100, 'x');
    EXPECT_GE(allocations.load() - before, 2);
}

TEST_F(CommsTest, ASectorUploadAllocatesNothing) {
    RecordingProgress* progress = nullptr;
    engine.SetProgressFactory([&progress] {
        auto view = std::make_unique<RecordingProgress>();
        progress = view.get();
        return view;
    });
    engine.Attach(link);
    ASSERT_NE(progress, nullptr);
    engine.SetFileSize(4096, "Reading sector");
    Select("Byte");

    // A 4,096-byte sector comes as 93 frames of 44 bytes and one of 4, two frames a tick.
    std::string sector;
    for (int i = 0; i < 4096; ++i)
        sector += static_cast<char>(i * 13 % 256);
    link->QueueTick(Answer("00"));
    link->QueueTick(Answer("00"));
    std::string tick;
    for (int at = 0, frames = 0; at < 4096; at += 44) {
        tick += MakeFrame('M', sector.substr(static_cast<size_t>(at), 44));
        if (++frames % 2 == 0) {
            link->QueueTick(tick);
            tick.clear();
        }
    }
    link->QueueTick(tick + Answer("00"));
    link->QueueTick(Answer("0A"));

    const long before = allocations.load();
    // The whole exchange: poll, write the upload flag, receive the run, poll again.
    ASSERT_EQ(engine.Ask(&target, 0), 1);
    engine.OnTimer();
    ASSERT_EQ(engine.Set(&target, 3u), 1);
    // The acknowledgement, 47 ticks of two bulk frames each, then the closing answer.
    for (int i = 0; i < 49; ++i)
        engine.OnTimer();
    EXPECT_EQ(target.ids.back(), ID_COMMS_UNSOLICITED);
    ASSERT_EQ(engine.Ask(&target, 0), 1);
    engine.OnTimer();
    const long during = allocations.load() - before;

    EXPECT_EQ(during, 0);
    // All 94 frames were counted: the bar moved at every tenth.
    EXPECT_EQ(progress->positions, (std::vector<int>{10, 20, 30, 40, 50, 60, 70, 80, 90}));
    EXPECT_EQ(engine.GetNewValue(), 10);
    std::vector<char> buffer(4097);
    int length = 0;
    engine.GetUploadedData(buffer.data(), static_cast<int>(buffer.size()), length);
    EXPECT_EQ(length, 4096);
    EXPECT_EQ(std::string(buffer.data(), 4096), sector);
    EXPECT_EQ(target.ids.back(), ID_COMMS_ASK_DONE);
}

TEST_F(CommsTest, TextReadsAndWritesAllocateNothing) {
    UseDriver(EngineDriverV11);
    Select("LongText");
    link->QueueTick(Answer("ABCDEFGHIJKLMNOP"));
    link->QueueTick(Answer("QRST"));
    link->QueueTick(Answer("?"));
    link->QueueTick(Answer("00"));
    const std::string text = "short";
    const long before = allocations.load();
    engine.Ask(&target, 0);
    engine.OnTimer();
    engine.OnTimer();
    engine.Set(&target, text);
    engine.OnTimer();
    engine.OnTimer();
    EXPECT_EQ(allocations.load() - before, 0);
    EXPECT_STREQ(engine.GetNewString(), "ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(target.ids.back(), ID_COMMS_SET_DONE);
}

} // namespace
