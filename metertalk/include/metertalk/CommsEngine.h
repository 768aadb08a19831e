#pragma once

#include "linkselect/Link.h"
#include "linkselect/LinkChooser.h"
#include "linkselect/Platform.h"
#include "metertalk/CommsListener.h"
#include "metertalk/UploadProgressView.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class CTestList;
struct CommsState;

// The conversation with one instrument over one link: the link, the frame assembler, the
// request and its queue, the bulk upload and the progress display, all of it this object's own.
// A process talks to as many instruments as it has engines. All calls belong on the thread that
// calls OnTimer; none blocks, none throws, none ends the process.
//
// Outcomes of Ask and Set arrive later as CommsEvents told to the CommsListener of the last Ask
// or Set (see CommsListener.h); CComms hands them on to its CommandTarget as ID_COMMS_* ids.
class CommsEngine {
public:
    // Modem-control codes for SetDTR.
    static constexpr unsigned long SETRTS = 3;
    static constexpr unsigned long CLRRTS = 4;
    static constexpr unsigned long SETDTR = 5;
    static constexpr unsigned long CLRDTR = 6;

    // Largest upload a run stores; GetUploadedData needs one byte more for the NUL.
    static constexpr int UploadCapacity = 32768;

    using ProgressFactory = std::function<std::unique_ptr<UploadProgressView>()>;

    CommsEngine();
    ~CommsEngine();
    CommsEngine(const CommsEngine&) = delete;
    CommsEngine& operator=(const CommsEngine&) = delete;

    // Whether "Cannot open serial port" is shown when no link results: always, or only when a
    // link was chosen and could not be opened (not when the user chose none).
    enum class FailureBox { Always, UnlessDeclined };

    // Asks `chooser` for a link ("Select connection for " + name; portNames is a list of items
    // joined by "||") and returns true when one is open, the engine then idle and ready; otherwise
    // shows "Cannot open serial port..." (as `box` says) and returns false.
    bool Open(LinkChooser& chooser, const AppInfo& app, const std::string& name,
              const std::string& portNames, FailureBox box = FailureBox::Always);
    // Takes a link that is open already, as Open does with the one it is handed.
    void Attach(LinkPtr link);
    // Closes the link; nothing is said to the instrument and the link object stays, closed.
    void Close();
    // Lets the user choose the link again / re-opens the last choice without asking.
    void ChooseAgain(LinkChooser& chooser);
    void Reopen(LinkChooser& chooser);
    // Whether a link is open now (a companion program that went away closes its pipe, a serial
    // device that was pulled out closes its port), and whether it is the companion pipe.
    bool LinkOpen() const;
    bool LinkIsPipe() const;
    // SETRTS, CLRRTS, SETDTR or CLRDTR on the link; other codes and the result are ignored.
    void SetDTR(unsigned long function);

    // The test list that every Ask and Set consults; it must outlive them.
    void SetTestList(CTestList* list);
    // Reads the current test. A listener starts a new read and hears its events; a null listener
    // continues a text read at index characters past the last start. Returns 1 when a command
    // was written, 0 when it was queued behind a busy request or no test is current.
    int Ask(CommsListener* listener, int index);
    // What a refusal ('?') of a read started with a listener does: it is left to end in a
    // time-out (as Ask above), or it ends the read at once with CommsEvent::Refused. The command
    // line is the same either way.
    enum class Refusal { TimesOut, Answers };
    int Ask(CommsListener* listener, int index, Refusal refusal);
    // Writes the current test as a number. Returns as Ask.
    int Set(CommsListener* listener, unsigned int value);
    // Writes the current text test, padded with blanks to the test's length. Returns as Ask; 1
    // without writing when the current test is not a text test.
    int Set(CommsListener* listener, const std::string& text);
    // The last numeric answer, or the value of the last numeric Set.
    int32_t GetNewValue() const;
    // The text of the last text read: at most 39 characters and a NUL, owned by the engine.
    const char* GetNewString() const;
    // 1 to 32: the text length of reads continued without a listener; other values are ignored.
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

    // Call every 100 ms. Reads what the link has received, assembles and handles reply frames,
    // counts down the time-out and tells the listener what happened.
    void OnTimer();
    // Fast uploads: takes every byte the link holds now and handles the frames they complete, as
    // OnTimer does, but never counts the time-out down. Called on a short tick between the 100 ms
    // OnTimer calls, it hears each answer as it arrives; a tick after which it heard bytes does
    // not count as silent, so the time-out stays 20 ticks of real time.
    void OnArrival();

    // A listener that is going away: nothing is told to it any more (an answer that arrives
    // late is dropped, as if nobody had asked).
    void ForgetListener(CommsListener* listener);

    // Message boxes of this engine ("Cannot open serial port"). Null: the module's prompt
    // (CComms::SetUserPrompt), else a QMessageBox or standard error.
    void SetUserPrompt(UserPrompt* prompt);
    // Makes the progress display when a link is opened. Default: none, nothing is shown.
    void SetProgressFactory(ProgressFactory factory);

private:
    // What a newly opened link begins with: an idle engine and a fresh progress display.
    void Start();

    std::unique_ptr<CommsState> m_state;
};

// The engine behind the documented CComms: every CComms in the process drives this one.
CommsEngine& ModuleCommsEngine();
