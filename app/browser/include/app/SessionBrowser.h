#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/BrowserComms.h"
#include "app/BrowserView.h"
#include "app/SessionTree.h"
#include "app/ShownReport.h"
#include "app/UploadMachine.h"
#include "core/LogImage.h"
#include "core/SessionTable.h"
#include "report/Report.h"

// The session browser: the session table and tree built from the uploaded index, the choice of
// sessions, Next and Full Day, the requests waiting for the instrument, the browsing of a saved
// dump, and the rendering of the chosen sessions into the report. The conversation with the
// instrument is its UploadMachine. Plain C++; the GUI and the command-line program drive it from
// their event loop and feed it the communications notifications.
//
// Holds the 110 KB session table: give it static or heap storage.
class SessionBrowser : private UploadOwner {
public:
    static constexpr int kInfoBufferSize = UploadMachine::kInfoBufferSize;
    static constexpr uint32_t kPieceSize = UploadMachine::kPieceSize;
    static constexpr int kPiecesPerSector = UploadMachine::kPiecesPerSector;
    static constexpr int kAttemptsPerStep = UploadMachine::kAttemptsPerStep;

    static const char* const kWarningText;
    static const char* const kWarningCaption;
    static const char* const kNoAnswerText;
    static const char* const kMessageCaption;
    static const char* const kBusyText;
    static const char* const kMismatchText;

    // The image and the report state must outlive the browser.
    SessionBrowser(BrowserComms& comms, BrowserView& view, LogImage& image, ReportState& report);

    // The sessions of the report on screen.
    const ShownReport& Shown() const { return m_shown; }

    // Start-up: the built-in driver text, "Upload flag" current, state 0 and the first poll. The
    // caller has attached the test list to the comms object beforehand.
    void Start();

    // The communications notifications 18101 to 18106. A reply that failed its checksum was
    // dropped by the engine: a bulk transfer it belonged to is asked for again when it ends (its
    // data are short), anything else is recovered by the time-out that follows. A refusal
    // answers only the reads asked with AskAcceptingRefusal.
    void OnChecksumError() { m_machine.OnChecksumError(); }
    void OnTimeout() { m_machine.OnTimeout(); }
    void OnAskDone() { m_machine.OnAskDone(); }
    void OnSetDone() { m_machine.OnSetDone(); }
    void OnUploadDone() { m_machine.OnUploadDone(); }
    void OnRefused() { m_machine.OnRefused(); }
    // The link has closed: a request under way ends at once, failed (LinkLost).
    void OnLinkLost() {
        m_linkGone = true;
        m_machine.LinkLost();
    }

    // GO. A GO (or a session choice) made while another request is running is remembered, the
    // latest one winning, and started as soon as the machine is idle again; a GO while the index
    // is already being uploaded is dropped.
    void OnGo() { StartIndexUpload(); }
    void StartIndexUpload();
    void StartSessionUpload(int16_t slot);

    // The tree's selection changed to node `id` (-1: none), by the user or by the view echoing
    // SelectNode. Selecting the node already selected does nothing.
    void OnSessionSelected(int id);
    // Selects node `id` as if the user had clicked it (the view is told to show it).
    void SelectNode(int id);
    void OnNext() { SelectNextSession(true); }
    // Ticked with a session shown, the report goes on with the rest of that day at once; unticked
    // with a day shown, it goes back to the session it began with.
    void OnFullDay(bool checked);
    void SelectNextSession(bool newReport);

    // The session boxes: All sets Alarm and Cal; Alarm or Cal clears All. A tree already built is
    // built again at once; the session shown stays selected when it is still listed.
    void OnAllSessions(bool checked);
    void OnAlarmSessions(bool checked);
    void OnCalSessions(bool checked);

    // The report is the browser's: the next session rendered begins a new report under these
    // headings (the day label with its trailing blank, and the month label).
    void BeginReport(const std::string& headingDay, const std::string& headingMonth);
    // The next session decodes as the first of a run: no gas columns, heading countdown or time
    // carried over from the sessions rendered before.
    void ResetDecoder();

    // After a change of the log filter: renders the report on screen again from an empty
    // ReportBody, the same sessions in the same order under the same headings (one session, or a
    // Full Day's), now filtered. No warning, nothing sent. Before any session was rendered it
    // shows the empty report.
    void RenderAgain();

    // Loads a saved FlashData.txt into the image and browses it without the instrument: the table
    // and the tree are built from it, and a chosen session is rendered straight from the image.
    // Nothing is sent to the instrument. Refused while an index or session upload is running.
    // Returns 1, or 0 with a message (the image, table and tree are then unchanged).
    int OpenDump(const char* path, std::string& message);
    bool Offline() const { return m_offline; }
    // What an offline tree was read from: a dump, or an instrument no longer connected.
    DataSource OfflineSource() const { return m_offlineSource; }
    // Another instrument has been connected: the tree stays, but as the earlier instrument's
    // (`name`), browsed from what the image holds as a dump is; GO reads the new one's index.
    // Nothing is uploaded under the old tree's labels. Does nothing without a tree.
    void BrowseEarlierInstrument(const std::string& name);
    bool TreeBuilt() const { return m_treeBuilt; }

