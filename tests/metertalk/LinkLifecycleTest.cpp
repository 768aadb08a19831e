#include "CommsFixture.h"
#include "metertalk/engine/PortNameList.h"

#include "linkselect/LinkOpener.h"
#include "linkselect/LinkSelect.h"
#include "linkselect/PortDialogHost.h"
#include "linkselect/PortDialogLogic.h"
#include "testsupport/RecordingPrompt.h"

#include <string>
#include <utility>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

using testsupport::RecordingPrompt;

// Hands out scripted links in place of the pipe and the serial ports.
class ScriptedOpener : public LinkOpener {
public:
    LinkPtr OpenPipe() override {
        ++pipeOpens;
        if (pipes.empty())
            return nullptr;
        LinkPtr next = pipes.front();
        pipes.erase(pipes.begin());
        return next;
    }
    LinkPtr OpenSerial(const std::string&) override { return nullptr; }
    std::vector<LinkPtr> pipes;
    int pipeOpens = 0;
};

// The selection dialog as the user would end it at once with Cancel; it remembers what the
// library was handed for it.
class CancellingHost : public PortDialogHost {
public:
    int RunModal(PortDialogLogic& logic) override {
        ++runs;
        caption = logic.CaptionText();
        portNames = logic.PortNameList();
        return PortDialogLogic::kIdCancel;
    }
    int runs = 0;
    std::string caption;
    std::string portNames;
};

class LinkLifecycleTest : public CommsTest {
protected:
    void SetUp() override {
        CommsTest::SetUp();
        Comms().Port.reset();
        comms.SetUserPrompt(&prompt);
        selector.SetUserPrompt(&prompt);
        selector.SetLinkOpener(&opener);
        selector.SetDialogHost(&host);
        comms.SetProgressFactory([this] {
            auto view = std::make_unique<RecordingProgress>();
            made.push_back(view.get());
            return view;
        });
    }
    void TearDown() override {
        comms.SetProgressFactory(nullptr);
        comms.SetUserPrompt(nullptr);
        selector.SetUserPrompt(nullptr);
        selector.SetLinkOpener(nullptr);
        selector.SetDialogHost(nullptr);
        CommsTest::TearDown();
    }

    std::shared_ptr<FakeLink> OfferPipe() {
        auto pipe = std::make_shared<FakeLink>(true);
        opener.pipes.push_back(pipe);
        return pipe;
    }

    AppInfo app{"Tavon Datalogging", ""};
    RecordingPrompt prompt;
    ScriptedOpener opener;
    CancellingHost host;
    CLinkSelect selector;
    std::vector<RecordingProgress*> made;
};

TEST(PortNameList, ItemsAreSplitAtEveryDoubleBar) {
    auto split = [](const std::string& list) {
        Strings items;
        SplitPortNames(list, [&items](const std::string& item) { items.push_back(item); });
        return items;
    };
    EXPECT_EQ(split("COM1||COM2||COM3"), (Strings{"COM1", "COM2", "COM3"}));
    EXPECT_EQ(split(""), (Strings{""}));
    EXPECT_EQ(split("115,200"), (Strings{"115,200"}));
    EXPECT_EQ(split("a||"), (Strings{"a", ""}));
    EXPECT_EQ(split("||"), (Strings{"", ""}));
    EXPECT_EQ(split("a|b|||c"), (Strings{"a|b", "|c"}));
}

TEST_F(LinkLifecycleTest, InitComTakesThePipeAndMakesAHiddenProgressDialog) {
    auto pipe = OfferPipe();
    Comms().BusyTicks = 7;
    Comms().InFrame = 1;
    Comms().QueuedWindow = &target;
    Comms().StringRemaining = 9;
    EXPECT_EQ(comms.InitCom(&app, "KOVA", "115,200"), 1);
    EXPECT_EQ(Comms().Port, pipe);
    ASSERT_EQ(made.size(), 1u);
    EXPECT_FALSE(made[0]->visible);
    EXPECT_EQ(host.runs, 0);
    EXPECT_EQ(Comms().BusyTicks, 0);
    EXPECT_EQ(Comms().InFrame, 0);
    EXPECT_EQ(Comms().QueuedWindow, nullptr);
    EXPECT_EQ(Comms().StringRemaining, 4);
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(LinkLifecycleTest, WithoutALinkTheUserIsToldAndNoDialogIsMade) {
    const std::string before = host.portNames;
    EXPECT_EQ(comms.InitCom(&app, "KOVA", "A||B||C"), 0);
    EXPECT_EQ(host.runs, 1);
    EXPECT_EQ(host.caption, "Select connection for KOVA");
    EXPECT_EQ(host.portNames.substr(host.portNames.size() - 9), "A||B||C||");
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].first, "Cannot open serial port\nIt may be in use by another "
                                     "application,\nor it may have been disabled");
    EXPECT_EQ(prompt.shown[0].second, "Error");
    EXPECT_TRUE(made.empty());
    EXPECT_FALSE(Comms().Port);
    // Nothing to read from, nothing to crash on.
    comms.OnTimer();
    Select("Byte");
    EXPECT_EQ(comms.Ask(&target, 0), 1);
}

