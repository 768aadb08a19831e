#pragma once

#include "app/BrowserComms.h"

class CComms;
class CTestList;
class CommandTarget;

// The session browser's view of the instrument conversation, over the program's one CComms and
// CTestList; every Ask and Set names the main dialog's command target, so the notifications come
// back to it.
class DialogComms : public BrowserComms {
public:
    DialogComms(CComms& comms, CTestList& tests, CommandTarget& target)
        : comms_(comms), tests_(tests), target_(target) {}

    int Ask(int index) override;
    int Set(unsigned int value) override;
    char FindTest(const char* name) override;
    void ReadDriver(const char* text) override;
    void SetSensorNumber(int sensor) override;
    int GetUploadedData(uint8_t* dest, uint32_t capacity, int& length) override;

private:
    CComms& comms_;
    CTestList& tests_;
    CommandTarget& target_;
};
