#pragma once

#include <QObject>
#include <QTimer>

#include <memory>
#include <string>

#include "app/BrowserView.h"
#include "app/UploadMachine.h"
#include "core/InstrumentFacts.h"
#include "linkselect/Platform.h"
#include "metertalk/CommsEvent.h"

class ArrivalTick;
class CommsEngine;
class CTestList;
class LinkChooser;
class LogImage;
class MeterTalkComms;
class QtCommsListener;
class SessionBrowser;
struct ReportState;

// One connected instrument: its link and engine, its test list, the listener that carries the
// engine's events, the session browser with its upload machine, the memory image and
// the report, the 100 ms tick and the short tick of fast uploads, and what the instrument told
// about itself. The program's window and `tavon-datalog download` are views over it; how a
// download is driven, how a spoiled reply is asked for again, and when the link counts as lost
// is decided here once.
//
// The front end's view receives what it shows (the tree, the report, the buttons, the boxes and
// the messages); what happens is reported through the signals below. Everything runs on the
// thread that owns the session; several sessions share one event loop.
class InstrumentSession : public QObject, private BrowserView {
    Q_OBJECT
public:
    // The designated instrument and the port list the link choice is opened with.
    static constexpr const char* kInstrumentName = "KOVA";
    static constexpr const char* kPortNames = "115,200";
    static constexpr int kTickMs = 100;

    // engine: the one to drive (the program passes the process's module-wide engine, so that
    // every CComms in it drives the same link); null: an engine of the session's own.
    explicit InstrumentSession(CommsEngine* engine = nullptr, QObject* parent = nullptr);
    ~InstrumentSession() override;

    // What shows the tree, the report, the buttons and the messages. Null: nothing is shown.
    void SetView(BrowserView* view) { m_view = view; }

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
    bool LinkOpen() const { return m_linkOpen; }
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

    SessionBrowser& Browser() { return *m_browser; }
    const SessionBrowser& Browser() const { return *m_browser; }
    LogImage& Image() { return *m_image; }
    ReportState& Report() { return *m_report; }
    CommsEngine& Engine() { return *m_engine; }
    // What the instrument told about itself at the last start-up (empty before one).
    const InstrumentFacts& Facts() const;
    // Why the last request that failed failed.
    RequestFailure LastFailure() const;
    // The instrument the session tree was read from (empty before an index, or for a dump's).
    const InstrumentFacts& TreeFacts() const { return m_treeFacts; }

signals:
    // The start-up uploads have ended: the instrument's facts are known (ok), or it never sent
    // its driver text and the session waits for it still.
    void Connected(bool ok);
    void IndexUploaded(bool ok);
    // A session was rendered into the report (an upload, the archive's or a dump's bytes).
    void SessionShown();
    void UploadFailed(BrowserRequest request, RequestFailure reason);
    // The progress of a transfer: done of total pieces (sectors of the index, pieces of a
    // session); done 0 with total 0 when it has ended.
    void Progress(BrowserRequest request, int done, int total);
    // The link closed or failed (companion program gone, port pulled out, read error).
    void LinkLost();
    // A reply failed its checksum: it was dropped and is asked for again.
    void SpoiledReply();
    // After every tick, and in fast mode after every notification: what a handler made due may
    // start now, the browser having finished with the notification.
    void Ticked();

private:
    void OnEngineEvent(CommsEvent event);
    void OnTick();
    void FollowTransfer();
    void CheckLink();

    // BrowserView: passed on to the front end's view, and turned into the signals above.
    void EnableGo(bool enable) override;
    void EnableTree(bool enable) override;
    void EnableNext(bool enable) override;
    void SetProgressRange(BrowserRequest request, int low, int high) override;
    void SetProgressPos(BrowserRequest request, int pos) override;
    void ClearTree() override;
    void InsertNode(int id, int parent, const std::string& text, uint32_t itemData,
                    bool makeVisible) override;
    void SelectNode(int id) override;
    void SetReportText(const std::string& rtf) override;
    void SetFullDayBox(bool checked) override;
    void SetSessionBoxes(const SessionBoxes& boxes) override;
    void ShowMessage(MessageKind kind, const std::string& text) override;
    void SuspendTick() override { SuspendTicks(); }
    void ResumeTick() override { ResumeTicks(); }
    void ShowReportNotice(const std::string& text) override;
    void ShowDataSource(DataSource source, const std::string& name) override;
    void RequestEnded(BrowserRequest request, bool ok) override;

    std::unique_ptr<CommsEngine> m_ownEngine;
    CommsEngine* m_engine;
    std::unique_ptr<CTestList> m_tests;
    std::unique_ptr<QtCommsListener> m_listener;
    std::unique_ptr<MeterTalkComms> m_conversation;
    std::unique_ptr<LogImage> m_image;
    std::unique_ptr<ReportState> m_report;
    std::unique_ptr<SessionBrowser> m_browser;
    std::unique_ptr<ArrivalTick> m_arrival;
    BrowserView* m_view = nullptr;

    QTimer m_tick;
    int m_tickMs = kTickMs;
    int m_suspended = 0;
    bool m_fast = false;
    bool m_linkOpen = false;
    int m_progressTotal = 0;
    InstrumentFacts m_treeFacts;
};
