#pragma once

#include "session/UploadComms.h"

class CommsEngine;
class CTestList;
class CommandTarget;
class SessionReader;

// The session reader's conversation carried by an engine and its test list. Every Ask and Set
// names `target`, so the notifications come back to whoever feeds them to the reader with
// DispatchCommsCommand.
class MeterTalkComms : public UploadComms {
public:
    MeterTalkComms(CommsEngine& engine, CTestList& tests, CommandTarget* target);

    // Attaches the test list to the engine and prepares the bulk-upload progress display,
    // as start-up does before the browser's first poll.
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
    CommandTarget* m_target;
};

// Hands the communications notifications that drive the reader (ID_COMMS_TIMEOUT to
// ID_COMMS_UNSOLICITED, and ID_COMMS_REFUSED) to it; returns false for every other id, which the
// caller handles
// (ID_COMMS_FRAME_START: nothing; ID_COMMS_CHECKSUM_ERROR: the spoiled reply is asked again).
bool DispatchCommsCommand(SessionReader& reader, int id);
