// The seam between the two front ends: the program's presenter, with Full Day ticked and a day's
// first session chosen, and the download of that day ask the same download core; against the same
// scripted instrument with the same fault they put the same requests on the wire, and the day's
// report on screen is the report file byte for byte.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../browser/BrowserFakes.h"
#include "ScriptedInstrument.h"
#include "app/SessionBrowser.h"
#include "download/DownloadRun.h"
#include "download/ExitStatus.h"
#include "download/ProgressBar.h"
#include "report/Report.h"
#include "testsupport/EnvGuard.h"
#include "testsupport/Files.h"
#include "testsupport/InstrumentStamp.h"
#include "testsupport/TempDir.h"

namespace {

using testsupport::InstrumentStamp;
using Note = ScriptedInstrument::Note;

// Where the instrument falls silent or spoils an answer; -1: never.
struct Fault {
    long silentAfter = -1;
    long silentFor = -1;
    long checksumAt = -1;
};

struct Wire {
    std::vector<std::string> requests;
    std::vector<Note> answered;
};

class FrontEndSeamTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(work.Ok()); // no Settings.ini: both read the same defaults
        EraseMemory(memory);
        // The day's sessions out of slot order, an alarm among them, and another day beside it.
        PutSession(memory, 5, InstrumentStamp(2026, 12, 7, 9, 0), "____", true);
        PutSession(memory, 4, InstrumentStamp(2026, 12, 7, 11, 0), "_A__", true);
        PutSession(memory, 7, InstrumentStamp(2026, 12, 7, 13, 0), "____", false);
        PutSession(memory, 9, InstrumentStamp(2026, 12, 8, 8, 30), "____", true);
    }

    // The program: start-up, GO at the tick after it ends, then at the tick after the index Full
    // Day ticked and the day's first session chosen, until the day's sessions are shown.
    Wire Program(const Fault& fault, std::string& reportText) {
        ScriptedInstrument instrument(memory);
        Arm(instrument, fault);
        auto image = std::make_unique<LogImage>();
        ReportState report;
        FakeView view;
        auto reader = std::make_unique<SessionReader>(instrument, *image, report);
        auto owned = std::make_unique<SessionBrowser>(*reader, view, *image, report);
        SessionBrowser& browser = *owned;
        reader->SetEvents(&browser);
        reader->SetDumpPath(work.Path() + "/program.txt");
        size_t seen = 0;
        size_t sessions = 0;
        const auto tick = [&] {
            for (; seen < view.ended.size(); ++seen) {
                const UploadRequest request = view.ended[seen].first;
                sessions += request == UploadRequest::Session ? 1 : 0;
                if (request == UploadRequest::StartUp && view.ended[seen].second) {
                    browser.OnGo();
                } else if (request == UploadRequest::Index && view.ended[seen].second) {
                    browser.OnFullDay(true);
                    browser.SelectNode(FirstSessionOf(browser.Tree(), "Monday 07"));
                }
            }
        };
        browser.Start();
        PumpAnswers(instrument, *reader, tick, [&] {
            return sessions == 3 || (!view.ended.empty() && !view.ended.back().second);
        });
        EXPECT_EQ(browser.ShownSlots(), (std::vector<int16_t>{5, 4, 7}));
        reportText = browser.Report().ReportText;
        return {instrument.wire, instrument.answered};
    }

    // The download of that day, asking at the tick after each request ends.
    Wire Download(const Fault& fault, std::string& reportText) {
        ScriptedInstrument instrument(memory);
        Arm(instrument, fault);
        auto image = std::make_unique<LogImage>();
        ReportState report;
        DownloadOptions options;
        options.outDir = work.Path();
        options.dumpPath = work.Path() + "/FlashData.txt";
        options.days = {"2026-12-07"};
        ProgressBar progress(stderr, false);
        auto owned = std::make_unique<DownloadRun>(options, *image, report, progress, nullptr);
        DownloadRun& run = *owned;
        auto reader = std::make_unique<SessionReader>(instrument, *image, report);
        reader->SetEvents(&run);
        run.Attach(*reader);
        run.Prepare();
        reader->Start();
        PumpAnswers(
            instrument, *reader, [&] { run.OnTick(); }, [&] { return run.Finished(); });
        EXPECT_EQ(run.Status(), kExitOk);
        reportText = testsupport::ReadFile(work.Path() + "/2026-12-07.rtf");
        return {instrument.wire, instrument.answered};
    }

    static void Arm(ScriptedInstrument& instrument, const Fault& fault) {
        instrument.silentAfter = fault.silentAfter;
        instrument.silentFor = fault.silentFor;
        instrument.checksumAt = fault.checksumAt;
    }

    // The node a user clicks first under the day labelled `day`.
    static int FirstSessionOf(const SessionTree& tree, const std::string& day) {
        for (int id = 0; id < tree.Count(); ++id) {
            const int parent = tree.Parent(id);
            if (tree.At(id).level == SessionNode::Session && tree.Text(parent) == day) {
                return id;
            }
        }
        return -1;
    }

    const testsupport::ZoneGuard zone{"UTC0"};
    const testsupport::TempWorkDir work{"seam-"};
    LogImage memory;
};

