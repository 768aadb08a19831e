#pragma once

#include "metertalk/CommsEvent.h"
#include "session/UploadComms.h"

class CommsEngine;
class CTestList;
class CommsListener;
class SessionReader;

// The session reader's conversation carried by an engine and its test list. Every Ask and Set
// names `listener`, so the events come back to whoever feeds them to the reader with
// DispatchCommsEvent.
class MeterTalkComms : public UploadComms {
public:
    MeterTalkComms(CommsEngine& engine, CTestList& tests, CommsListener* listener);

    // Attaches the test list to the engine and prepares the bulk-upload progress display,
    // as start-up does before the reader's first poll.
    void Prepare();

    int Ask(int index) override;
    int AskAcceptingRefusal(int index) override;
    int Set(unsigned int value) override;
    char FindTest(const char* name) override;
    bool HasTest(const char* name) override;
    void ReadDriver(const char* text) override;
    void SetSensorNumber(int sensor) override;
    const char* GetNewString() override;
    int GetUploadedData(uint8_t* dest, uint32_t capacity, int& length) override;

private:
    CommsEngine& m_comms;
    CTestList& m_tests;
    CommsListener* m_listener;
};

// Hands the engine's events that drive the reader (TimedOut, AskDone, SetDone, UploadDone and
// Refused) to it; returns false for the others, which the caller handles (FrameStart: nothing;
// ChecksumError: the spoiled reply is asked again).
bool DispatchCommsEvent(SessionReader& reader, CommsEvent event);
