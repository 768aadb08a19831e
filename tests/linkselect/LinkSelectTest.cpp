#include "FakeLinks.h"
#include "PtyPair.h"
#include "ScriptedHost.h"

#include "linkselect/LinkSelect.h"
#include "linkselect/LinkSelection.h"
#include "linkselect/MemoryRegistry.h"
#include "linkselect/PipeLink.h"
#include "linkselect/SerialLink.h"
#include "linkselect/Settings.h"
#include "testsupport/Files.h"
#include "testsupport/RecordingPrompt.h"
#include "testsupport/TempDir.h"

#include <QLocalServer>
#include <QLocalSocket>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using testsupport::FileExists;
using testsupport::TempWorkDir;
using testsupport::WriteFile;

using Clock = std::chrono::steady_clock;
using Shown = std::vector<std::pair<std::string, std::string>>;

const char kMap[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

using testsupport::RecordingPrompt;

int endCalls = 0;
void RecordEnd() {
    ++endCalls;
}

class LinkSelectTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.Ok());
        QLocalServer::removeServer(kCompanionPipeName);
        registry_.SetString(kMap, "\\Device\\VCP0", "ttyUSB1");
        registry_.SetString(kMap, "\\Device\\ProlificSerial0", "ttyUSB0");
        opener_.AddPort("ttyUSB0");
        opener_.AddPort("ttyUSB1");
        select_.ResetModuleState();
        select_.SetUserPrompt(&prompt_);
        select_.SetRegistry(&registry_);
        select_.SetLinkOpener(&opener_);
        select_.SetDialogHost(&host_);
        select_.SetProcessEnd(RecordEnd);
        select_.SetParentApp({"Tavon Datalogging", ""});
        select_.AddStaticText("Select connection for KOVA");
        select_.AddPortName("115,200");
        endCalls = 0;
    }
    void TearDown() override {
        select_.ResetModuleState();
        select_.SetUserPrompt(nullptr);
        select_.SetRegistry(nullptr);
        select_.SetLinkOpener(nullptr);
        select_.SetDialogHost(nullptr);
        select_.SetProcessEnd(nullptr);
    }

    TempWorkDir dir_{"linkselect-test-"};
    FakeRegistry registry_;
    FakeOpener opener_;
    RecordingPrompt prompt_;
    ScriptedHost host_;
    CLinkSelect select_;
};

TEST_F(LinkSelectTest, VersionIs102) {
    EXPECT_EQ(select_.GetDllVersion(), 102);
}

TEST_F(LinkSelectTest, PipeComesFirstAndTheDialogIsNotShown) {
    opener_.ServePipe();
    LinkPtr link = select_.GetPort();
    ASSERT_TRUE(link);
    EXPECT_TRUE(link->IsPipe());
    EXPECT_EQ(host_.runs, 0);
    EXPECT_TRUE(prompt_.shown.empty());
    EXPECT_TRUE(opener_.Attempts().empty());
    EXPECT_FALSE(FileExists("Settings.ini"));
}

TEST_F(LinkSelectTest, BytesWaitingInThePipeAreWarnedAbout) {
    opener_.ServePipe(3);
    LinkPtr link = select_.GetPort();
    ASSERT_TRUE(link);
    EXPECT_TRUE(link->IsPipe());
    EXPECT_EQ(prompt_.shown, (Shown{{"data in pipe", "Warning"}}));
    EXPECT_EQ(link->BytesWaiting(), 3); // the bytes stay in the pipe
}

TEST_F(LinkSelectTest, NoPipeShowsTheDialog) {
    WriteFile("Settings.ini", "Com Port=IrDA Port ttyUSB0\r\n");
    LinkPtr link = select_.GetPort();
    EXPECT_EQ(opener_.PipeAttempts(), 1);
    EXPECT_EQ(host_.runs, 1);
    ASSERT_TRUE(link);
    EXPECT_FALSE(link->IsPipe());
    auto fake = std::dynamic_pointer_cast<FakeLink>(link);
    EXPECT_EQ(fake->Name(), "ttyUSB0");
    EXPECT_EQ(fake->Settings().baud, 115200);
}