// Where two recordings of the wire part: the first request that differs, with the one before it.
std::string FirstDifference(const std::vector<std::string>& program,
                            const std::vector<std::string>& download) {
    const auto at = [](const std::vector<std::string>& wire, size_t i) {
        return i < wire.size() ? "\"" + wire[i] + "\"" : std::string("nothing");
    };
    for (size_t i = 0; i < program.size() || i < download.size(); ++i) {
        if (i >= program.size() || i >= download.size() || program[i] != download[i]) {
            return "request " + std::to_string(i) + " (after " +
                   (i > 0 ? at(program, i - 1) : std::string("none")) + "): the program sent " +
                   at(program, i) + ", the download " + at(download, i);
        }
    }
    return std::string();
}

// The number of the n-th answer (from 0) of this kind.
long NthAnswer(const std::vector<Note>& answered, Note kind, int n) {
    for (size_t i = 0; i < answered.size(); ++i) {
        if (answered[i] == kind && n-- == 0) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

TEST_F(FrontEndSeamTest, TheSameRequestsOnTheWireAndTheSameReportWhateverTheFault) {
    std::string cleanReport;
    const Wire clean = Download(Fault(), cleanReport);
    // Bulk transfers: the driver text, the configuration block, ten index sectors, then each
    // session's four pieces. The first session's end is followed by the poll that starts the
    // second.
    const long secondPiece = NthAnswer(clean.answered, Note::UploadDone, 13);
    const long thirdPiece = NthAnswer(clean.answered, Note::UploadDone, 14);
    const long firstEnd = NthAnswer(clean.answered, Note::UploadDone, 15);
    ASSERT_GE(firstEnd, 0);
    ASSERT_EQ(clean.answered[static_cast<size_t>(firstEnd) + 1], Note::AskDone);
    const struct {
        const char* name;
        Fault fault;
    } rows[] = {
        {"no fault", Fault()},
        {"silent for two requests mid-session", {secondPiece, 2, -1}},
        {"a bulk transfer spoiled", {-1, -1, thirdPiece}},
        {"a poll answer spoiled", {-1, -1, firstEnd + 1}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string programReport, downloadReport;
        const Wire program = Program(row.fault, programReport);
        const Wire download = Download(row.fault, downloadReport);
        EXPECT_EQ(FirstDifference(program.requests, download.requests), "");
        EXPECT_EQ(programReport, downloadReport);
        EXPECT_EQ(downloadReport, cleanReport);
        // A fault that missed would prove nothing.
        EXPECT_EQ(download.requests == clean.requests,
                  row.fault.silentAfter < 0 && row.fault.checksumAt < 0);
    }
    EXPECT_NE(cleanReport.find("Monday 07"), std::string::npos);
}

} // namespace
