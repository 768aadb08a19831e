#pragma once

// The program's side of a download (engine, conversation, reader and presenter) against the
// simulated instrument at the far end of an in-process serial line, ticked by a loop rather than a
// clock.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "BrowserFakes.h"
#include "CommsFakes.h"
#include "GeneratedMemory.h"
#include "app/SessionBrowser.h"
#include "core/LogImage.h"
#include "metertalk/CommsEngine.h"
#include "metertalk/TestList.h"
#include "report/Report.h"
#include "session/MeterTalkComms.h"
#include "session/UploadPace.h"
#include "sim/Instrument.h"
#include "testsupport/TempDir.h"

namespace simdownload {

// The simulated instrument on an in-process serial line: it answers each command line as soon as
// it is written, and its answer waits for the engine's reads. Reads of `refusedTest` (a test
// number, -1 for none) are refused, as by an instrument that will not tell.
class InstrumentLink : public Link {
public:
    InstrumentLink(const std::string& faults, uint64_t seed, int refusedTest = -1)
        : m_instrument(sim::InstrumentOptions{}, simtest::GeneratedMemory().Bytes(), Plan(faults),
                       seed, m_queue),
          m_refusedTest(refusedTest) {}

    bool IsOpen() const override { return true; }
    int32_t Read(uint8_t* buffer, int32_t max) override {
        const size_t n = m_queue.Peek(buffer, static_cast<size_t>(max));
        m_queue.Drop(n);
        return static_cast<int32_t>(n);
    }
    int32_t Write(const uint8_t* data, int32_t length) override {
        written.append(reinterpret_cast<const char*>(data), static_cast<size_t>(length));
        for (int32_t i = 0; i < length; ++i) {
            m_line.push_back(static_cast<char>(data[i]));
            if (data[i] == '\n') {
                HandleLine();
            }
        }
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

    // A read line is "   " + length + 'R' or 'T' + "  " + the test number in two hexadecimal
    // digits + ...; a refusal is the frame "Y", its length, 'A', '?', ';', the checksum, CR LF.
    void HandleLine() {
        char test[3];
        std::snprintf(test, sizeof test, "%02X", m_refusedTest & 0xFF);
        if (m_refusedTest >= 0 && m_line.size() > 8 && (m_line[4] == 'R' || m_line[4] == 'T') &&
            m_line.compare(7, 2, test) == 0) {
            std::string frame = {'Y', static_cast<char>(64 + 7), 'A', '?', ';'};
            unsigned int sum = 0;
            for (char c : frame) {
                sum += static_cast<uint8_t>(c);
            }
            char check[3];
            std::snprintf(check, sizeof check, "%02X", (256 - (sum & 0xFF)) & 0xFF);
            frame += check;
            frame += "\r\n";
            m_queue.Put(reinterpret_cast<const uint8_t*>(frame.data()), frame.size());
        } else {
            m_instrument.Receive(reinterpret_cast<const uint8_t*>(m_line.data()), m_line.size());
        }
        m_line.clear();
    }

    sim::OutputQueue m_queue;
    sim::Instrument m_instrument;
    int m_refusedTest;
    std::string m_line;
};

struct Outcome {
    std::string wire;
    std::vector<CommsEvent> notifications;
    std::vector<std::string> messages; // boxes the user would have seen
    int ticks = 0;
    int16_t sectors = 0;
    int16_t pieces = 0;
    bool startedUp = false;
    InstrumentFacts facts;
    std::vector<uint8_t> index; // the ten index sectors as they arrived
};

// Start-up, the index and one session, at the program's pace (UploadPace), its clock a loop: the
// 100 ms tick, and at the fast pace up to ten short ticks between while the pace follows them.
// Each notification reaches the browser after the engine call that posted it has returned.
// `requests` says how much is asked: 0 only the start-up, 1 the index too, 2 one session more.
inline Outcome Download(bool fast, const std::string& faults, uint64_t seed, int requests = 2,
                        int refusedTest = -1) {
    constexpr int kShortTicksPerTick = 10;
    constexpr int kTickLimit = 6000;
    auto link = std::make_shared<InstrumentLink>(faults, seed, refusedTest);
    // A fresh engine of its own for each run, the link handed over as an opening would.
    CommsEngine comms;
    comms.Attach(link);
    CTestList tests;
    RecordingListener listener;
    MeterTalkComms conversation(comms, tests, &listener);
    conversation.Prepare();
    FakeView view;
    ReportState report;
    auto image = std::make_unique<LogImage>();
    auto reader = std::make_unique<SessionReader>(conversation, *image, report);
    auto browser = std::make_unique<SessionBrowser>(*reader, view, *image, report);
    reader->SetEvents(browser.get());
    UploadPace pace(comms, *reader);
    pace.SetFast(fast);
    pace.LinkOpened();
    // The dump the index leaves goes out of the way.
    static const testsupport::TempDir dumps{"simulated-download-"};
    reader->SetDumpPath(dumps.Path() + "/FlashData.txt");

    Outcome out;
    // What the user asks for as soon as the browser is idle: the index, then a session, then the
    // end of the run. Asked at once, so no idle poll depends on the pace.
    int asked = 0;
    const int end = requests + 1;
    auto next = [&] {
        if (!reader->Idle() || !reader->StartUpComplete())
            return;
        if (asked == 0 && requests > 0)
            browser->OnGo();
        else if (asked == 1 && requests > 1)
            browser->StartSessionUpload(1);
        ++asked;
    };
    size_t delivered = 0;
    auto deliver = [&] {
        while (delivered < listener.events.size() && asked < end) {
            pace.OnEngineEvent(listener.events[delivered++]);
            next();
        }
    };

    browser->Start();
    for (; out.ticks < kTickLimit && asked < end; ++out.ticks) {
        for (int i = 0; i < kShortTicksPerTick && pace.FollowsArrivals() && asked < end; ++i) {
            pace.OnArrival();
            deliver();
        }
        if (asked < end) {
            pace.OnTick();
            deliver();
        }
    }
    out.wire = link->written;
    out.notifications = listener.events;
    out.messages = view.messages;
    out.sectors = reader->IndexSectorCount();
    out.pieces = reader->SessionPieceCount();
    out.startedUp = reader->StartUpComplete();
    out.facts = reader->Facts();
    out.index.assign(image->Bytes(),
                     image->Bytes() + LogImage::kIndexSectors * LogImage::kSectorSize);
    comms.SetTestList(nullptr);
    return out;
}

} // namespace simdownload
