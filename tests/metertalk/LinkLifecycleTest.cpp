#include "CommsFixture.h"
#include "metertalk/Comms.h"
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

// CComms through the module's engine and the module's selection, as the programs use them. That
// engine lives as long as the process, so every test first hands it a link of its own.
class LinkLifecycleTest : public ::testing::Test {
protected:
    void SetUp() override {
        list.InitTestList();
        list.ReadDriver(EngineDriverV10);
        comms.SetTestList(&list);
        earlier = std::make_shared<FakeLink>();
        ModuleCommsEngine().Attach(earlier);
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
        comms.SetTestList(nullptr);
        selector.SetUserPrompt(nullptr);
        selector.SetLinkOpener(nullptr);
        selector.SetDialogHost(nullptr);
    }

    std::shared_ptr<FakeLink> OfferPipe() {
        auto pipe = std::make_shared<FakeLink>(true);
        opener.pipes.push_back(pipe);
        return pipe;
    }
    void Select(const char* name) { ASSERT_NE(list.FindTest(name), 0) << name; }
    void SilentTicks(int n) {
        for (int i = 0; i < n; ++i)
            comms.OnTimer();
    }
    // Once whatever was outstanding has timed out, a read goes out on `to`: the link the engine
    // drives now.
    void ExpectReadGoesTo(FakeLink& to) {
        SilentTicks(20);
        target.Take();
        Select("Byte");
        ASSERT_EQ(comms.Ask(&target, 0), 1);
        EXPECT_EQ(to.Take(), ByteRead);
    }

    AppInfo app{"Tavon Datalogging", ""};
    CComms comms;
    CTestList list;
    RecordingTarget target;
    std::shared_ptr<FakeLink> earlier;
    RecordingPrompt prompt;
    ScriptedOpener opener;
    CancellingHost host;
    CLinkSelect selector;
    std::vector<RecordingProgress*> made;
};

// How an engine reads the link it was handed, on a fresh engine.
using LinkReadTest = CommsTest;

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
    // The engine in the middle of things on the link before: busy, half a frame in, a read
    // queued behind, a text length set.
    Select("Byte");
    ASSERT_EQ(comms.Ask(&target, 0), 1);
    RecordingTarget queued;
    EXPECT_EQ(comms.Ask(&queued, 0), 0);
    earlier->QueueTick("YH");
    comms.OnTimer();
    comms.SetStringLength(9);
    target.Take();
    earlier->Take();

    auto pipe = OfferPipe();
    EXPECT_EQ(comms.InitCom(&app, "KOVA", "115,200"), 1);
    EXPECT_TRUE(comms.LinkOpen());
    EXPECT_TRUE(comms.LinkIsPipe());
    ASSERT_EQ(made.size(), 1u);
    EXPECT_FALSE(made[0]->visible);
    EXPECT_EQ(host.runs, 0);
    EXPECT_TRUE(prompt.shown.empty());

    // Nothing is outstanding any more: no time-out comes.
    SilentTicks(20);
    EXPECT_TRUE(target.ids.empty());
    EXPECT_TRUE(queued.ids.empty());
    // The half frame is forgotten, so a whole one is heard from its start; and the queued read is
    // forgotten, so the frame does not send it.
    pipe->QueueTick("YHA01 9D\r\n");
    comms.OnTimer();
    ASSERT_FALSE(target.ids.empty());
    EXPECT_EQ(target.ids.front(), FS);
    EXPECT_EQ(pipe->Take(), "");
    EXPECT_TRUE(queued.ids.empty());
    // A text read continued without a target takes four characters again.
    list.ReadDriver(EngineDriverV11);
    Select("Text");
    ASSERT_EQ(comms.Ask(nullptr, 0), 1);
    EXPECT_EQ(pipe->Write(0), "   LT  32 00 04 ");
    EXPECT_EQ(earlier->Take(), "");
}

TEST_F(LinkLifecycleTest, WithoutALinkTheUserIsToldAndNoDialogIsMade) {
    EXPECT_EQ(comms.InitCom(&app, "KOVA", "A||B||C"), 0);
    EXPECT_EQ(host.runs, 1);
    EXPECT_EQ(host.caption, "Select connection for KOVA");
    EXPECT_EQ(host.portNames.substr(host.portNames.size() - 9), "A||B||C||");
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].first, "Cannot open serial port\nIt may be in use by another "
                                     "application,\nor it may have been disabled");
    EXPECT_EQ(prompt.shown[0].second, "Error");
    EXPECT_TRUE(made.empty());
    EXPECT_FALSE(comms.LinkOpen());
    EXPECT_FALSE(comms.LinkIsPipe());
    // Nothing to read from, nothing to crash on, and nothing reaches the link before.
    comms.OnTimer();
    Select("Byte");
    EXPECT_EQ(comms.Ask(&target, 0), 1);
    EXPECT_EQ(earlier->Take(), "");
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
    // Kept: still the pipe, only closed.
    EXPECT_FALSE(comms.LinkOpen());
    EXPECT_TRUE(comms.LinkIsPipe());
    EXPECT_EQ(pipe->Take(), "");
    // Reads on the closed link fail harmlessly and the request times out.
    SilentTicks(20);
    EXPECT_EQ(target.Take(), (std::vector<int>{ID_COMMS_TIMEOUT}));
}