TEST_F(LinkSelectTest, ApplicationNamedRakNeverTriesThePipeInGetPort) {
    opener_.ServePipe();
    select_.SetParentApp({"RAK Service Tool", ""});
    host_.choice = "IrDA Port ttyUSB1";
    LinkPtr link = select_.GetPort();
    EXPECT_EQ(opener_.PipeAttempts(), 0);
    ASSERT_TRUE(link);
    EXPECT_FALSE(link->IsPipe());

    LinkPtr again = select_.SetPort(); // SetPort tries the pipe all the same
    EXPECT_EQ(opener_.PipeAttempts(), 1);
    ASSERT_TRUE(again);
    EXPECT_TRUE(again->IsPipe());
}

TEST_F(LinkSelectTest, RakTestIsCaseSensitive) {
    opener_.ServePipe();
    select_.SetParentApp({"Drake", ""});
    LinkPtr link = select_.GetPort();
    EXPECT_EQ(opener_.PipeAttempts(), 1);
    ASSERT_TRUE(link);
    EXPECT_TRUE(link->IsPipe());
}

TEST_F(LinkSelectTest, NoChoiceMeansNoLink) {
    EXPECT_EQ(select_.GetPort(), nullptr);
    EXPECT_EQ(host_.runs, 1);
}

TEST_F(LinkSelectTest, CommandLineSuffixesTheKeys) {
    select_.SetParentApp({"Tavon Datalogging", "-b 2"});
    WriteFile("Settings.ini", "Com Port=IrDA Port ttyUSB0\r\nCom Port-b 2=IrDA Port ttyUSB1\r\n");
    LinkPtr link = select_.GetPort();
    ASSERT_TRUE(link);
    EXPECT_EQ(std::dynamic_pointer_cast<FakeLink>(link)->Name(), "ttyUSB1");
}

TEST_F(LinkSelectTest, ChoosingAgainClosesTheEarlierSerialLink) {
    host_.choice = "IrDA Port ttyUSB0";
    LinkPtr first = select_.GetPort();
    ASSERT_TRUE(first);
    host_.choice = "IrDA Port ttyUSB1";
    LinkPtr second = select_.GetPort();
    ASSERT_TRUE(second);
    EXPECT_FALSE(first->IsOpen()); // still a valid object, only closed
    uint8_t byte = 0;
    EXPECT_EQ(first->Write(&byte, 1), -1);
    EXPECT_TRUE(second->IsOpen());
}

TEST_F(LinkSelectTest, SetPortReopensTheSelectionAtWorkingSettings) {
    host_.choice = "IrDA Port ttyUSB1";
    LinkPtr first = select_.GetPort();
    ASSERT_TRUE(first);
    LinkPtr reopened = select_.SetPort();
    ASSERT_TRUE(reopened);
    EXPECT_FALSE(first->IsOpen());
    auto fake = std::dynamic_pointer_cast<FakeLink>(reopened);
    EXPECT_EQ(fake->Name(), "ttyUSB1");
    EXPECT_EQ(fake->Settings().baud, 115200);
    EXPECT_EQ(host_.runs, 1);
}

TEST_F(LinkSelectTest, MissingSerialMapShowsTheMessageAndEndsTheProcess) {
    FakeRegistry empty;
    select_.SetRegistry(&empty);
    EXPECT_EQ(select_.GetPort(), nullptr);
    EXPECT_EQ(prompt_.shown,
              (Shown{{"There are no ports available for communication", "LinkSelect"}}));
    EXPECT_EQ(endCalls, 1);
}

