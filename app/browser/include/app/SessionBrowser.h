#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/BrowserView.h"
#include "app/DumpCopySource.h"
#include "core/InstrumentFacts.h"
#include "core/LogImage.h"
#include "core/SessionTable.h"
#include "core/SessionTree.h"
#include "report/Report.h"
#include "report/ShownReport.h"
#include "session/SessionReader.h"

// The program's presenter: the session tree built from the index the download core read, the
// choice of sessions, Next and Full Day, the session boxes, the report on screen and the browsing
// of a saved dump. It asks the core (SessionReader) for the index and for the sessions chosen, and
// shows what the core reads: it is the core's ReaderEvents. Plain C++; the program drives it
// from its event loop.
class SessionBrowser : public ReaderEvents {
public:
    static const char* const kBusyText;

    // The reader, the image and the report state must outlive the browser; the reader's events
    // are to reach it (SessionReader::SetEvents, or through the instrument session).
    SessionBrowser(SessionReader& reader, BrowserView& view, LogImage& image, ReportState& report);

    // The sessions of the report on screen.
    const ShownReport& Shown() const { return m_shown; }

    // Start-up of the instrument's conversation: the buttons and boxes shown as they stand, then
    // the core's start-up uploads.
    void Start() { m_reader.Start(); }

    // GO. A GO (or a session choice) made while another request is running is remembered, the
    // latest one winning, and started as soon as the core is idle again; a GO while the index
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
    // Finds, for each dump opened, the archive's copies of the sessions it lacks (null: none);
    // a chosen session the dump lacks is shown from its copy. Unset: nothing is looked for.
    using CopyFinder = std::function<std::unique_ptr<DumpCopySource>(LogImage&)>;
    void SetCopyFinder(CopyFinder find) { m_findCopies = std::move(find); }
    // The archive's number of its copy of a session the browsed dump lacks (or lacked before
    // its copy was shown); -1 when there is none, or no dump is browsed.
    int64_t CopyOf(int16_t slot) const;
    // Whether the slot's session on screen came from the archive's copy, not from the dump.
    bool FromCopy(int16_t slot) const { return m_fromCopy.count(slot) > 0; }
    // What an offline tree was read from: a dump, or an instrument no longer connected.
    DataSource OfflineSource() const { return m_offlineSource; }
    // Another instrument has been connected: the tree stays, but as the earlier instrument's
    // (`name`), browsed from what the image holds as a dump is; GO reads the new one's index.
    // Nothing is uploaded under the old tree's labels. Does nothing without a tree.
    void BrowseEarlierInstrument(const std::string& name);
    bool TreeBuilt() const { return m_treeBuilt; }
    // The instrument the tree was read from (empty before an index, or for a dump's).
    const InstrumentFacts& TreeFacts() const { return m_treeFacts; }

    // Why the last session asked for was not shown, or the last request failed (None when it
    // went through): the core's reason, or offline NotInDump.
    RequestFailure LastFailure() const { return m_lastFailure; }
    // Offline: why the last session chosen that the image does not hold was not shown
    // (Cp1252, with its time and day).
    const std::string& Notice() const { return m_notice; }
    bool NewReportOnSelect() const { return m_newReportOnSelect != 0; }
    bool FullDay() const { return m_fullDay != 0; }
    const SessionBoxes& Boxes() const { return m_boxes; }
    const SessionTree& Tree() const { return m_tree; }
    int SelectedNode() const { return m_selected; }
    ReportState& Report() { return m_report; }
    // The slots of the sessions in the report on screen (one, or a Full Day's), in order.
    std::vector<int16_t> ShownSlots() const { return m_shown.Slots(); }

    // ReaderEvents: what the core read, shown.
    void StartingUp() override;
    void IndexRequestsAllowed(bool allowed) override { m_view.EnableGo(allowed); }
    void SessionRequestsAllowed(bool allowed) override { m_view.EnableTree(allowed); }
    void SetProgressRange(UploadRequest request, int low, int high) override {
        m_view.SetProgressRange(request, low, high);
    }
    void SetProgressPos(UploadRequest request, int pos) override {
        m_view.SetProgressPos(request, pos);
    }
    void ShowMessage(MessageKind kind, const std::string& text) override {
        m_view.ShowMessage(kind, text);
    }
    void SuspendTick() override { m_view.SuspendTick(); }
    void ResumeTick() override { m_view.ResumeTick(); }
    void IndexRead(bool dumped) override;
    void SessionRead(int16_t slot, SessionOrigin origin) override;
    void RequestEnded(UploadRequest request, bool ok) override;

private:
    void FullDayStep();
    void BuildSessionList();
    void ShowTree();
    void ApplyBoxes();
    bool ShowsOnly(int id) const;
    void BackToFirstSession();
    bool RenderHeld(int16_t slot);
    // Puts the archive's copy of a session the dump lacks into the image; false without one.
    bool TakeCopy(int16_t slot);
    // The dump's copies are forgotten: the image is to be another's.
    void ForgetCopies();
    void RenderChosenSession(int16_t slot);
    void RenderFromImage(int16_t slot);
    void GoOffline(DataSource source, const std::string& name);
    // The report, chart and selection describe nothing: an empty report, nothing selected.
    void ClearShown();
    // A chosen session did not come: the selection and the report's headings go back to what is
    // shown, so that nothing is saved under the chosen session's name.
    void ReturnToShown();

    SessionReader& m_reader;
    BrowserView& m_view;
    LogImage& m_image;
    ReportState& m_report;

    int32_t m_newReportOnSelect = 1;
    int32_t m_fullDay = 0;
    SessionBoxes m_boxes;
    SessionTree m_tree;
    int m_selected = -1;
    ShownReport m_shown;
    bool m_treeBuilt = false;
    InstrumentFacts m_treeFacts;
    bool m_backToFirst = false; // Full Day was unticked while a session of the day was on its way

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
    CopyFinder m_findCopies;
    std::unique_ptr<DumpCopySource> m_copies; // of the dump browsed
    std::set<int16_t> m_fromCopy;             // the slots the image holds from them
    std::string m_notice;                     // what is said of a session the image does not hold
    bool m_noticeShown = false;
};
