// Times the program's index upload (ten sectors) and one session upload (four pieces) against a
// running tavon-instrument: the download core's session reader is asked for them and driven at
// the core's pace (UploadPace), with the program's clock: the 100 ms tick on its grid and, with
// --fast, the short tick between while the pace follows it. With --sessions N, the whole memory
// follows: the index and the sessions of slots 0 to N-1.
//
//   sim_upload_timing [--fast] [--sessions N] [SLOT]
//   (the simulator must serve "RAK Pipe" in the same pipe folder)
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "core/LogImage.h"
#include "linkselect/LinkSelection.h"
#include "metertalk/ArrivalTick.h"
#include "metertalk/CommsEngine.h"
#include "metertalk/TestList.h"
#include "report/Report.h"
#include "session/MeterTalkComms.h"
#include "session/SessionReader.h"
#include "session/UploadMachine.h"
#include "session/UploadPace.h"

namespace {

constexpr int kTickMs = 100;
// Longest wait for the next event: a time-out is 2 s, a whole sector at 9,600 baud about 5 s.
constexpr qint64 kEventWaitMs = 60000;

class Recorder : public CommsListener {
public:
    void OnCommsEvent(CommsEvent event) override { events.push_back(event); }
    std::deque<CommsEvent> events;
};

// The reader's conversation, counting the bytes the uploads bring.
class CountingComms : public UploadComms {
public:
    explicit CountingComms(UploadComms& inner) : m_inner(inner) {}

    int Ask(int index) override { return m_inner.Ask(index); }
    int AskAcceptingRefusal(int index) override { return m_inner.AskAcceptingRefusal(index); }
    int Set(unsigned int value) override { return m_inner.Set(value); }
    char FindTest(const char* name) override { return m_inner.FindTest(name); }
    bool HasTest(const char* name) override { return m_inner.HasTest(name); }
    void ReadDriver(const char* text) override { m_inner.ReadDriver(text); }
    void SetSensorNumber(int sensor) override { m_inner.SetSensorNumber(sensor); }
    const char* GetNewString() override { return m_inner.GetNewString(); }
    int GetUploadedData(uint8_t* dest, uint32_t capacity, int& length) override {
        const int whole = m_inner.GetUploadedData(dest, capacity, length);
        bytes += length;
        return whole;
    }

    long bytes = 0;

private:
    UploadComms& m_inner;
};

// The ends of the requests, in order; no boxes are shown.
class Ends : public ReaderEvents {
public:
    void IndexRequestsAllowed(bool) override {}
    void SessionRequestsAllowed(bool) override {}
    void SetProgressRange(UploadRequest, int, int) override {}
    void SetProgressPos(UploadRequest, int) override {}
    void ShowMessage(MessageKind kind, const std::string& text) override {
        if (kind != MessageKind::Status)
            std::fprintf(stderr, "sim_upload_timing: %s\n", text.c_str());
    }
    void SuspendTick() override {}
    void ResumeTick() override {}
    void RequestEnded(UploadRequest request, bool ok) override { ends.push_back({request, ok}); }

    struct End {
        UploadRequest request;
        bool ok;
    };
    std::vector<End> ends;
};

class Timing {
public:
    explicit Timing(bool fast)
        : m_conversation(m_engine, m_tests, &m_rec), m_counting(m_conversation),
          m_image(new LogImage), m_reader(new SessionReader(m_counting, *m_image, m_report)),
          m_pace(m_engine, *m_reader) {
        m_reader->SetEvents(&m_ends);
        m_reader->SetDumpPath(QDir::tempPath().toStdString() + "/FlashData.txt");
        m_pace.SetFast(fast);
    }

    bool Open() {
        const AppInfo app{"Tavon Datalogging", ""};
        if (!m_engine.Open(ModuleLinkSelection(), app, "KOVA", "115,200"))
            return false;
        m_pace.LinkOpened();
        m_conversation.Prepare();
        m_clock.start();
        m_nextTick = 0;
        m_reader->Start();
        return Await(UploadRequest::StartUp, 1);
    }
    void Close() { m_engine.Close(); }

