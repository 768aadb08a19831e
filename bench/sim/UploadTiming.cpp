// Times the program's index upload (ten sectors) and one session upload (four pieces) through
// MeterTalk against a running tavon-instrument, with the program's own 100 ms tick: one
// OnTimer per tick, each request sent as soon as the event that ends the one before it arrives.
// With --fast, the short tick of fast uploads runs OnArrival between the 100 ms ticks, as the
// program's ArrivalTick does; with --sessions N, the whole memory follows: the index and the
// sessions of slots 0 to N-1.
//
//   sim_upload_timing [--fast] [--sessions N] [SLOT]
//   (the simulator must serve "RAK Pipe" in the same pipe folder)
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <optional>
#include <string>

#include "core/LogImage.h"
#include "linkselect/LinkSelection.h"
#include "metertalk/ArrivalTick.h"
#include "metertalk/CommsEngine.h"
#include "metertalk/TestList.h"
#include "session/UploadMachine.h"

namespace {

constexpr int kTickMs = 100;
// Longest wait for one event: a time-out is 2 s, a whole sector at 9,600 baud about 5 s.
constexpr qint64 kEventWaitMs = 60000;

class Recorder : public CommsListener {
public:
    void OnCommsEvent(CommsEvent event) override { events.push_back(event); }
    std::deque<CommsEvent> events;
};

class Timing {
public:
    explicit Timing(bool fast) : m_fast(fast) {}

    bool Open() {
        m_list.InitTestList();
        m_list.ReadDriver(nullptr);
        m_engine.SetTestList(&m_list);
        const AppInfo app{"Tavon Datalogging", ""};
        if (!m_engine.Open(ModuleLinkSelection(), app, "KOVA", "115,200"))
            return false;
        m_clock.start();
        m_nextTick = 0;
        return true;
    }
    void Close() { m_engine.Close(); }

    // One tick of the program's timer, on the 100 ms grid; in fast mode, one short tick, or the
    // 100 ms one when it is due.
    void Tick() {
        qint64 wait = m_nextTick - m_clock.elapsed();
        if (m_fast && wait > 0) {
            QThread::msleep(
                static_cast<unsigned long>(std::min<qint64>(wait, ArrivalTick::kIntervalMs)));
            m_engine.OnArrival();
            if (m_nextTick > m_clock.elapsed())
                return;
            wait = 0;
        }
        if (wait > 0)
            QThread::msleep(static_cast<unsigned long>(wait));
        m_nextTick += kTickMs;
        ++ticks;
        m_engine.OnTimer();
    }
    std::optional<CommsEvent> Next() {
        const qint64 deadline = m_clock.elapsed() + kEventWaitMs;
        while (m_clock.elapsed() < deadline) {
            if (m_rec.events.empty())
                Tick();
            while (!m_rec.events.empty()) {
                const CommsEvent event = m_rec.events.front();
                m_rec.events.pop_front();
                if (event != CommsEvent::FrameStart)
                    return event;
            }
        }
        return std::nullopt;
    }
    bool Set(const char* test, unsigned value, CommsEvent expect) {
        if (m_list.FindTest(test) == 0)
            return false;
        m_engine.Set(&m_rec, value);
        return Next() == expect;
    }
    bool Upload(unsigned value, std::string* out) {
        if (!Set("Upload flag", value, CommsEvent::SetDone) || Next() != CommsEvent::UploadDone)
            return false;
        static char buffer[CommsEngine::UploadCapacity + 1];
        int length = 0;
        m_engine.GetUploadedData(buffer, static_cast<int>(sizeof buffer), length);
        if (out)
            out->assign(buffer, static_cast<size_t>(length));
        bytes += length;
        return true;
    }
    bool Area(unsigned sector, unsigned offset) {
        return Set("Sector to upload", sector, CommsEvent::SetDone) &&
               Set("Index to upload", offset, CommsEvent::SetDone) && Upload(3, nullptr);
    }
    bool Poll() {
        if (m_list.FindTest("Upload flag") == 0)
            return false;
        m_engine.Ask(&m_rec, 0);
        return Next() == CommsEvent::AskDone;
    }
    CTestList& List() { return m_list; }

    long ticks = 0;
    long bytes = 0;

private:
    bool m_fast;
    CommsEngine m_engine;
    CTestList m_list;
    Recorder m_rec;
    QElapsedTimer m_clock;
    qint64 m_nextTick = 0;
};

void Report(const char* what, double seconds, long bytes, long ticks) {
    std::printf("%-28s %7.2f s  %8ld bytes  %4ld ticks  %7.0f bytes/s\n", what, seconds, bytes,
                ticks, bytes / seconds);
}

bool Session(Timing& t, unsigned slot) {
    const uint32_t sector = LogImage::DataSector(static_cast<int16_t>(slot));
    for (unsigned piece = 0; piece < UploadMachine::kPiecesPerSector; ++piece)
        if (!t.Area(sector, piece * UploadMachine::kPieceSize)) {
            std::fprintf(stderr, "sim_upload_timing: slot %u, piece %u failed\n", slot, piece);
            return false;
        }
    return true;
}

bool Index(Timing& t) {
    for (unsigned s = 0; s < LogImage::kIndexSectors; ++s)
        if (!t.Area(s, 0)) {
            std::fprintf(stderr, "sim_upload_timing: index sector %u failed\n", s);
            return false;
        }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    bool fast = false;
    unsigned slot = 0;
    unsigned sessions = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--fast")
            fast = true;
        else if (arg == "--sessions" && i + 1 < argc)
            sessions = static_cast<unsigned>(std::atoi(argv[++i]));
        else
            slot = static_cast<unsigned>(std::atoi(argv[i]));
    }
    const unsigned slotCount = static_cast<unsigned>(LogImage::kSlotCount);
    if (slot >= slotCount || sessions > slotCount) {
        std::fprintf(stderr, "sim_upload_timing: the slots run from 0 to %u\n", slotCount - 1);
        return 2;
    }
    Timing t(fast);
    if (!t.Open()) {
        std::fprintf(stderr, "sim_upload_timing: no instrument on \"RAK Pipe\"\n");
        return 1;
    }
    std::string driver;
    if (!t.Poll() || !t.Upload(10, &driver)) {
        std::fprintf(stderr, "sim_upload_timing: the start-up uploads failed\n");
        return 1;
    }
    t.List().ReadDriver(driver.c_str());
    t.List().SetSensorNumber(1);
    t.Poll();

    QElapsedTimer clock;
    t.ticks = t.bytes = 0;
    clock.start();
    if (!Index(t))
        return 1;
    Report("index upload (10 sectors)", clock.nsecsElapsed() / 1e9, t.bytes, t.ticks);

    t.Poll();
    t.ticks = t.bytes = 0;
    clock.restart();
    if (!Session(t, slot))
        return 1;
    Report("session upload (4 pieces)", clock.nsecsElapsed() / 1e9, t.bytes, t.ticks);

    if (sessions > 0) {
        t.Poll();
        t.ticks = t.bytes = 0;
        clock.restart();
        if (!Index(t))
            return 1;
        for (unsigned s = 0; s < sessions; ++s)
            if (!Session(t, s))
                return 1;
        char what[40];
        std::snprintf(what, sizeof what, "memory (index, %u sessions)", sessions);
        Report(what, clock.nsecsElapsed() / 1e9, t.bytes, t.ticks);
    }
    t.Close();
    return 0;
}
