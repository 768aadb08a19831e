#pragma once

#include <cstdint>

// What the upload machine needs of the instrument conversation. Every Ask and Set is answered
// later through one of the session reader's notification handlers (OnAskDone, OnSetDone,
// OnUploadDone, OnTimeout), never from inside the call. The program's implementation sits over
// CComms and CTestList (MeterTalkComms.h); tests script a fake.
class UploadComms {
public:
    virtual ~UploadComms() = default;

    // Reads the current test (the idle poll and the re-ask after a time-out).
    virtual int Ask(int index) = 0;
    // Reads the current test where a refusal is an answer: it ends the read at once (the
    // browser's OnRefused) instead of in a time-out. The command is the same as Ask's.
    virtual int AskAcceptingRefusal(int index) { return Ask(index); }
    // Writes a number to the current test.
    virtual int Set(unsigned int value) = 0;
    // Makes the named test current; returns its version letter, or 0 when the driver text does
    // not know the name (then no test is current and Ask and Set send nothing).
    virtual char FindTest(const char* name) = 0;
    // Whether the driver text describes the named test; the current test stays as it is.
    virtual bool HasTest(const char* name) = 0;
    // Replaces the test list with the one a driver text describes; nullptr loads the built-in one.
    virtual void ReadDriver(const char* text) = 0;
    virtual void SetSensorNumber(int sensor) = 0;
    // The text of the last text read (a NUL-terminated string owned by the conversation).
    virtual const char* GetNewString() = 0;
    // Copies the bytes of the last bulk upload to `dest` and one zero byte after them, never more
    // than `capacity` bytes in all (the zero included): an upload longer than capacity - 1 is cut.
    // `length` receives the number of data bytes stored. Returns 1, or 0 when the data were cut.
    virtual int GetUploadedData(uint8_t* dest, uint32_t capacity, int& length) = 0;
};
