#pragma once

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>

#include "core/InstrumentFacts.h"
#include "linkselect/Platform.h"
#include "metertalk/CommsEvent.h"
#include "session/ReaderEvents.h"

class ArrivalTick;
class CommsEngine;
class CTestList;
class LinkChooser;
class LogImage;
class MeterTalkComms;
class QtCommsListener;
class SessionReader;
class UploadPace;
class UploadProgressView;
class UserPrompt;
struct ReportState;

// One connected instrument: its link and engine, its test list, the listener that carries the
// engine's events, the session reader with its upload machine, the memory image and
// the report state, the 100 ms tick and the short tick of fast uploads, and what the instrument
// told about itself. The program's presenter and `tavon-datalog download` ask its reader for the
// index and the sessions. Its timers drive the pace (UploadPace), which decides what a tick does,
// how the engine's events reach the reader and when the link counts as lost.
//
// The front end's listener receives the reader's events; what happens is reported through the
// signals below too. Everything runs on the thread that owns the session; several sessions share
// one event loop.
class InstrumentSession : public QObject, private ReaderEvents {
    Q_OBJECT
public:
    // The designated instrument and the port list the link choice is opened with.
    static constexpr const char* kInstrumentName = "KOVA";
    static constexpr const char* kPortNames = "115,200";
    static constexpr int kTickMs = 100;

    // engine: the one to drive; null: an engine of the session's own.
    explicit InstrumentSession(CommsEngine* engine = nullptr, QObject* parent = nullptr);
    ~InstrumentSession() override;
    // The program's session: it drives the process's own link, the module-wide engine that every
    // CComms of the process drives, so that the libraries' boxes and their link are this
    // session's.
    static std::unique_ptr<InstrumentSession> OnProcessLink(QObject* parent = nullptr);

    // The message boxes of the link ("Cannot open serial port"). On the process's link this is
    // the prompt of the whole process, which every CComms and test list in it shares ("ERROR");
    // a session with an engine of its own gives it to that engine alone. Null: the default (a
    // message box, or standard error without one). Set null before the prompt goes.
    void SetUserPrompt(UserPrompt* prompt);
    // Makes the upload progress display each time a link is opened (the program's dialog, which
    // shows itself for the long uploads). Null: none, nothing is shown.
    using ProgressFactory = std::function<std::unique_ptr<UploadProgressView>()>;
    void SetProgressFactory(ProgressFactory factory);

    // What receives the reader's events (the program's presenter, a download's run). Null:
    // nothing is shown.
    void SetListener(ReaderEvents* listener) { m_frontEnd = listener; }

    // Opens a link through `chooser` (the selection dialog, or a pipe or port already decided)
    // and starts the start-up uploads: the driver text, the configuration block and the serial
    // number. False when no link was opened: a link that was chosen and could not be opened is
    // told through the engine's prompt ("Cannot open serial port"), a choice the user declined
    // is not.
    bool Connect(LinkChooser& chooser, const AppInfo& app);
    // The user chooses the link again (a right click) while connected.
    void ChooseAgain(LinkChooser& chooser);
    // Closes the link. Nothing is said to the instrument.
    void Disconnect();
    // A link was opened and has not closed since.
    bool LinkOpen() const;
    bool LinkIsPipe() const;

    // The pace: the engine counts ticks, so a shorter period runs the same conversation faster
    // (tests). Fast uploads take each answer as it arrives instead of at the next tick.
    void SetTickPeriod(int ms) { m_tickMs = ms; }
    int TickPeriod() const { return m_tickMs; }
    void SetFastUpload(bool fast);
    // The 100 ms tick runs from here on (Connect starts it too): front ends that hang their own
    // watchdog on it start it at once, connected or not.
    void StartTicking();
    // Stops the ticks while a modal box is open, and starts them again; boxes may nest.
    void SuspendTicks();
    void ResumeTicks();

    SessionReader& Reader() { return *m_reader; }
    const SessionReader& Reader() const { return *m_reader; }
    LogImage& Image() { return *m_image; }
    ReportState& Report() { return *m_report; }
    CommsEngine& Engine() { return *m_engine; }
    // What the instrument told about itself at the last start-up (empty before one).
    const InstrumentFacts& Facts() const;
    // Why the last request that failed failed.
    RequestFailure LastFailure() const;

signals:
    // The start-up uploads have ended: the instrument's facts are known (ok), or it never sent
    // its driver text and the session waits for it still.
    void Connected(bool ok);
    void IndexUploaded(bool ok);
    void UploadFailed(UploadRequest request, RequestFailure reason);
    // The progress of a transfer: done of total pieces (sectors of the index, pieces of a
    // session); done 0 with total 0 when it has ended.
    void Progress(UploadRequest request, int done, int total);
    // The link closed or failed (companion program gone, port pulled out, read error).
    void LinkLost();
    // A reply failed its checksum: it was dropped and is asked for again.
    void SpoiledReply();
    // After every tick, and in fast mode after every notification: what a handler made due may
    // start now, the reader having finished with the notification.
    void Ticked();

private:
    void OnEngineEvent(CommsEvent event);
    void OnTick();
    void FollowTransfer();

    // ReaderEvents: passed on to the front end's listener, and turned into the signals above.
    void StartingUp() override;
    void IndexRequestsAllowed(bool allowed) override;
    void SessionRequestsAllowed(bool allowed) override;
    void SetProgressRange(UploadRequest request, int low, int high) override;
    void SetProgressPos(UploadRequest request, int pos) override;
    void ShowMessage(MessageKind kind, const std::string& text) override;
    void SuspendTick() override { SuspendTicks(); }
    void ResumeTick() override { ResumeTicks(); }
    void InstrumentConnected(const InstrumentFacts& facts) override;
    void RequestFailed(UploadRequest request, RequestFailure reason) override;
    void LinkClosed() override;
    void IndexRead(bool dumped) override;
    void SessionRead(int16_t slot, SessionOrigin origin) override;
    void RequestEnded(UploadRequest request, bool ok) override;

    std::unique_ptr<CommsEngine> m_ownEngine;
    CommsEngine* m_engine;
    std::unique_ptr<CTestList> m_tests;
    std::unique_ptr<QtCommsListener> m_listener;
    std::unique_ptr<MeterTalkComms> m_conversation;
    std::unique_ptr<LogImage> m_image;
    std::unique_ptr<ReportState> m_report;
    std::unique_ptr<SessionReader> m_reader;
    std::unique_ptr<UploadPace> m_pace;
    std::unique_ptr<ArrivalTick> m_arrival;
    ReaderEvents* m_frontEnd = nullptr;

    QTimer m_tick;
    int m_tickMs = kTickMs;
    int m_suspended = 0;
    int m_progressTotal = 0;
};