TEST_F(LinkLifecycleTest, AnApplicationNamedRakNeverTakesThePipe) {
    OfferPipe();
    AppInfo rak{"RAK tool", ""};
    EXPECT_EQ(comms.InitCom(&rak, "KOVA", ""), 0);
    EXPECT_EQ(opener.pipeOpens, 0);
    EXPECT_EQ(host.runs, 1);
}

TEST_F(LinkLifecycleTest, ClosingClosesTheLinkAndKeepsIt) {
    auto pipe = OfferPipe();
    ASSERT_EQ(comms.InitCom(&app, "KOVA", "115,200"), 1);
    Select("Byte");
    comms.Ask(&target, 0);
    const std::string sent = pipe->Take();
    EXPECT_EQ(comms.InitCom(nullptr, "", ""), 0);
    EXPECT_EQ(pipe->closes, 1);
    EXPECT_EQ(Comms().Port, pipe);
    EXPECT_EQ(pipe->Take(), "");
    // Reads on the closed link fail harmlessly and the request times out.
    SilentTicks(20);
    EXPECT_EQ(target.Take(), (std::vector<int>{ID_COMMS_TIMEOUT}));
}

TEST_F(LinkLifecycleTest, ClosingBeforeAnyLinkDoesNothing) {
    EXPECT_EQ(comms.InitCom(nullptr, "", ""), 0);
    EXPECT_FALSE(Comms().Port);
    comms.OnTimer();
}

TEST_F(LinkLifecycleTest, ChoosingAgainClosesAReplacedPipe) {
    auto first = OfferPipe();
    ASSERT_EQ(comms.InitCom(&app, "KOVA", "115,200"), 1);
    auto second = OfferPipe();
    comms.SetProperties();
    EXPECT_EQ(Comms().Port, second);
    EXPECT_EQ(first->closes, 1);
    EXPECT_EQ(second->closes, 0);

    auto third = OfferPipe();
    comms.ReOpen();
    EXPECT_EQ(Comms().Port, third);
    EXPECT_EQ(second->closes, 1);

    // No link at all: stored as such, and the old pipe is still closed.
    comms.SetProperties();
    EXPECT_FALSE(Comms().Port);
    EXPECT_EQ(third->closes, 1);
}

TEST_F(LinkLifecycleTest, AReplacedSerialLinkIsLeftToTheSelectionLibrary) {
    auto serial = std::make_shared<FakeLink>(false);
    Comms().Port = serial;
    auto pipe = OfferPipe();
    comms.SetProperties();
    EXPECT_EQ(Comms().Port, pipe);
    EXPECT_EQ(serial->closes, 0);
}

TEST_F(LinkLifecycleTest, APipeWithNothingWaitingIsNotRead) {
    auto pipe = std::make_shared<FakeLink>(true);
    Comms().Port = pipe;
    comms.OnTimer();
    EXPECT_EQ(pipe->peeks, 1);
    EXPECT_EQ(pipe->reads, 0);
    EXPECT_EQ(Comms().ReadCount, 0);
    pipe->QueueTick("abc");
    comms.OnTimer();
    EXPECT_EQ(pipe->reads, 1);
    EXPECT_EQ(Comms().ReadCount, 3);
    EXPECT_EQ(Comms().ReadPos, 3);
}

TEST_F(LinkLifecycleTest, APipeWhosePeekFailsIsReadAnyway) {
    auto pipe = std::make_shared<FakeLink>(true);
    pipe->failPeek = true;
    Comms().Port = pipe;
    comms.OnTimer();
    EXPECT_EQ(pipe->reads, 1);
}

TEST_F(LinkLifecycleTest, ASerialLinkIsReadEveryTickAtMostFiveHundredTwelveBytes) {
    auto serial = std::make_shared<FakeLink>(false);
    Comms().Port = serial;
    comms.OnTimer();
    comms.OnTimer();
    EXPECT_EQ(serial->reads, 2);
    EXPECT_EQ(serial->peeks, 0);
    serial->QueueTick(std::string(700, 'x'));
    comms.OnTimer();
    EXPECT_EQ(Comms().ReadCount, 512);
    comms.OnTimer();
    EXPECT_EQ(Comms().ReadCount, 188);
    serial->failReads = true;
    comms.OnTimer();
    EXPECT_EQ(Comms().ReadCount, 0);
}

TEST_F(LinkLifecycleTest, ModemControlCodesReachTheLink) {
    auto serial = std::make_shared<FakeLink>(false);
    Comms().Port = serial;
    comms.SetDTR(CComms::SETDTR);
    comms.SetDTR(CComms::CLRDTR);
    comms.SetDTR(CComms::SETRTS);
    comms.SetDTR(CComms::CLRRTS);
    comms.SetDTR(99);
    EXPECT_EQ(serial->modemLines,
              (std::vector<Link::ModemLine>{Link::ModemLine::SetDtr, Link::ModemLine::ClrDtr,
                                            Link::ModemLine::SetRts, Link::ModemLine::ClrRts}));
    Comms().Port.reset();
    comms.SetDTR(CComms::SETDTR);
}

} // namespace