TEST_F(LinkSelectTest, WithoutAnInstalledEndAFatalMessageEndsOnlyTheChoice) {
    select_.SetProcessEnd(nullptr);
    FakeRegistry empty;
    select_.SetRegistry(&empty);
    EXPECT_EQ(select_.GetPort(), nullptr);
    EXPECT_EQ(prompt_.shown,
              (Shown{{"There are no ports available for communication", "LinkSelect"}}));
    EXPECT_EQ(endCalls, 0);
    // The process goes on, and so does the library: with ports to offer, the next choice works.
    select_.SetRegistry(&registry_);
    host_.choice = "IrDA Port ttyUSB1";
    LinkPtr link = select_.GetPort();
    ASSERT_TRUE(link);
    EXPECT_EQ(std::dynamic_pointer_cast<FakeLink>(link)->Name(), "ttyUSB1");
    EXPECT_EQ(endCalls, 0);
}

TEST_F(LinkSelectTest, EveryCLinkSelectWorksOnTheModulesSelection) {
    CLinkSelect other;
    other.SetParentApp({"RAK Service Tool", ""});
    host_.choice = "IrDA Port ttyUSB1";
    // The application named through one is the one every other chooses for: no pipe.
    LinkPtr link = select_.GetPort();
    EXPECT_EQ(opener_.PipeAttempts(), 0);
    ASSERT_TRUE(link);
    EXPECT_FALSE(link->IsPipe());
    // The choice made through one is the one another reopens.
    LinkPtr again = other.SetPort();
    ASSERT_TRUE(again);
    EXPECT_EQ(std::dynamic_pointer_cast<FakeLink>(again)->Name(), "ttyUSB1");
    // And the hooks are the module's: an end installed through one follows a fatal message met
    // through another.
    FakeRegistry empty;
    other.SetRegistry(&empty);
    EXPECT_EQ(select_.GetPort(), nullptr);
    EXPECT_EQ(endCalls, 1);
}

TEST_F(LinkSelectTest, ASelectionOfItsOwnKeepsItsOwnHooksAndEnd) {
    FakeRegistry empty;
    RecordingPrompt ownPrompt;
    int ownEnds = 0;
    LinkSelection own;
    own.SetUserPrompt(&ownPrompt);
    own.SetRegistry(&empty);
    own.SetLinkOpener(&opener_);
    own.SetDialogHost(&host_);
    own.SetParentApp({"Tavon Datalogging", ""});
    own.SetFatalEnd([&ownEnds] { ++ownEnds; });
    EXPECT_EQ(own.GetPort(), nullptr);
    EXPECT_EQ(ownPrompt.shown,
              (Shown{{"There are no ports available for communication", "LinkSelect"}}));
    EXPECT_EQ(ownEnds, 1);
    EXPECT_TRUE(prompt_.shown.empty());
    EXPECT_EQ(endCalls, 0);

    // The module's selection, on its own registry, still chooses.
    host_.choice = "IrDA Port ttyUSB0";
    LinkPtr link = select_.GetPort();
    ASSERT_TRUE(link);
    EXPECT_EQ(std::dynamic_pointer_cast<FakeLink>(link)->Name(), "ttyUSB0");
    EXPECT_EQ(ownEnds, 1);

    // Without an end of its own, a selection's fatal message ends only its choice.
    own.SetFatalEnd(nullptr);
    EXPECT_EQ(own.GetPort(), nullptr);
    EXPECT_EQ(ownEnds, 1);
    EXPECT_EQ(ownPrompt.shown.size(), 2u);
}

TEST_F(LinkSelectTest, ConsoleHostChoosesThePresetPort) {
    ConsolePortDialogHost console("ttyUSB1");
    select_.SetDialogHost(&console);
    LinkPtr link = select_.GetPort();
    ASSERT_TRUE(link);
    EXPECT_EQ(std::dynamic_pointer_cast<FakeLink>(link)->Name(), "ttyUSB1");
    EXPECT_EQ(ReadSetting("Com Port"), "IrDA Port ttyUSB1");
}

TEST_F(LinkSelectTest, ConsoleHostWithoutPresetEndsWithoutLink) {
    ConsolePortDialogHost console;
    select_.SetDialogHost(&console);
    testing::internal::CaptureStderr();
    LinkPtr link = select_.GetPort();
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(link, nullptr);
    EXPECT_EQ(printed, "Select a device: \"IrDA Port ttyUSB0\" \"IrDA Port ttyUSB1\"\n");
}

