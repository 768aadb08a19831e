#pragma once

#include "app/BrowserComms.h"

class CComms;
class CTestList;
class CommandTarget;
class SessionBrowser;

// The session browser's conversation carried by the program's CComms and CTestList. Every Ask and
// Set names `target`, so the notifications come back to the window (or the command-line loop)
// that feeds them to the browser with DispatchCommsCommand.
class MeterTalkComms : public BrowserComms {
public:
    MeterTalkComms(CComms& comms, CTestList& tests, CommandTarget* target);

    // Attaches the test list to the comms object and prepares the bulk-upload progress display,
    // as start-up does before the browser's first poll.
    void Prepare();

    int Ask(int index) override;
    int Set(unsigned int value) override;
    char FindTest(const char* name) override;
    void ReadDriver(const char* text) override;
    void SetSensorNumber(int sensor) override;
    int GetUploadedData(uint8_t* dest, uint32_t capacity, int& length) override;

private:
    CComms& m_comms;
    CTestList& m_tests;
    CommandTarget* m_target;
};

// Hands the communications notifications that drive the browser (ID_COMMS_TIMEOUT to
// ID_COMMS_UNSOLICITED) to it; returns false for every other id, which the caller handles
// (ID_COMMS_FRAME_START: nothing; ID_COMMS_CHECKSUM_ERROR: "Error in serial comms", then exit).
bool DispatchCommsCommand(SessionBrowser& browser, int id);
