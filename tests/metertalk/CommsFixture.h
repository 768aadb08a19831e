#pragma once

#include "CommsFakes.h"
#include "metertalk/engine/CommsState.h"

#include "metertalk/Comms.h"
#include "metertalk/TestList.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

// Test list used by the engine tests: one test of every kind, plain and per sensor.
inline const char* const EngineDriverV10 =
    "V10!AByte!11!129!N!AWord!20!130!N!ALong!33!131!N!ASplit!44!132!N!AText!50!133!N8!"
    "ASensByte!60!129!S!ASensWord!61!130!S!ASensText!62!5!S6!AHex!171!5!N4!ALongText!70!5!N20!"
    "AHugeText!71!5!N64!";
inline const char* const EngineDriverV11 =
    "V11!AByte!11!129!N!AWord!20!130!N!ALong!33!131!N!ASplit!44!132!N!AText!50!133!N8!"
    "ASensByte!60!129!S!ASensWord!61!130!S!ASensText!62!5!S6!AHex!171!5!N4!ALongText!70!5!N20!"
    "AHugeText!71!5!N64!";

// The module state starts as at load for every test, with a fake link in place of the one the
// selection library would hand over.
class CommsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetCommsState();
        list.InitTestList();
        list.ReadDriver(EngineDriverV10);
        comms.SetTestList(&list);
        link = std::make_shared<FakeLink>();
        Comms().Port = link;
        Comms().StringRemaining = 4;
    }
    void TearDown() override { ResetCommsState(); }

    void UseDriver(const char* text) { list.ReadDriver(text); }
    void Select(const char* name) { ASSERT_NE(list.FindTest(name), 0) << name; }

    // One tick that delivers bytes, then the engine runs.
    void Receive(const std::string& bytes) {
        link->QueueTick(bytes);
        comms.OnTimer();
    }
    void SilentTicks(int n) {
        for (int i = 0; i < n; ++i)
            comms.OnTimer();
    }

    CComms comms;
    CTestList list;
    std::shared_ptr<FakeLink> link;
    RecordingTarget target;
};

inline constexpr int FS = ID_COMMS_FRAME_START;