// The real links, end to end: a pipe served by the test and a pty-backed serial port.
class LinkSelectSystemTest : public LinkSelectTest {
protected:
    void SetUp() override {
        LinkSelectTest::SetUp();
        select_.SetLinkOpener(nullptr);
    }
};

TEST_F(LinkSelectSystemTest, OpensThePipeServedByTheCompanion) {
    QLocalServer server;
    ASSERT_TRUE(server.listen(kCompanionPipeName));
    LinkPtr link = select_.GetPort();
    ASSERT_TRUE(link);
    EXPECT_TRUE(link->IsPipe());
    ASSERT_TRUE(server.waitForNewConnection(2000));
    QLocalSocket* peer = server.nextPendingConnection();
    ASSERT_NE(peer, nullptr);
    const uint8_t command[] = {'$', 'Q', '\r'};
    EXPECT_EQ(link->Write(command, 3), 3);
    ASSERT_TRUE(peer->waitForReadyRead(2000));
    EXPECT_EQ(peer->readAll(), QByteArray("$Q\r"));
    EXPECT_TRUE(prompt_.shown.empty());
}

// Makes sure the companion has already written when the library looks at the pipe.
class WritingServerOpener : public LinkOpener {
public:
    explicit WritingServerOpener(QLocalServer& server) : server_(server) {}
    LinkPtr OpenPipe() override {
        LinkPtr pipe = PipeLink::Open();
        if (pipe && server_.waitForNewConnection(2000)) {
            QLocalSocket* peer = server_.nextPendingConnection();
            peer->write("early");
            peer->waitForBytesWritten(2000);
            const auto end = Clock::now() + std::chrono::seconds(2);
            while (pipe->BytesWaiting() < 5 && Clock::now() < end) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
        return pipe;
    }
    LinkPtr OpenSerial(const std::string& name) override { return SerialLink::Open(name); }

private:
    QLocalServer& server_;
};

TEST_F(LinkSelectSystemTest, ServerThatWritesFirstGivesTheWarning) {
    QLocalServer server;
    ASSERT_TRUE(server.listen(kCompanionPipeName));
    WritingServerOpener opener(server);
    select_.SetLinkOpener(&opener);
    LinkPtr link = select_.GetPort();
    ASSERT_TRUE(link);
    EXPECT_EQ(prompt_.shown, (Shown{{"data in pipe", "Warning"}}));
    uint8_t buffer[8];
    EXPECT_EQ(link->Read(buffer, sizeof buffer), 5);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 5), "early");
}

TEST_F(LinkSelectSystemTest, ReconnectsARememberedPseudoTerminalThroughTheWidgetDialog) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    FakeRegistry registry;
    registry.SetString(kMap, "\\Device\\VCP0", pty.PortName());
    select_.SetRegistry(&registry);
    select_.SetDialogHost(nullptr); // the Qt window, offscreen
    WriteFile("Settings.ini", "Com Port=IrDA Port " + pty.PortName() + "\r\n");

    const auto start = Clock::now();
    LinkPtr link = select_.GetPort();
    const auto elapsed = Clock::now() - start;
    ASSERT_TRUE(link);
    pty.ReleaseSlave();
    EXPECT_FALSE(link->IsPipe());
    EXPECT_GE(elapsed, std::chrono::milliseconds(500)); // six ticks of 100 ms
    auto serial = std::dynamic_pointer_cast<SerialLink>(link);
    ASSERT_TRUE(serial);
    EXPECT_EQ(serial->CurrentSettings().baud, 115200);
    EXPECT_EQ(serial->CurrentSettings().stopBits, 1);
    EXPECT_TRUE(prompt_.shown.empty());
    EXPECT_EQ(ReadSetting("Com Port"), "IrDA Port " + pty.PortName());

    const uint8_t command[] = {'$', 'A'};
    EXPECT_EQ(link->Write(command, 2), 2);
    EXPECT_EQ(pty.ReadFromLink(2), "$A");
}

} // namespace