    // Sessions kept elsewhere: a session that `restore` puts into the image (returning true) is
    // rendered from there instead of being uploaded, once no other request is running.
    void SetStoredSessions(std::function<bool(int16_t)> restore) { m_restore = std::move(restore); }

    // Where the index upload writes its dump ("FlashData.txt" in the working directory by default).
    void SetDumpPath(const std::string& path) { m_dumpPath = path; }

    // Idle: polling, with no request running or waiting.
    bool Idle() const { return m_machine.Idle() && m_pending == Pending::None; }
    int32_t UploadState() const { return static_cast<int32_t>(m_machine.State()); }
    int16_t IndexSectorCount() const { return m_machine.IndexSectorCount(); }
    int16_t SessionPieceCount() const { return m_machine.SessionPieceCount(); }
    // The session being uploaded or last shown.
    int16_t CurrentSlot() const { return m_currentSlot; }
    const uint8_t* InfoBuffer() const { return m_machine.InfoBuffer(); }
    int32_t InfoLength() const { return m_machine.InfoLength(); }
    bool StartUpComplete() const { return m_machine.StartUpComplete(); }
    // What the instrument told about itself at the last start-up.
    const InstrumentFacts& Facts() const { return m_machine.Facts(); }
    // Why the last request that ended failed (None when it went through).
    RequestFailure LastFailure() const { return m_lastFailure; }
    // Offline: why the last session chosen that the image does not hold was not shown
    // (Cp1252, with its time and day).
    const std::string& Notice() const { return m_notice; }
    bool NewReportOnSelect() const { return m_newReportOnSelect != 0; }
    bool FullDay() const { return m_fullDay != 0; }
    const SessionBoxes& Boxes() const { return m_boxes; }
    const SessionTable& Table() const { return m_table; }
    const SessionTree& Tree() const { return m_tree; }
    int SelectedNode() const { return m_selected; }
    ReportState& Report() { return m_report; }
    // The slots of the sessions in the report on screen (one, or a Full Day's), in order.
    std::vector<int16_t> ShownSlots() const { return m_shown.Slots(); }

private:
    enum class Pending { None, Index, Session };

    // UploadOwner
    bool IndexArrived(std::string& failure) override;
    bool SessionArrived(int16_t slot) override;
    void RequestEnded(BrowserRequest request, bool ok) override;
    bool DropPending() override;

    void BeginSessionRequest(int16_t slot);
    void StartPendingRequest();
    void FullDayStep();
    void BuildSessionList();
    void ApplyBoxes();
    bool ShowsOnly(int id) const;
    void BackToFirstSession();
    bool RenderHeld(int16_t slot);
    bool MatchesIndex(int16_t slot);
    bool RenderStored(int16_t slot);
    void RenderChosenSession();
    void RenderFromImage(int16_t slot);
    void GoOffline(DataSource source, const std::string& name);
    // The report, chart and selection describe nothing: an empty report, nothing selected.
    void ClearShown();
    // A chosen session did not come: the selection and the report's headings go back to what is
    // shown, so that nothing is saved under the chosen session's name.
    void ReturnToShown();

    BrowserView& m_view;
    LogImage& m_image;
    ReportState& m_report;
    UploadMachine m_machine;
    int16_t m_currentSlot = 0;

    int32_t m_newReportOnSelect = 1;
    int32_t m_fullDay = 0;
    SessionBoxes m_boxes;
    SessionTable m_table;
    SessionTree m_tree;
    int m_selected = -1;
    ShownReport m_shown;
    bool m_treeBuilt = false;
    // Set when the link went away under the browser, until the next Start: nothing would carry
    // a request then, so one is refused at once instead of waiting for ticks that never come.
    bool m_linkGone = false;
    // The instrument whose sessions the image's data sectors hold, or a dump's.
    InstrumentFacts m_imageFacts;
    bool m_imageFromDump = false;
    bool m_backToFirst = false; // Full Day was unticked while a session of the day was on its way

    Pending m_pending = Pending::None;
    int16_t m_pendingSlot = 0;

    bool m_offline = false;
    DataSource m_offlineSource = DataSource::Dump;
    bool m_offlineRendering = false;
    int m_offlineQueued = -1;

    RequestFailure m_lastFailure = RequestFailure::None;
    // The report as it stood before the session being uploaded was chosen.
    struct ReportBefore {
        std::string body;
        std::string headingDay;
        std::string headingMonth;
    };
    ReportBefore m_before;
    std::string m_notice; // what is said of a session the image does not hold
    bool m_noticeShown = false;

    std::string m_dumpPath = "FlashData.txt";
    std::function<bool(int16_t)> m_restore;
};