    // Starts counting afresh; what follows is timed.
    void Restart() {
        ticks = 0;
        m_counting.bytes = 0;
        m_ends.ends.clear();
    }
    bool Index() {
        m_reader->ReadIndex();
        return Await(UploadRequest::Index, 1);
    }
    bool Sessions(const std::vector<int16_t>& asked) {
        m_reader->ReadSessions(asked);
        return Await(UploadRequest::Session, asked.size());
    }
    long Bytes() const { return m_counting.bytes; }

    long ticks = 0;

private:
    // Runs the pace until `count` requests of the kind have ended well; false at a failure, or
    // when nothing was heard for kEventWaitMs.
    bool Await(UploadRequest request, size_t count) {
        size_t seen = 0;
        qint64 deadline = m_clock.elapsed() + kEventWaitMs;
        while (m_clock.elapsed() < deadline) {
            if (Step())
                deadline = m_clock.elapsed() + kEventWaitMs;
            for (; seen < m_ends.ends.size(); ++seen) {
                if (m_ends.ends[seen].request != request)
                    continue;
                if (!m_ends.ends[seen].ok)
                    return false;
                if (--count == 0)
                    return true;
            }
        }
        return false;
    }
    // One short tick while the pace follows them and the next 100 ms tick is not due, or that
    // tick; then the events it brought. True when there were any.
    bool Step() {
        const qint64 wait = m_nextTick - m_clock.elapsed();
        if (wait > 0 && m_pace.FollowsArrivals()) {
            QThread::msleep(
                static_cast<unsigned long>(std::min<qint64>(wait, ArrivalTick::kIntervalMs)));
            m_pace.OnArrival();
            return Deliver();
        }
        if (wait > 0)
            QThread::msleep(static_cast<unsigned long>(wait));
        m_nextTick += kTickMs;
        ++ticks;
        m_pace.OnTick();
        return Deliver();
    }
    bool Deliver() {
        const bool any = !m_rec.events.empty();
        while (!m_rec.events.empty()) {
            const CommsEvent event = m_rec.events.front();
            m_rec.events.pop_front();
            m_pace.OnEngineEvent(event);
        }
        return any;
    }

    CommsEngine m_engine;
    CTestList m_tests;
    Recorder m_rec;
    MeterTalkComms m_conversation;
    CountingComms m_counting;
    ReportState m_report;
    std::unique_ptr<LogImage> m_image;
    std::unique_ptr<SessionReader> m_reader;
    UploadPace m_pace;
    Ends m_ends;
    QElapsedTimer m_clock;
    qint64 m_nextTick = 0;
};

void Report(const char* what, const QElapsedTimer& clock, long bytes, long ticks) {
    const double seconds = clock.nsecsElapsed() / 1e9;
    std::printf("%-28s %7.2f s  %8ld bytes  %4ld ticks  %7.0f bytes/s\n", what, seconds, bytes,
                ticks, bytes / seconds);
}

int Run(bool fast, unsigned slot, unsigned sessions) {
    Timing t(fast);
    if (!t.Open()) {
        std::fprintf(stderr, "sim_upload_timing: no instrument on \"RAK Pipe\", or its start-up "
                             "uploads failed\n");
        return 1;
    }
    QElapsedTimer clock;
    t.Restart();
    clock.start();
    if (!t.Index()) {
        std::fprintf(stderr, "sim_upload_timing: the index upload failed\n");
        return 1;
    }
    Report("index upload (10 sectors)", clock, t.Bytes(), t.ticks);

    t.Restart();
    clock.restart();
    if (!t.Sessions({static_cast<int16_t>(slot)})) {
        std::fprintf(stderr, "sim_upload_timing: slot %u failed\n", slot);
        return 1;
    }
    Report("session upload (4 pieces)", clock, t.Bytes(), t.ticks);

    if (sessions > 0) {
        std::vector<int16_t> memory;
        for (unsigned s = 0; s < sessions; ++s)
            memory.push_back(static_cast<int16_t>(s));
        t.Restart();
        clock.restart();
        if (!t.Index() || !t.Sessions(memory)) {
            std::fprintf(stderr, "sim_upload_timing: the memory's upload failed\n");
            return 1;
        }
        char what[40];
        std::snprintf(what, sizeof what, "memory (index, %u sessions)", sessions);
        Report(what, clock, t.Bytes(), t.ticks);
    }
    t.Close();
    return 0;
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
    return Run(fast, slot, sessions);
}