TEST_F(LinkLifecycleTest, ClosingBeforeAnyLinkDoesNothing) {
    // A choice that ended without a link leaves the engine with none.
    ASSERT_EQ(comms.InitCom(&app, "KOVA", ""), 0);
    ASSERT_FALSE(comms.LinkOpen());
    EXPECT_EQ(comms.InitCom(nullptr, "", ""), 0);
    EXPECT_FALSE(comms.LinkOpen());
    EXPECT_FALSE(comms.LinkIsPipe());
    EXPECT_EQ(earlier->closes, 0);
    comms.OnTimer();
}

TEST_F(LinkLifecycleTest, ChoosingAgainClosesAReplacedPipe) {
    auto first = OfferPipe();
    ASSERT_EQ(comms.InitCom(&app, "KOVA", "115,200"), 1);
    auto second = OfferPipe();
    comms.SetProperties();
    ExpectReadGoesTo(*second);
    EXPECT_EQ(first->closes, 1);
    EXPECT_EQ(second->closes, 0);

    auto third = OfferPipe();
    comms.ReOpen();
    ExpectReadGoesTo(*third);
    EXPECT_EQ(second->closes, 1);

    // No link at all: stored as such, and the old pipe is still closed.
    comms.SetProperties();
    EXPECT_FALSE(comms.LinkOpen());
    EXPECT_FALSE(comms.LinkIsPipe());
    EXPECT_EQ(third->closes, 1);
    SilentTicks(20);
    EXPECT_EQ(comms.Ask(&target, 0), 1);
    EXPECT_EQ(third->Take(), "");
}

TEST_F(LinkLifecycleTest, AReplacedSerialLinkIsLeftToTheSelectionLibrary) {
    auto serial = std::make_shared<FakeLink>(false);
    ModuleCommsEngine().Attach(serial);
    auto pipe = OfferPipe();
    comms.SetProperties();
    EXPECT_TRUE(comms.LinkIsPipe());
    ExpectReadGoesTo(*pipe);
    EXPECT_EQ(serial->closes, 0);
    EXPECT_EQ(serial->Take(), "");
}

TEST_F(LinkLifecycleTest, ModemControlCodesReachTheModulesLink) {
    comms.SetDTR(CComms::SETDTR);
    comms.SetDTR(CComms::CLRRTS);
    EXPECT_EQ(earlier->modemLines,
              (std::vector<Link::ModemLine>{Link::ModemLine::SetDtr, Link::ModemLine::ClrRts}));
}

TEST_F(LinkReadTest, APipeWithNothingWaitingIsNotRead) {
    auto pipe = std::make_shared<FakeLink>(true);
    engine.Attach(pipe);
    Select("Byte");
    ASSERT_EQ(engine.Ask(&target, 0), 1);
    engine.OnTimer();
    EXPECT_EQ(pipe->peeks, 1);
    EXPECT_EQ(pipe->reads, 0);
    pipe->QueueTick(Answer("01"));
    engine.OnTimer();
    EXPECT_EQ(pipe->reads, 1);
    // What that one read brought is handled whole.
    EXPECT_EQ(target.Take(), (std::vector<int>{FS, ID_COMMS_ASK_DONE}));
    EXPECT_EQ(engine.GetNewValue(), 1);
}

TEST_F(LinkReadTest, APipeWhosePeekFailsIsReadAnyway) {
    auto pipe = std::make_shared<FakeLink>(true);
    pipe->failPeek = true;
    engine.Attach(pipe);
    engine.OnTimer();
    EXPECT_EQ(pipe->reads, 1);
}

TEST_F(LinkReadTest, ASerialLinkIsReadEveryTickAtMostFiveHundredTwelveBytes) {
    auto serial = std::make_shared<FakeLink>(false);
    engine.Attach(serial);
    engine.OnTimer();
    engine.OnTimer();
    EXPECT_EQ(serial->reads, 2);
    EXPECT_EQ(serial->peeks, 0);
    serial->QueueTick(std::string(700, 'x'));
    engine.OnTimer();
    EXPECT_EQ(serial->consumed, 512);
    engine.OnTimer();
    EXPECT_EQ(serial->consumed, 700);
    // A failed read hands nothing on: the bytes of the read before are not handled again.
    Select("Byte");
    ASSERT_EQ(engine.Ask(&target, 0), 1);
    serial->QueueTick(Answer("01"));
    engine.OnTimer();
    EXPECT_EQ(target.Take(), (std::vector<int>{FS, ID_COMMS_ASK_DONE}));
    serial->failReads = true;
    engine.OnTimer();
    EXPECT_TRUE(target.ids.empty());
}

TEST_F(LinkReadTest, ModemControlCodesReachTheLink) {
    auto serial = std::make_shared<FakeLink>(false);
    engine.Attach(serial);
    engine.SetDTR(CommsEngine::SETDTR);
    engine.SetDTR(CommsEngine::CLRDTR);
    engine.SetDTR(CommsEngine::SETRTS);
    engine.SetDTR(CommsEngine::CLRRTS);
    engine.SetDTR(99);
    EXPECT_EQ(serial->modemLines,
              (std::vector<Link::ModemLine>{Link::ModemLine::SetDtr, Link::ModemLine::ClrDtr,
                                            Link::ModemLine::SetRts, Link::ModemLine::ClrRts}));
    // Without a link there is nothing to set, and nothing fails.
    CommsEngine unlinked;
    unlinked.SetDTR(CommsEngine::SETDTR);
    EXPECT_FALSE(unlinked.LinkOpen());
}

} // namespace
