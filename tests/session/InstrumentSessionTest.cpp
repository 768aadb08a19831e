// One instrument session against the simulated instrument on a private pipe: the start-up reads
// what the instrument tells about itself, GO, choosing sessions and Full Day give exactly what its
// memory holds, dropped requests are recovered, and an instrument that goes away is seen at once.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "BrowserFakes.h"
#include "app/SessionBrowser.h"
#include "core/LogImage.h"
#include "linkselect/LinkSelection.h"
#include "linkselect/PortDialogHost.h"
#include "metertalk/CommsEngine.h"
#include "session/InstrumentSession.h"
#include "session/SessionReader.h"
#include "testsupport/EnvGuard.h"
#include "testsupport/QtProcesses.h"
#include "testsupport/TempDir.h"
#include "testsupport/TestPace.h"

namespace {

// The ten index sectors, where the image starts.
constexpr size_t kIndexBytes = LogImage::kIndexSectors * LogImage::kSectorSize;

// No dialog in a test: should the pipe not open, the choice is cancelled.
class CancelHost : public PortDialogHost {
public:
    int RunModal(PortDialogLogic&) override { return 2; }
};

class QuietPrompt : public UserPrompt {
public:
    void Show(const std::string& text, const std::string& caption) override {
        shown.push_back(caption + ": " + text);
    }
    std::vector<std::string> shown;
};

class InstrumentSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pipes.Ok());
        dir = pipes.Path();
        expectedImage = std::make_unique<LogImage>();
        // A selection of the session's own: no dialog, the simulator's pipe or nothing.
        selection.SetDialogHost(&dialogHost);
        selection.SetUserPrompt(&prompt);
        session.SetUserPrompt(&prompt);
        session.SetListener(&browser);
        session.SetTickPeriod(testsupport::kTestTickMs);
        session.Reader().SetDumpPath(dir + "/FlashData.txt");
        QObject::connect(&session, &InstrumentSession::SpoiledReply, [this] { ++checksumErrors; });
        QObject::connect(&session, &InstrumentSession::LinkLost, [this] { ++linksLost; });
    }

    void TearDown() override {
        simulator.Stop();
        session.Disconnect();
        session.SetListener(nullptr);
    }

    // The simulator's memory for these options, as the expected image.
    void LoadExpected(const QStringList& options) {
        const std::string path = dir + "/expected.txt";
        QStringList arguments = options;
        arguments << "--dump" << QString::fromStdString(path);
        QByteArray errors;
        ASSERT_EQ(testsupport::RunBuildProgram("tavon-instrument", arguments, nullptr, &errors), 0)
            << errors.toStdString();
        std::string message;
        ASSERT_EQ(expectedImage->LoadDump(path.c_str(), message), 1) << message;
    }

    void StartSimulator(const QStringList& options) {
        ASSERT_TRUE(simulator.Start(options, 20000)) << simulator.Errors().toStdString();
        ASSERT_TRUE(simulator.ReadyLine().startsWith("ready: pipe"))
            << simulator.ReadyLine().toStdString();
    }

    void Connect() {
        AppInfo app{"tavon-session-test", ""};
        ASSERT_TRUE(session.Connect(selection, app));
    }

    // Runs the event loop until `done` holds; false after `seconds`.
    bool RunUntil(const std::function<bool()>& done, int seconds = 120) {
        QElapsedTimer clock;
        clock.start();
        while (!done()) {
            if (clock.elapsed() > seconds * 1000) {
                return false;
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return true;
    }

    size_t Ended(UploadRequest request) const {
        size_t count = 0;
        for (const auto& ended : view.ended) {
            count += ended.first == request ? 1 : 0;
        }
        return count;
    }

    // What the report module makes of `chosen` in order from the simulator's memory, headed as the
    // browser heads them.
    std::string ExpectedReport(const std::vector<int16_t>& chosen, const std::string& day,
                               const std::string& month) {
        ReportState expected;
        for (int k = 0; k < 4; ++k) {
            expected.ModeNames[k] = session.Report().ModeNames[k];
        }
        expected.HeadingDay = day + " ";
        expected.HeadingMonth = month;
        for (int16_t slot : chosen) {
            RenderSession(expected, *expectedImage, slot);
        }
        return expected.ReportText;
    }

    // The first day node with at least `sessions` session nodes under it, or -1.
    int DayWithSessions(int sessions) const {
        const SessionTree& tree = browser.Tree();
        for (int id = 0; id < tree.Count(); ++id) {
            if (tree.At(id).level != SessionNode::Day) {
                continue;
            }
            int count = 0;
            for (int child = id + 1; child < tree.Count() && tree.At(child).parent == id; ++child) {
                ++count;
            }
            if (count >= sessions) {
                return id;
            }
        }
        return -1;
    }

    const testsupport::ZoneGuard zone{"Europe/Berlin"};
    // The pipe's socket file lives in TMPDIR, for the simulator and for this process alike.
    const testsupport::PrivateTmpDir pipes{"session-sim-", "/tmp"};
    std::string dir;
    testsupport::InstrumentProcess simulator; // stopped before the folder goes
    CancelHost dialogHost;
    QuietPrompt prompt;
    LinkSelection selection;
    FakeView view;
    InstrumentSession session; // an engine of its own
    SessionBrowser browser{session.Reader(), view, session.Image(), session.Report()};
    std::unique_ptr<LogImage> expectedImage;
    int checksumErrors = 0;
    int linksLost = 0;
};

TEST_F(InstrumentSessionTest, IndexSessionAndFullDayMatchTheInstrumentsMemory) {
    LoadExpected({"--seed", "3"});
    StartSimulator({"--seed", "3", "--serial", "VAN-3"});
    Connect();
    ASSERT_TRUE(RunUntil([&] { return Ended(UploadRequest::StartUp) > 0; }));
    EXPECT_EQ(view.ended.front(), std::make_pair(UploadRequest::StartUp, true));
    // What it told about itself: its driver text, its configuration block, its serial number
    // and firmware version.
    EXPECT_NE(session.Facts().driverText.find("Serial number"), std::string::npos);
    EXPECT_EQ(session.Facts().configBlock.size(), 600u);
    EXPECT_EQ(session.Facts().serialNumber, "VAN-3");
    EXPECT_EQ(session.Facts().firmwareVersion, "4.12.0003");
    EXPECT_TRUE(session.Reader().Idle());
    EXPECT_FALSE(session.Report().ModeNames[0].empty());

    browser.OnGo();
    ASSERT_TRUE(RunUntil([&] { return Ended(UploadRequest::Index) > 0; }));
    EXPECT_EQ(view.ended.back(), std::make_pair(UploadRequest::Index, true));
    EXPECT_TRUE(std::equal(session.Image().Bytes(), session.Image().Bytes() + kIndexBytes,
                           expectedImage->Bytes()));
    SessionTable expectedTable;
    expectedTable.Build(*expectedImage);
    const std::vector<SessionNode> nodes = expectedTable.Nodes(browser.Boxes());
    ASSERT_EQ(browser.Tree().Count(), static_cast<int>(nodes.size()));
    for (size_t i = 0; i < nodes.size(); ++i) {
        EXPECT_EQ(browser.Tree().At(static_cast<int>(i)).text, nodes[i].text);
    }
    {
        std::ifstream dump(dir + "/FlashData.txt", std::ios::binary);
        std::string line;
        std::getline(dump, line);
        EXPECT_EQ(line.size(), 49u);
    }

    const int day = DayWithSessions(2);
    ASSERT_GE(day, 0);
    const SessionTree& tree = browser.Tree();
    const std::string dayText = tree.At(day).text;
    const std::string monthText = tree.At(tree.At(day).parent).text;

    browser.SelectNode(day + 2);
    ASSERT_TRUE(
        RunUntil([&] { return Ended(UploadRequest::Session) == 1 && session.Reader().Idle(); }));
    const int16_t second = static_cast<int16_t>(tree.At(day + 2).itemData);
    EXPECT_EQ(view.reportText, ExpectedReport({second}, dayText, monthText));

    browser.OnFullDay(true);
    browser.SelectNode(day + 1);
    std::vector<int16_t> chosen;
    for (int id = day + 1; id >= 0; id = tree.NextSibling(id)) {
        chosen.push_back(static_cast<int16_t>(tree.At(id).itemData));
    }
    ASSERT_TRUE(RunUntil([&] {
        return Ended(UploadRequest::Session) == 1 + chosen.size() && session.Reader().Idle();
    }));
    EXPECT_EQ(view.reportText, ExpectedReport(chosen, dayText, monthText));
    EXPECT_EQ(checksumErrors, 0);
    EXPECT_TRUE(view.messages.empty() ||
                view.messages.front().rfind("Warning: ", 0) == 0); // only the decoder's warning
}

TEST_F(InstrumentSessionTest, DroppedRequestsAreRecovered) {
    LoadExpected({"--seed", "5"});
    const std::string log = dir + "/sim.log";
    StartSimulator({"--seed", "5", "--fault", "drop:0.03", "--log", QString::fromStdString(log)});
    Connect();
    ASSERT_TRUE(RunUntil([&] { return Ended(UploadRequest::StartUp) > 0; }));
    browser.OnGo();
    ASSERT_TRUE(RunUntil([&] { return Ended(UploadRequest::Index) > 0; }, 300));
    EXPECT_EQ(view.ended.back(), std::make_pair(UploadRequest::Index, true));
    EXPECT_TRUE(std::equal(session.Image().Bytes(), session.Image().Bytes() + kIndexBytes,
                           expectedImage->Bytes()));
    // The seed makes the simulator drop some of the requests on the way.
    std::ifstream written(log);
    const std::string events((std::istreambuf_iterator<char>(written)),
                             std::istreambuf_iterator<char>());
    EXPECT_NE(events.find("drop fault"), std::string::npos);
    EXPECT_TRUE(view.messages.empty());
}

// A companion program that goes away closes its pipe: the session sees it within a few ticks, the
// request under way ends at once (no waiting out its time-outs, no "stopped answering"), and the
// tree stays.
TEST_F(InstrumentSessionTest, AfterTheInstrumentWentAwayNothingOfItsMemoryPassesAsAnothers) {
    StartSimulator({"--seed", "3"});
    Connect();
    ASSERT_TRUE(RunUntil([&] { return Ended(UploadRequest::StartUp) > 0; }));
    browser.OnGo();
    ASSERT_TRUE(RunUntil([&] { return Ended(UploadRequest::Index) > 0; }));
    const int day = DayWithSessions(2);
    ASSERT_GE(day, 0);
    browser.SelectNode(day + 1);
    ASSERT_TRUE(RunUntil([&] { return Ended(UploadRequest::Session) == 1; }));
    const int16_t uploaded = static_cast<int16_t>(browser.Tree().At(day + 1).itemData);
    ASSERT_TRUE(session.Image().SessionHeld(uploaded));
    const std::string shown = view.reportText;

    simulator.Kill();
    ASSERT_TRUE(RunUntil([&] { return linksLost == 1; }, 5));
    // A session chosen now has nothing to come over: it ends at once, the report stays.
    browser.SelectNode(day + 2);
    ASSERT_TRUE(RunUntil([&] { return Ended(UploadRequest::Session) == 2; }, 1));
    EXPECT_EQ(view.ended.back(), std::make_pair(UploadRequest::Session, false));
    EXPECT_EQ(session.LastFailure(), RequestFailure::LinkLost);
    EXPECT_EQ(view.reportText, shown);

    // Another instrument on the same run: its dump holds none of the first one's sessions.
    StartSimulator({"--seed", "2"});
    Connect();
    ASSERT_TRUE(RunUntil([&] { return Ended(UploadRequest::StartUp) == 2; }));
    browser.OnGo();
    ASSERT_TRUE(RunUntil([&] { return Ended(UploadRequest::Index) == 2; }));
    LogImage dumped;
    std::string message;
    ASSERT_EQ(dumped.LoadDump((dir + "/FlashData.txt").c_str(), message), 1) << message;
    int held = 0;
    for (int16_t slot = 0; slot < LogImage::kSlotCount; ++slot) {
        held += dumped.SessionHeld(slot) ? 1 : 0;
    }
    EXPECT_EQ(held, 0);
}

TEST_F(InstrumentSessionTest, AnInstrumentThatGoesAwayIsSeenAtOnce) {
    StartSimulator({"--seed", "2"});
    Connect();
    ASSERT_TRUE(RunUntil([&] { return Ended(UploadRequest::StartUp) > 0; }));
    browser.OnGo();
    ASSERT_TRUE(RunUntil([&] { return session.Reader().IndexSectorCount() > 0; }));
    simulator.Kill();
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(RunUntil([&] { return Ended(UploadRequest::Index) > 0; }, 5));
    // Well inside the time-outs the request would otherwise wait out (three of 20 ticks).
    EXPECT_LT(clock.elapsed(), 30 * testsupport::kTestTickMs);
    EXPECT_EQ(view.ended.back(), std::make_pair(UploadRequest::Index, false));
    EXPECT_EQ(session.LastFailure(), RequestFailure::LinkLost);
    EXPECT_EQ(linksLost, 1);
    EXPECT_FALSE(session.LinkOpen());
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(session.Reader().UploadState(), 2);
}

} // namespace
