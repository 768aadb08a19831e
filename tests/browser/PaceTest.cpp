// Fast uploads change when bytes are read, never what is said: the same instrument, with the same
// faults, sees the same command lines, and the program the same notifications, at both paces.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "BrowserFakes.h"
#include "CommsFakes.h"
#include "GeneratedMemory.h"
#include "app/MeterTalkComms.h"
#include "app/SessionBrowser.h"
#include "core/LogImage.h"
#include "metertalk/Comms.h"
#include "metertalk/CommsEngine.h"
#include "metertalk/TestList.h"
#include "sim/Instrument.h"

namespace {

// The simulated instrument at the far end of an in-process serial line: it answers each command
// line as soon as it is written, and its answer waits for the engine's reads.
class InstrumentLink : public Link {
public:
    InstrumentLink(const std::string& faults, uint64_t seed)
        : m_instrument(sim::InstrumentOptions{}, simtest::GeneratedMemory().Bytes(), Plan(faults),
                       seed, m_queue) {}

    bool IsOpen() const override { return true; }
    int32_t Read(uint8_t* buffer, int32_t max) override {
        const size_t n = m_queue.Peek(buffer, static_cast<size_t>(max));
        m_queue.Drop(n);
        return static_cast<int32_t>(n);
    }
    int32_t Write(const uint8_t* data, int32_t length) override {
        written.append(reinterpret_cast<const char*>(data), static_cast<size_t>(length));
        m_instrument.Receive(data, static_cast<size_t>(length));
        return length;
    }
    bool IsPipe() const override { return false; }
    int32_t BytesWaiting() override { return static_cast<int32_t>(m_queue.Size()); }
    bool SetModemLine(ModemLine) override { return true; }
    bool Configure(const LineSettings&) override { return true; }
    void SetQueueSizes(int32_t, int32_t) override {}
    void Close() override {}

    std::string written;

private:
    static sim::FaultPlan Plan(const std::string& text) {
        sim::FaultPlan plan;
        std::string error;
        if (!text.empty()) {
            EXPECT_TRUE(sim::ParseFaultPlan(text, plan, error)) << error;
        }
        return plan;
    }

    sim::OutputQueue m_queue;
    sim::Instrument m_instrument;
};

struct Outcome {
    std::string wire;
    std::vector<int> notifications;
    int ticks = 0;
    int16_t sectors = 0;
    int16_t pieces = 0;
};

// Start-up, the index and one session, as the program drives them: the 100 ms tick, and at the
// fast pace the short tick between, which runs only while a transfer does (ArrivalTick::Follow).
// Each notification reaches the browser after the engine call that posted it has returned.
Outcome Download(bool fast, const std::string& faults, uint64_t seed) {
    constexpr int kShortTicksPerTick = 10;
    constexpr int kTickLimit = 3000;
    auto link = std::make_shared<InstrumentLink>(faults, seed);
    // A fresh engine of its own for each run, the link handed over as an opening would.
    CommsEngine comms;
    comms.Attach(link);
    CTestList tests;
    RecordingTarget target;
    MeterTalkComms conversation(comms, tests, &target);
    conversation.Prepare();
    FakeView view;
    ReportState report;
    auto image = std::make_unique<LogImage>();
    auto browser = std::make_unique<SessionBrowser>(conversation, view, *image, report);

    Outcome out;
    // What the user asks for as soon as the browser is idle: the index, then a session, then the
    // end of the run. Asked at once, so no idle poll depends on the pace.
    int asked = 0;
    auto next = [&] {
        if (!browser->Idle() || !browser->StartUpComplete())
            return;
        if (asked == 0)
            browser->OnGo();
        else if (asked == 1)
            browser->StartSessionUpload(1);
        ++asked;
    };
    size_t delivered = 0;
    auto deliver = [&] {
        while (delivered < target.ids.size() && asked < 3) {
            DispatchCommsCommand(*browser, target.ids[delivered++]);
            next();
        }
    };

    browser->Start();
    for (; out.ticks < kTickLimit && asked < 3; ++out.ticks) {
        for (int i = 0; fast && i < kShortTicksPerTick && !browser->Idle() && asked < 3; ++i) {
            comms.OnArrival();
            deliver();
        }
        if (asked < 3) {
            comms.OnTimer();
            deliver();
        }
    }
    out.wire = link->written;
    out.notifications = target.ids;
    out.sectors = browser->IndexSectorCount();
    out.pieces = browser->SessionPieceCount();
    comms.SetTestList(nullptr);
    return out;
}

struct Case {
    const char* faults;
    uint64_t seed;
    int seen; // a notification the faults must have brought, or 0
};

class PaceTest : public ::testing::TestWithParam<Case> {};

TEST_P(PaceTest, FastSaysWhatTheDesignedPaceSays) {
    const Outcome designed = Download(false, GetParam().faults, GetParam().seed);
    const Outcome fast = Download(true, GetParam().faults, GetParam().seed);
    EXPECT_EQ(designed.sectors, 10);
    EXPECT_EQ(designed.pieces, 4);
    if (GetParam().seen != 0) {
        EXPECT_NE(std::count(designed.notifications.begin(), designed.notifications.end(),
                             GetParam().seen),
                  0);
    }
    EXPECT_EQ(fast.wire, designed.wire);
    EXPECT_EQ(fast.notifications, designed.notifications);
    EXPECT_EQ(fast.sectors, designed.sectors);
    EXPECT_EQ(fast.pieces, designed.pieces);
    EXPECT_LT(fast.ticks * 3, designed.ticks) << "fast mode took as many ticks as the design";
}

// Refusals are resent, dropped answers and spoilt checksums end in time-outs and re-asks, noise
// before a frame is skipped: each at both paces alike. Time-outs are waited in real time at both
// paces, so each seed is one whose faults cost a few of them rather than many.
INSTANTIATE_TEST_SUITE_P(Faults, PaceTest,
                         ::testing::Values(Case{"", 1, 0}, Case{"refuse:0.2", 2, ID_COMMS_TIMEOUT},
                                           Case{"drop:0.1", 3, ID_COMMS_TIMEOUT},
                                           Case{"checksum:0.03", 1, ID_COMMS_CHECKSUM_ERROR},
                                           Case{"garbage:0.5", 5, 0}));

} // namespace
