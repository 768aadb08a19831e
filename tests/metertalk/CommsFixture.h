#pragma once

#include "CommsFakes.h"

#include "metertalk/CommsEngine.h"
#include "metertalk/TestList.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// Test list used by the engine tests: one test of every kind, plain and per sensor.
inline const char* const EngineDriverV10 =
    "V10!AByte!11!129!N!AWord!20!130!N!ALong!33!131!N!ASplit!44!132!N!AText!50!133!N8!"
    "ASensByte!60!129!S!ASensWord!61!130!S!ASensText!62!5!S6!AHex!171!5!N4!ALongText!70!5!N20!"
    "AHugeText!71!5!N64!";
inline const char* const EngineDriverV11 =
    "V11!AByte!11!129!N!AWord!20!130!N!ALong!33!131!N!ASplit!44!132!N!AText!50!133!N8!"
    "ASensByte!60!129!S!ASensWord!61!130!S!ASensText!62!5!S6!AHex!171!5!N4!ALongText!70!5!N20!"
    "AHugeText!71!5!N64!";

inline constexpr int FS = ID_COMMS_FRAME_START;

// The read of "Byte" (test 11, one byte) as it goes out on the wire.
inline const char* const ByteRead = "   LR  0B 00 01 8F\r\n";

// A fresh engine for every test, on a fake link handed over as a successful opening would.
class CommsTest : public ::testing::Test {
protected:
    void SetUp() override {
        list.InitTestList();
        list.ReadDriver(EngineDriverV10);
        engine.SetTestList(&list);
        link = std::make_shared<FakeLink>();
        engine.Attach(link);
    }

    void UseDriver(const char* text) { list.ReadDriver(text); }
    void Select(const char* name) { ASSERT_NE(list.FindTest(name), 0) << name; }

    // One tick that delivers bytes, then the engine runs.
    void Receive(const std::string& bytes) {
        link->QueueTick(bytes);
        engine.OnTimer();
    }
    void SilentTicks(int n) {
        for (int i = 0; i < n; ++i)
            engine.OnTimer();
    }

    // Whatever happened before, the engine is sound afterwards: once the link has delivered all
    // it holds, any request ends within twenty silent ticks, a frame cut off anywhere is given up
    // within the longest frame's bytes, and the next read is written at once and its answer
    // handled.
    void ExpectRecovers() {
        while (!link->Drained())
            engine.OnTimer();
        SilentTicks(20);
        Receive(std::string(52, '\0'));
        target.Take();
        link->Take();
        ASSERT_NE(list.FindTest("Byte"), 0);
        ASSERT_EQ(engine.Ask(&target, 0), 1);
        EXPECT_EQ(link->Take(), ByteRead);
        Receive(Answer("2A"));
        EXPECT_EQ(target.Take(), (std::vector<int>{FS, ID_COMMS_ASK_DONE}));
        EXPECT_EQ(engine.GetNewValue(), 0x2A);
    }

    CommsEngine engine;
    CTestList list;
    std::shared_ptr<FakeLink> link;
    RecordingTarget target;
};
