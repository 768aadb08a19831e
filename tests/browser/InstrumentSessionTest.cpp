// The session browser over the real communications library, against the simulated instrument on
// a private pipe: start-up, GO, choosing sessions and Full Day give exactly what the instrument's
// memory holds, and an instrument that goes away leads to the recovery message.
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
#include "app/MeterTalkComms.h"
#include "app/SessionBrowser.h"
#include "core/LogImage.h"
#include "linkselect/LinkSelect.h"
#include "linkselect/PortDialogHost.h"
#include "metertalk/Comms.h"
#include "metertalk/QtCommandTarget.h"
#include "metertalk/TestList.h"
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
        image = std::make_unique<LogImage>();
        expectedImage = std::make_unique<LogImage>();
        CLinkSelect select;
        select.SetDialogHost(&dialogHost);
        select.SetUserPrompt(&prompt);
        comms.SetUserPrompt(&prompt);
    }

    void TearDown() override {
        simulator.Stop();
        comms.InitCom(nullptr, "", "");
        CLinkSelect select;
        select.SetDialogHost(nullptr);
        select.SetUserPrompt(nullptr);
        select.ResetModuleState();
        comms.SetUserPrompt(nullptr);
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
        AppInfo app{"tavon-browser-test", ""};
        ASSERT_EQ(comms.InitCom(&app, "KOVA", "115,200"), 1);
        adapter = std::make_unique<MeterTalkComms>(comms, tests, &target);
        browser = std::make_unique<SessionBrowser>(*adapter, view, *image, report);
        browser->SetDumpPath(dir + "/FlashData.txt");
        QObject::connect(&target, &QtCommandTarget::command, [this](int id) {
            if (id == ID_COMMS_CHECKSUM_ERROR) {
                checksumErrors++;
            }
            if (id == ID_COMMS_TIMEOUT) {
                timeouts++;
            }
            DispatchCommsCommand(*browser, id);
        });
        QObject::connect(&tick, &QTimer::timeout, [this] {
            if (view.suspended == 0) {
                comms.OnTimer();
            }
        });
        adapter->Prepare();
        browser->Start();
        tick.start(testsupport::kTestTickMs);
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

    size_t Ended(BrowserRequest request) const {
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
            expected.ModeNames[k] = report.ModeNames[k];
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
        const SessionTree& tree = browser->Tree();
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
    const testsupport::PrivateTmpDir pipes{"browser-sim-", "/tmp"};
    std::string dir;
    testsupport::InstrumentProcess simulator; // stopped before the folder goes
    CancelHost dialogHost;
    QuietPrompt prompt;
    CComms comms;
    CTestList tests;
    QtCommandTarget target;
    QTimer tick;
    std::unique_ptr<MeterTalkComms> adapter;
    FakeView view;
    ReportState report;
    std::unique_ptr<LogImage> image;
    std::unique_ptr<LogImage> expectedImage;
    std::unique_ptr<SessionBrowser> browser;
    int checksumErrors = 0;
    int timeouts = 0;
};

TEST_F(InstrumentSessionTest, IndexSessionAndFullDayMatchTheInstrumentsMemory) {
    LoadExpected({"--seed", "3"});
    StartSimulator({"--seed", "3"});
    Connect();
    ASSERT_TRUE(RunUntil([&] { return Ended(BrowserRequest::StartUp) > 0; }));
    EXPECT_EQ(view.ended.front(), std::make_pair(BrowserRequest::StartUp, true));
    EXPECT_TRUE(browser->Idle());
    EXPECT_FALSE(report.ModeNames[0].empty());

    browser->OnGo();
    ASSERT_TRUE(RunUntil([&] { return Ended(BrowserRequest::Index) > 0; }));
    EXPECT_EQ(view.ended.back(), std::make_pair(BrowserRequest::Index, true));
    EXPECT_TRUE(std::equal(image->Bytes(), image->Bytes() + kIndexBytes, expectedImage->Bytes()));
    SessionTable expectedTable;
    expectedTable.Build(*expectedImage);
    const std::vector<SessionNode> nodes = expectedTable.Nodes(browser->Boxes());
    ASSERT_EQ(browser->Tree().Count(), static_cast<int>(nodes.size()));
    for (size_t i = 0; i < nodes.size(); ++i) {
        EXPECT_EQ(browser->Tree().At(static_cast<int>(i)).text, nodes[i].text);
    }
    {
        std::ifstream dump(dir + "/FlashData.txt", std::ios::binary);
        std::string line;
        std::getline(dump, line);
        EXPECT_EQ(line.size(), 49u);
    }

    const int day = DayWithSessions(2);
    ASSERT_GE(day, 0);
    const SessionTree& tree = browser->Tree();
    const std::string dayText = tree.At(day).text;
    const std::string monthText = tree.At(tree.At(day).parent).text;

    browser->SelectNode(day + 2);
    ASSERT_TRUE(RunUntil([&] { return Ended(BrowserRequest::Session) == 1 && browser->Idle(); }));
    const int16_t second = static_cast<int16_t>(tree.At(day + 2).itemData);
    EXPECT_EQ(view.reportText, ExpectedReport({second}, dayText, monthText));

    browser->OnFullDay(true);
    browser->SelectNode(day + 1);
    std::vector<int16_t> chosen;
    for (int id = day + 1; id >= 0; id = tree.NextSibling(id)) {
        chosen.push_back(static_cast<int16_t>(tree.At(id).itemData));
    }
    ASSERT_TRUE(RunUntil(
        [&] { return Ended(BrowserRequest::Session) == 1 + chosen.size() && browser->Idle(); }));
    EXPECT_EQ(view.reportText, ExpectedReport(chosen, dayText, monthText));
    EXPECT_EQ(checksumErrors, 0);
    EXPECT_TRUE(view.messages.empty() ||
                view.messages.front().rfind("Warning: ", 0) == 0); // only the decoder's warning
}

TEST_F(InstrumentSessionTest, DroppedRequestsAreRecovered) {
    LoadExpected({"--seed", "5"});
    StartSimulator({"--seed", "5", "--fault", "drop:0.03"});
    Connect();
    ASSERT_TRUE(RunUntil([&] { return Ended(BrowserRequest::StartUp) > 0; }));
    browser->OnGo();
    ASSERT_TRUE(RunUntil([&] { return Ended(BrowserRequest::Index) > 0; }, 300));
    EXPECT_EQ(view.ended.back(), std::make_pair(BrowserRequest::Index, true));
    EXPECT_TRUE(std::equal(image->Bytes(), image->Bytes() + kIndexBytes, expectedImage->Bytes()));
    // The seed makes the simulator drop some of the requests on the way.
    EXPECT_GT(timeouts, 0);
    EXPECT_TRUE(view.messages.empty());
}

TEST_F(InstrumentSessionTest, AnInstrumentThatGoesAwayLeadsToTheRecoveryMessage) {
    StartSimulator({"--seed", "2"});
    Connect();
    ASSERT_TRUE(RunUntil([&] { return Ended(BrowserRequest::StartUp) > 0; }));
    simulator.Kill();
    browser->OnGo();
    ASSERT_TRUE(RunUntil([&] { return Ended(BrowserRequest::Index) > 0; }));
    EXPECT_EQ(view.ended.back(), std::make_pair(BrowserRequest::Index, false));
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0], std::string("Tavon Datalogger: ") + SessionBrowser::kNoAnswerText);
    EXPECT_TRUE(view.go);
    EXPECT_TRUE(view.tree);
    EXPECT_EQ(browser->UploadState(), 2);
}

} // namespace
