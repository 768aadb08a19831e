#include "CommsFixture.h"
#include "metertalk/Comms.h"

#include <memory>
#include <string>
#include <vector>

namespace {

using Ids = std::vector<int>;
const int AD = ID_COMMS_ASK_DONE;
const int SD = ID_COMMS_SET_DONE;
const int UN = ID_COMMS_UNSOLICITED;
const int TO = ID_COMMS_TIMEOUT;
const int CE = ID_COMMS_CHECKSUM_ERROR;

// One instrument of several: its own engine, link, test list and window.
struct Instrument {
    Instrument(const char* driver, bool pipe) : link(std::make_shared<FakeLink>(pipe)) {
        list.InitTestList();
        list.ReadDriver(driver);
        engine.SetTestList(&list);
        engine.Attach(link);
    }
    void Receive(const std::string& bytes) {
        link->QueueTick(bytes);
        engine.OnTimer();
    }
    std::string Uploaded() const {
        std::vector<char> buffer(CommsEngine::UploadCapacity + 1);
        int length = 0;
        engine.GetUploadedData(buffer.data(), length);
        return std::string(buffer.data(), static_cast<size_t>(length));
    }

    CommsEngine engine;
    CTestList list;
    std::shared_ptr<FakeLink> link;
    RecordingTarget target;
};

class TwoEngines : public ::testing::Test {
protected:
    Instrument a{EngineDriverV10, false};
    Instrument b{EngineDriverV11, true};
};

TEST_F(TwoEngines, EachLinkCarriesOnlyItsOwnConversation) {
    EXPECT_FALSE(a.engine.LinkIsPipe());
    EXPECT_TRUE(b.engine.LinkIsPipe());

    ASSERT_NE(a.list.FindTest("Byte"), 0);
    ASSERT_NE(b.list.FindTest("LongText"), 0);
    ASSERT_EQ(a.engine.Ask(&a.target, 0), 1);
    ASSERT_EQ(b.engine.Ask(&b.target, 0), 1);
    EXPECT_EQ(a.link->Take(), ByteRead);
    EXPECT_EQ(b.link->Take(), "   LT  46 00 10 95\r\n");

    // b's first part: b asks for the rest, a hears nothing and says nothing.
    b.Receive(Answer("Gas detector 123"));
    a.engine.OnTimer();
    EXPECT_EQ(b.link->Take(), "   LT  46 10 04 91\r\n");
    EXPECT_EQ(b.target.Take(), (Ids{FS}));
    EXPECT_EQ(a.link->Take(), "");
    EXPECT_TRUE(a.target.ids.empty());

    a.Receive(Answer("2A"));
    b.engine.OnTimer();
    EXPECT_EQ(a.target.Take(), (Ids{FS, AD}));
    EXPECT_TRUE(b.target.ids.empty());
    EXPECT_EQ(a.engine.GetNewValue(), 0x2A);
    EXPECT_EQ(b.engine.GetNewValue(), 0);

    b.Receive(Answer("4567"));
    a.engine.OnTimer();
    EXPECT_EQ(b.target.Take(), (Ids{FS, AD}));
    EXPECT_TRUE(a.target.ids.empty());
    EXPECT_STREQ(b.engine.GetNewString(), "Gas detector 1234567");
    EXPECT_STREQ(a.engine.GetNewString(), "");
    EXPECT_EQ(a.link->Take(), "");
    EXPECT_EQ(b.link->Take(), "");
}

TEST_F(TwoEngines, TimeOutsAndSpoiltFramesStayWithTheirOwnEngine) {
    ASSERT_NE(a.list.FindTest("Word"), 0);
    ASSERT_EQ(a.engine.Set(&a.target, 5u), 1);
    EXPECT_EQ(a.link->Take(), "   OW  14 00 05 00 10\r\n");
    // b is idle: its ticks neither count a's request down nor time anything out.
    for (int i = 0; i < 40; ++i)
        b.engine.OnTimer();
    EXPECT_TRUE(a.target.ids.empty());
    EXPECT_TRUE(b.target.ids.empty());
    for (int i = 0; i < 19; ++i)
        a.engine.OnTimer();
    EXPECT_TRUE(a.target.ids.empty());
    a.engine.OnTimer();
    EXPECT_EQ(a.target.Take(), (Ids{TO}));
    EXPECT_TRUE(b.target.ids.empty());

    ASSERT_NE(b.list.FindTest("Byte"), 0);
    ASSERT_EQ(b.engine.Ask(&b.target, 0), 1);
    std::string spoilt = Answer("01");
    spoilt[spoilt.size() - 3] ^= 1;
    b.Receive(spoilt);
    a.engine.OnTimer();
    EXPECT_EQ(b.target.Take(), (Ids{FS, CE}));
    EXPECT_TRUE(a.target.ids.empty());
    // a's write, late but whole, is still a's.
    a.Receive(Answer("00"));
    EXPECT_EQ(a.target.Take(), (Ids{FS, SD}));
    EXPECT_TRUE(b.target.ids.empty());
}

TEST_F(TwoEngines, InterleavedUploadsFillTheirOwnBuffers) {
    for (Instrument* i : {&a, &b}) {
        ASSERT_NE(i->list.FindTest("Byte"), 0);
        ASSERT_EQ(i->engine.Set(&i->target, 3u), 1);
    }
    a.Receive(Answer("00"));
    b.Receive(Answer("00"));
    a.Receive(MakeFrame('M', "abc"));
    b.Receive(MakeFrame('M', "XYZ"));
    a.Receive(MakeFrame('M', "def"));
    b.Receive(MakeFrame('M', std::string("W\0V", 3)));
    b.Receive(Answer("00"));
    a.Receive(Answer("00"));
    EXPECT_EQ(a.target.Take(), (Ids{FS, SD, FS, FS, FS, UN}));
    EXPECT_EQ(b.target.Take(), (Ids{FS, SD, FS, FS, FS, UN}));
    EXPECT_EQ(a.Uploaded(), "abcdef");
    EXPECT_EQ(b.Uploaded(), std::string("XYZW\0V", 6));

    // One run past the buffer: only that engine overflows.
    ASSERT_EQ(b.engine.Set(&b.target, 3u), 1);
    b.Receive(Answer("00"));
    for (int sent = 0; sent <= CommsEngine::UploadCapacity; sent += 44)
        b.Receive(MakeFrame('M', std::string(44, 'q')));
    b.Receive(Answer("00"));
    EXPECT_EQ(b.engine.GetUploadOverflow(), 1);
    EXPECT_EQ(a.engine.GetUploadOverflow(), 0);
    EXPECT_EQ(a.Uploaded(), "abcdef");
}

TEST_F(TwoEngines, ClosingOneLeavesTheOtherOpen) {
    a.engine.Close();
    EXPECT_EQ(a.link->closes, 1);
    EXPECT_FALSE(a.engine.LinkOpen());
    EXPECT_TRUE(b.engine.LinkOpen());
    EXPECT_EQ(b.link->closes, 0);
}

// The documented CComms has no state of its own: every instance drives the module's one engine
// and its one link.
TEST(ModuleEngine, EveryCCommsDrivesTheSameLink) {
    CTestList list;
    list.InitTestList();
    list.ReadDriver(EngineDriverV10);
    auto link = std::make_shared<FakeLink>();
    ModuleCommsEngine().Attach(link);
    CComms first;
    CComms second;
    RecordingTarget target;
    RecordingTarget other;

    // The test list given to one is the one every other consults.
    first.SetTestList(&list);
    ASSERT_NE(list.FindTest("Byte"), 0);
    ASSERT_EQ(second.Ask(&target, 0), 1);
    EXPECT_EQ(link->Take(), ByteRead);
    EXPECT_TRUE(first.LinkOpen());

    // The request of one keeps every other waiting, and its answer is every instance's.
    EXPECT_EQ(first.Ask(&other, 0), 0);
    link->QueueTick(Answer("01"));
    second.OnTimer();
    EXPECT_EQ(link->Take(), ByteRead);
    link->QueueTick(Answer("2A"));
    first.OnTimer();
    EXPECT_EQ(target.Take(), (Ids{FS}));
    EXPECT_EQ(other.Take(), (Ids{FS, AD}));
    EXPECT_EQ(first.GetNewValue(), 0x2A);
    EXPECT_EQ(second.GetNewValue(), 0x2A);

    // A run started through one is collected through another.
    ASSERT_EQ(first.Set(&target, 3u), 1);
    link->QueueTick(Answer("00") + MakeFrame('M', "shared") + Answer("00"));
    second.OnTimer();
    char buffer[16];
    int length = 0;
    EXPECT_EQ(CComms().GetUploadedData(buffer, sizeof buffer, length), 1);
    EXPECT_EQ(std::string(buffer, static_cast<size_t>(length)), "shared");

    second.SetDTR(CComms::SETDTR);
    EXPECT_EQ(link->modemLines, (std::vector<Link::ModemLine>{Link::ModemLine::SetDtr}));
    first.SetTestList(nullptr);
}

} // namespace
