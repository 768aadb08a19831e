#pragma once

#include "linkselect/Platform.h"
#include "metertalk/CommandTarget.h"
#include "metertalk/CommsEngine.h"

#include <cstdint>
#include <string>

class CTestList;

// The conversation with one instrument over one link. A CComms carries no data: every instance
// in the process drives the same module-wide engine (ModuleCommsEngine, CommsEngine.h) and so the
// same single link. All calls belong on the thread that calls OnTimer; none blocks, none throws.
//
// Outcomes of Ask and Set arrive later as ID_COMMS_* commands posted to the CommandTarget of the
// last Ask or Set (see CommandTarget.h).
class CComms {
public:
    // Modem-control codes for SetDTR.
    static constexpr unsigned long SETRTS = CommsEngine::SETRTS;
    static constexpr unsigned long CLRRTS = CommsEngine::CLRRTS;
    static constexpr unsigned long SETDTR = CommsEngine::SETDTR;
    static constexpr unsigned long CLRDTR = CommsEngine::CLRDTR;

    // Largest upload a run stores; GetUploadedData needs one byte more for the NUL.
    static constexpr int UploadCapacity = CommsEngine::UploadCapacity;

    using ProgressFactory = CommsEngine::ProgressFactory;

    // With an application: asks the connection-selection library for a link ("Select connection
    // for " + name; portNames is a list of items joined by "||") and returns 1 when one is open;
    // otherwise shows "Cannot open serial port..." and returns 0. With a null application: closes
    // the link and returns 0.
    int InitCom(const AppInfo* app, const std::string& name, const std::string& portNames);
    // The test list that every Ask and Set consults; it must outlive them.
    void SetTestList(CTestList* list);
    // Lets the user choose the link again / re-opens the last choice without asking.
    void SetProperties();
    void ReOpen();
    // Whether a link is open now (a companion program that went away closes its pipe), and
    // whether it is the companion pipe rather than a serial port.
    bool LinkOpen() const;
    bool LinkIsPipe() const;
    // SETRTS, CLRRTS, SETDTR or CLRDTR on the link; other codes and the result are ignored.
    void SetDTR(unsigned long function);

    // Reads the current test. A target starts a new read and receives the notifications; a null
    // target continues a text read at index characters past the last start. Returns 1 when a
    // command was written, 0 when it was queued behind a busy request or no test is current.
    int Ask(CommandTarget* target, int index);
    // Writes the current test as a number. Returns as Ask.
    int Set(CommandTarget* target, unsigned int value);
    // Writes the current text test, padded with blanks to the test's length. Returns as Ask; 1
    // without writing when the current test is not a text test.
    int Set(CommandTarget* target, const std::string& text);
    // The last numeric answer, or the value of the last numeric Set.
    int32_t GetNewValue() const;
    // The text of the last text read: at most 39 characters and a NUL, owned by the library.
    const char* GetNewString() const;
    // 1 to 32: the text length of reads continued without a target; other values are ignored.
    void SetStringLength(int length);

    // Prepares the progress display for a bulk upload of about size bytes.
    void SetFileSize(int size, const std::string& caption);
    // Copies the bytes of the last bulk upload and a NUL into buffer, which must hold
    // UploadCapacity + 1 bytes, and stores their number in length.
    void GetUploadedData(char* buffer, int& length) const;
    // The same into a buffer of room bytes: never writes past it. Copies the bytes that fit
    // before a NUL and stores their number in length; returns 1 when the whole upload fitted.
    int GetUploadedData(char* buffer, int room, int& length) const;
    // 1 when the last bulk upload brought more than UploadCapacity bytes and the rest was
    // dropped.
    int GetUploadOverflow() const;

    // The engine: call every 100 ms. Reads what the link has received, assembles and handles
    // reply frames, counts down the time-out and posts the notifications.
    void OnTimer();
    // Fast uploads: takes every byte the link holds now and handles the frames they complete, as
    // OnTimer does, but never counts the time-out down. Called on a short tick between the 100 ms
    // OnTimer calls, it hears each answer as it arrives; a tick after which it heard bytes does not
    // count as silent, so the time-out stays 20 ticks of real time. At the designed pace nobody
    // calls it.
    void OnArrival();

    // Platform hooks, module-wide. Pointers stay owned by the caller; null restores the default.
    // Message boxes. Default: a QMessageBox when a QApplication runs, standard error otherwise.
    void SetUserPrompt(UserPrompt* prompt);
    // Makes the progress display when InitCom succeeds. Default: none, nothing is shown.
    void SetProgressFactory(ProgressFactory factory);
};
