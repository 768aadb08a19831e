#include "app/SessionBrowser.h"

#include "ConfigBlock.h"

namespace {

const char* const kUploadFlag = "Upload flag";
const char* const kSectorToUpload = "Sector to upload";
const char* const kIndexToUpload = "Index to upload";

// Values written to "Upload flag": what the instrument is to stream.
constexpr unsigned int kSendDriverText = 10;
constexpr unsigned int kSendConfigBlock = 20;
constexpr unsigned int kSendMemoryArea = 3;

constexpr uint32_t kFolderData = 0xFFFF;
constexpr int16_t kFirstDataSector = 10;

} // namespace

const char* const SessionBrowser::kWarningText =
    "This session contains some logs which are not recognised by this version of the Orv "
    "datalogger. You should check whether a new version of the datalogger is available which "
    "will process these logs.";
const char* const SessionBrowser::kWarningCaption = "Warning";
const char* const SessionBrowser::kNoAnswerText =
    "The instrument stopped answering. The request can be tried again.";
const char* const SessionBrowser::kMessageCaption = "Tavon Datalogger";
const char* const SessionBrowser::kBusyText =
    "An upload from the instrument is under way. Open the dump when it has finished.";

SessionBrowser::SessionBrowser(BrowserComms& comms, BrowserView& view, LogImage& image,
                               ReportState& report)
    : m_comms(comms), m_view(view), m_image(image), m_report(report) {
    m_boxes.all = true;
    m_boxes.alarm = true;
    m_boxes.cal = true;
}

void SessionBrowser::Start() {
    m_comms.ReadDriver(nullptr);
    m_comms.FindTest(kUploadFlag);
    m_uploadState = 0;
    m_failures = 0;
    m_resume = false;
    m_startUpComplete = false;
    m_view.EnableGo(false);
    m_view.EnableNext(m_fullDay == 0);
    m_view.SetFullDayBox(m_fullDay != 0);
    m_view.SetSessionBoxes(m_boxes);
    m_comms.Ask(0);
}

bool SessionBrowser::MakeCurrent(const char* name) {
    return m_comms.FindTest(name) != 0;
}

// ---------------------------------------------------------------------------------------------
// Notifications

void SessionBrowser::OnChecksumError() {
    // States 0, 1, 6 and 10 collect bulk data: a dropped frame leaves a hole in them that
    // nothing else would notice.
    if (m_uploadState == 0 || m_uploadState == 1 || m_uploadState == 6 || m_uploadState == 10) {
        m_spoiled = true;
    }
}

void SessionBrowser::OnTimeout() {
    m_spoiled = false;
    // The idle poll simply goes on; anywhere else a time-out costs the step one of its attempts.
    bool gaveUp = false;
    bool tell = false;
    BrowserRequest request = BrowserRequest::StartUp;
    if (m_uploadState != 2) {
        ++m_failures;
        if (m_failures >= kAttemptsPerStep) {
            request = m_uploadState <= 1   ? BrowserRequest::StartUp
                      : m_uploadState <= 6 ? BrowserRequest::Index
                                           : BrowserRequest::Session;
            tell = GiveUp();
            gaveUp = true;
        } else if (m_uploadState != 0 && m_uploadState != 3 && m_uploadState != 7) {
            // States 0, 3 and 7 carry on by themselves when the re-ask is answered.
            m_resume = true;
        }
    }
    m_comms.Ask(0);
    if (gaveUp) {
        if (tell) {
            ShowBox(kNoAnswerText, kMessageCaption);
        }
        m_view.RequestEnded(request, false);
        if (m_uploadState == 2) {
            StartPendingRequest();
        }
    }
}

void SessionBrowser::OnAskDone() {
    switch (m_uploadState) {
    case 0:
        m_comms.Set(kSendDriverText);
        break;
    case 2:
        m_comms.Ask(0);
        break;
    case 3:
        m_uploadState = 4;
        m_comms.Set(static_cast<unsigned int>(m_indexSectorCount));
        break;
    case 7:
        m_uploadState = 8;
        m_comms.Set(static_cast<unsigned int>(m_currentSlot + kFirstDataSector));
        break;
    default:
        if (m_resume) {
            m_resume = false;
            ResumeLostStep();
        }
        break;
    }
}

void SessionBrowser::OnSetDone() {
    const char* next = nullptr;
    unsigned int value = 0;
    switch (m_uploadState) {
    case 4:
        next = kIndexToUpload;
        m_uploadState = 5;
        value = 0;
        break;
    case 5:
        next = kUploadFlag;
        m_uploadState = 6;
        value = kSendMemoryArea;
        break;
    case 8:
        next = kIndexToUpload;
        m_uploadState = 9;
        value = static_cast<unsigned int>(m_sessionPieceCount) * kPieceSize;
        break;
    case 9:
        next = kUploadFlag;
        m_uploadState = 10;
        value = kSendMemoryArea;
        break;
    default:
        return;
    }
    m_resume = false;
    if (!MakeCurrent(next)) {
        AbandonRequest();
        return;
    }
    m_comms.Set(value);
}

void SessionBrowser::OnUploadDone() {
    if (m_spoiled) {
        // The transfer came short: it costs its step an attempt, as a lost one does, and is
        // asked for again.
        m_spoiled = false;
        OnTimeout();
        return;
    }
    m_view.EnableGo(true);
    switch (m_uploadState) {
    case 0:
        ReceiveDriverText();
        break;
    case 1:
        ReceiveConfigBlock();
        break;
    case 6:
        ReceiveIndexSector();
        break;
    case 10:
        ReceiveSessionPiece();
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------------------------
// Recovery

void SessionBrowser::ResumeLostStep() {
    // Re-send what went unanswered; a bulk transfer that fell silent is asked for again from its
    // sector number, as its data may be incomplete.
    const char* test = nullptr;
    unsigned int value = 0;
    switch (m_uploadState) {
    case 1:
        test = kUploadFlag;
        value = kSendConfigBlock;
        break;
    case 4:
    case 6:
        m_uploadState = 4;
        test = kSectorToUpload;
        value = static_cast<unsigned int>(m_indexSectorCount);
        break;
    case 5:
        test = kIndexToUpload;
        value = 0;
        break;
    case 8:
    case 10:
        m_uploadState = 8;
        test = kSectorToUpload;
        value = static_cast<unsigned int>(m_currentSlot + kFirstDataSector);
        break;
    case 9:
        test = kIndexToUpload;
        value = static_cast<unsigned int>(m_sessionPieceCount) * kPieceSize;
        break;
    default:
        return;
    }
    if (!MakeCurrent(test)) {
        AbandonRequest();
        return;
    }
    m_comms.Set(value);
}

bool SessionBrowser::GiveUp() {
    const bool startUp = m_uploadState <= 1;
    bool tell = !startUp;
    if (m_uploadState == 0) {
        // Nothing usable came: carry on with the built-in driver text. A later GO tries again.
        m_comms.ReadDriver(nullptr);
    } else if (m_uploadState == 1) {
        // The instrument's driver text arrived; only the mode names are missing.
        m_startUpComplete = true;
    }
    m_resume = false;
    m_failures = 0;
    m_comms.FindTest(kUploadFlag);
    if (startUp) {
        m_comms.SetSensorNumber(1);
    }
    m_uploadState = 2;
    m_view.EnableGo(true);
    m_view.EnableTree(true);
    m_view.SetProgressPos(0);
    // A request that waited for the start-up goes ahead only if the start-up got far enough; a
    // request that found the instrument silent leaves nothing queued behind it.
    if (!m_startUpComplete || !startUp) {
        tell = tell || m_pending != Pending::None;
        m_pending = Pending::None;
    }
    return tell;
}

void SessionBrowser::AbandonRequest() {
    // The driver text lacks a test the request needs: nothing can be sent for it, and no
    // notification would ever come to carry it on.
    const BrowserRequest request =
        m_uploadState >= 7 ? BrowserRequest::Session : BrowserRequest::Index;
    m_resume = false;
    m_failures = 0;
    m_pending = Pending::None;
    m_uploadState = 2;
    m_comms.FindTest(kUploadFlag);
    m_view.EnableGo(true);
    m_view.EnableTree(true);
    m_view.SetProgressPos(0);
    m_comms.Ask(0);
    ShowBox(kNoAnswerText, kMessageCaption);
    m_view.RequestEnded(request, false);
}

// ---------------------------------------------------------------------------------------------
// Start-up uploads

void SessionBrowser::ReceiveDriverText() {
    int length = 0;
    m_comms.GetUploadedData(m_infoBuffer, kInfoBufferSize, length);
    m_infoLength = length;
    m_comms.ReadDriver(reinterpret_cast<const char*>(m_infoBuffer));
    const char letter = m_comms.FindTest(kUploadFlag);
    m_failures = 0;
    m_resume = false;
    if (letter == 0) {
        // A driver text without "Upload flag" would leave no test to poll or write.
        m_comms.ReadDriver(nullptr);
        m_comms.FindTest(kUploadFlag);
        m_uploadState = 2;
        m_comms.SetSensorNumber(1);
        m_view.EnableTree(true);
        const bool tell = m_pending != Pending::None;
        m_pending = Pending::None;
        m_comms.Ask(0);
        if (tell) {
            ShowBox(kNoAnswerText, kMessageCaption);
        }
        m_view.RequestEnded(BrowserRequest::StartUp, false);
        return;
    }
    if (letter == 'A') {
        m_uploadState = 2;
        m_comms.SetSensorNumber(1);
        FinishStartUp();
        m_comms.Ask(0);
    } else {
        m_uploadState = 1;
        m_comms.SetSensorNumber(1);
        m_comms.Set(kSendConfigBlock);
    }
}

void SessionBrowser::ReceiveConfigBlock() {
    int length = 0;
    m_comms.GetUploadedData(m_infoBuffer, kInfoBufferSize, length);
    m_infoLength = length;
    ReadModeNames(m_infoBuffer, length, m_report.ModeNames);
    m_failures = 0;
    m_resume = false;
    m_uploadState = 2;
    m_comms.SetSensorNumber(1);
    FinishStartUp();
    m_comms.Ask(0);
}

void SessionBrowser::FinishStartUp() {
    m_startUpComplete = true;
    m_view.EnableTree(true);
    m_view.RequestEnded(BrowserRequest::StartUp, true);
    StartPendingRequest();
}

// ---------------------------------------------------------------------------------------------
// Index upload

void SessionBrowser::StartIndexUpload() {
    if (m_offline) {
        m_offline = false;
        m_view.ShowDataSource(std::string());
    }
    if (m_uploadState >= 3 && m_uploadState <= 6) {
        // The index asked for is already on its way (GO is enabled between its sectors).
        m_view.EnableGo(false);
        return;
    }
    if (m_uploadState != 2) {
        m_pending = Pending::Index;
        m_view.EnableGo(false);
        m_view.EnableTree(false);
        return;
    }
    if (!m_startUpComplete) {
        // The instrument's driver text never came: fetch it first, then carry out the GO.
        m_pending = Pending::Index;
        RestartStartUp();
        return;
    }
    BeginIndexRequest();
}

void SessionBrowser::RestartStartUp() {
    m_view.EnableGo(false);
    m_view.EnableTree(false);
    m_failures = 0;
    m_resume = false;
    m_comms.FindTest(kUploadFlag);
    // The poll that is running now brings the answer that sends the request.
    m_uploadState = 0;
}

void SessionBrowser::BeginIndexRequest() {
    m_view.EnableGo(false);
    m_view.EnableTree(false);
    m_indexSectorCount = 0;
    m_view.SetProgressRange(0, kIndexSectors);
    m_failures = 0;
    m_resume = false;
    if (!MakeCurrent(kSectorToUpload)) {
        m_uploadState = 3;
        AbandonRequest();
        return;
    }
    m_uploadState = 3;
}

void SessionBrowser::ReceiveIndexSector() {
    ReceiveIntoImage(static_cast<uint32_t>(m_indexSectorCount) * LogImage::kSectorSize,
                     LogImage::kSectorSize);
    ++m_indexSectorCount;
    m_failures = 0;
    m_resume = false;
    if (m_indexSectorCount < kIndexSectors) {
        m_view.SetProgressPos(m_indexSectorCount);
        m_uploadState = 4;
        if (!MakeCurrent(kSectorToUpload)) {
            AbandonRequest();
            return;
        }
        m_comms.Set(static_cast<unsigned int>(m_indexSectorCount));
        return;
    }
    const bool dumped = m_image.DumpImage(m_dumpPath.c_str()) == 1;
    BuildSessionList();
    m_view.EnableGo(true);
    m_view.EnableTree(true);
    m_view.SetProgressPos(0);
    m_uploadState = 2;
    m_view.RequestEnded(BrowserRequest::Index, dumped);
    StartPendingRequest();
    m_comms.Ask(0);
    if (!dumped) {
        ShowBox("Could not write " + m_dumpPath + ".", kMessageCaption);
    }
}

void SessionBrowser::BuildSessionList() {
    m_table.Build(m_image);
    m_selected = -1;
    m_tree.Build(m_table, m_boxes, m_view);
    m_treeBuilt = true;
}

// ---------------------------------------------------------------------------------------------
// Session upload

void SessionBrowser::StartSessionUpload(int16_t slot) {
    if (slot < 0 || slot >= LogImage::kSlotCount) {
        return;
    }
    if (m_offline) {
        RenderFromImage(slot);
        return;
    }
    if (m_uploadState != 2) {
        m_pending = Pending::Session;
        m_pendingSlot = slot;
        m_view.EnableGo(false);
        m_view.EnableTree(false);
        return;
    }
    if (!m_startUpComplete) {
        m_pending = Pending::Session;
        m_pendingSlot = slot;
        RestartStartUp();
        return;
    }
    BeginSessionRequest(slot);
}

void SessionBrowser::BeginSessionRequest(int16_t slot) {
    m_view.EnableGo(false);
    m_view.EnableTree(false);
    m_currentSlot = slot;
    m_sessionPieceCount = 0;
    m_view.SetProgressRange(0, kPiecesPerSector);
    m_failures = 0;
    m_resume = false;
    m_uploadState = 7;
    if (!MakeCurrent(kSectorToUpload)) {
        AbandonRequest();
    }
}

void SessionBrowser::ReceiveSessionPiece() {
    const uint32_t offset =
        static_cast<uint32_t>(m_currentSlot + kFirstDataSector) * LogImage::kSectorSize +
        static_cast<uint32_t>(m_sessionPieceCount) * kPieceSize;
    ReceiveIntoImage(offset, kPieceSize);
    ++m_sessionPieceCount;
    m_failures = 0;
    m_resume = false;
    if (m_sessionPieceCount < kPiecesPerSector) {
        m_view.SetProgressPos(m_sessionPieceCount);
        m_uploadState = 8;
        if (!MakeCurrent(kSectorToUpload)) {
            AbandonRequest();
            return;
        }
        m_comms.Set(static_cast<unsigned int>(m_currentSlot + kFirstDataSector));
        return;
    }
    RenderChosenSession();
    m_view.EnableGo(true);
    m_view.EnableTree(true);
    m_view.SetProgressPos(0);
    m_uploadState = 2;
    if (m_backToFirst) {
        BackToFirstSession();
    }
    m_view.RequestEnded(BrowserRequest::Session, true);
    if (m_fullDay) {
        FullDayStep();
    }
    if (m_uploadState == 2) {
        StartPendingRequest();
    }
    m_comms.Ask(0);
}

void SessionBrowser::ReceiveIntoImage(uint32_t offset, uint32_t room) {
    // The upload is cut to its room; the image takes exactly the bytes that came, and a short
    // upload leaves the rest of its room as it was.
    static_assert(sizeof m_receiveBuffer > LogImage::kSectorSize, "room for the zero");
    if (room > LogImage::kSectorSize) {
        room = LogImage::kSectorSize;
    }
    int length = 0;
    m_comms.GetUploadedData(m_receiveBuffer, room + 1, length);
    if (length <= 0) {
        return;
    }
    uint32_t received = static_cast<uint32_t>(length);
    if (received > room) {
        received = room;
    }
    m_image.Store(offset, m_receiveBuffer, received);
}

void SessionBrowser::StartPendingRequest() {
    const Pending pending = m_pending;
    m_pending = Pending::None;
    if (pending == Pending::Index) {
        BeginIndexRequest();
    } else if (pending == Pending::Session) {
        BeginSessionRequest(m_pendingSlot);
    }
}

// ---------------------------------------------------------------------------------------------
// Rendering

void SessionBrowser::RenderChosenSession() {
    m_report.UnrecognisedLogFlag = 0;
    m_shown.Render(m_report, m_image, m_currentSlot);
    if (m_report.UnrecognisedLogFlag) {
        ShowBox(kWarningText, kWarningCaption);
    }
    m_view.SetReportText(m_report.ReportText);
}

void SessionBrowser::RenderAgain() {
    m_shown.RenderAgain(m_report, m_image);
    m_view.SetReportText(m_report.ReportText);
}

void SessionBrowser::RenderFromImage(int16_t slot) {
    // A Full Day chain selects the next session from inside a rendering; it is queued and taken
    // up by the loop below instead of nesting one rendering per session of the day.
    m_offlineQueued = slot;
    if (m_offlineRendering) {
        return;
    }
    m_offlineRendering = true;
    while (m_offlineQueued >= 0) {
        m_currentSlot = static_cast<int16_t>(m_offlineQueued);
        m_offlineQueued = -1;
        const bool held = RenderHeld(m_currentSlot);
        m_view.RequestEnded(BrowserRequest::Session, held);
        if (m_fullDay) {
            FullDayStep();
        }
    }
    m_offlineRendering = false;
}

bool SessionBrowser::RenderHeld(int16_t slot) {
    if (m_image.SessionHeld(slot)) {
        RenderChosenSession();
        return true;
    }
    // An empty report would pass for a session without records.
    const std::string label = m_tree.Text(m_selected);
    m_view.ShowReportNotice("The session " + label.substr(0, label.find(' ')) + " of " +
                            m_report.HeadingDay + m_report.HeadingMonth +
                            " is not in this dump: it was never uploaded into it. Connect the "
                            "instrument and press GO to read it.");
    return false;
}

void SessionBrowser::ShowBox(const std::string& text, const std::string& caption) {
    m_view.SuspendTick();
    m_view.ShowMessage(text, caption);
    m_view.ResumeTick();
}

// ---------------------------------------------------------------------------------------------
// Selection, Next and Full Day

void SessionBrowser::OnSessionSelected(int id) {
    if (id == m_selected) {
        // Choosing again the session shown alone, with Full Day ticked, adds the rest of its day.
        if (m_fullDay && ShowsOnly(id)) {
            FullDayStep();
        }
        return;
    }
    m_selected = m_tree.Valid(id) ? id : -1;
    if (m_selected < 0) {
        return;
    }
    if (m_newReportOnSelect) {
        m_report.ReportBody.clear();
    }
    m_newReportOnSelect = 1;
    const int parent = m_tree.Parent(id);
    m_report.HeadingDay = m_tree.Text(parent) + " ";
    m_report.HeadingMonth = m_tree.Text(m_tree.Parent(parent));
    const uint32_t data = m_tree.At(id).itemData & 0xFFFF;
    if (data == kFolderData) {
        return;
    }
    StartSessionUpload(static_cast<int16_t>(data));
}

void SessionBrowser::SelectNode(int id) {
    m_view.SelectNode(m_tree.Valid(id) ? id : -1);
    OnSessionSelected(id);
}

void SessionBrowser::SelectNextSession(bool newReport) {
    m_newReportOnSelect = newReport ? 1 : 0;
    const int next = m_tree.NextSibling(m_selected);
    if (next < 0) {
        return;
    }
    SelectNode(next);
}

void SessionBrowser::FullDayStep() {
    SelectNextSession(false);
    if (m_newReportOnSelect == 0) {
        // The day has ended: the next session the user chooses begins a report of its own
        // instead of being added to this day's.
        m_newReportOnSelect = 1;
    }
}

void SessionBrowser::OnFullDay(bool checked) {
    m_fullDay = checked ? 1 : 0;
    m_view.SetFullDayBox(checked);
    m_view.EnableNext(!checked);
    const bool shown = !m_report.ReportBody.empty() && m_shown.SectionCount() > 0;
    if (checked && ShowsOnly(m_selected)) {
        // The report goes on from the session on screen, as if it had been chosen with the box
        // ticked.
        FullDayStep();
        return;
    }
    if (checked && shown && RequestRunning()) {
        // The session chosen is on its way: the Full Day step follows its arrival.
        return;
    }
    if (!checked && shown && m_shown.SectionCount() > 1) {
        if (RequestRunning()) {
            m_backToFirst = true;
        } else {
            BackToFirstSession();
        }
        m_newReportOnSelect = 1;
        return;
    }
    m_report.ReportBody.clear();
    m_newReportOnSelect = 1;
}

bool SessionBrowser::ShowsOnly(int id) const {
    return m_tree.Valid(id) && m_tree.At(id).level == SessionNode::Session && !RequestRunning() &&
           !m_report.ReportBody.empty() && m_shown.SectionCount() == 1 &&
           m_shown.FirstSlot() == static_cast<int16_t>(m_tree.At(id).itemData & 0xFFFF);
}

void SessionBrowser::BackToFirstSession() {
    m_backToFirst = false;
    m_shown.KeepFirst();
    RenderAgain();
    const int first = m_tree.FindSession(m_shown.FirstSlot());
    if (first >= 0) {
        m_selected = first;
        m_view.SelectNode(first);
        const int parent = m_tree.Parent(first);
        m_report.HeadingDay = m_tree.Text(parent) + " ";
        m_report.HeadingMonth = m_tree.Text(m_tree.Parent(parent));
    }
}

// ---------------------------------------------------------------------------------------------
// Session boxes

void SessionBrowser::OnAllSessions(bool checked) {
    m_boxes.all = checked;
    if (checked) {
        m_boxes.alarm = true;
        m_boxes.cal = true;
    }
    ApplyBoxes();
}

void SessionBrowser::OnAlarmSessions(bool checked) {
    m_boxes.alarm = checked;
    m_boxes.all = false;
    ApplyBoxes();
}

void SessionBrowser::OnCalSessions(bool checked) {
    m_boxes.cal = checked;
    m_boxes.all = false;
    ApplyBoxes();
}

void SessionBrowser::ApplyBoxes() {
    m_view.SetSessionBoxes(m_boxes);
    if (!m_treeBuilt) {
        return;
    }
    // The table is the index already uploaded: the tree follows the boxes without a new GO.
    const bool session =
        m_tree.Valid(m_selected) && m_tree.At(m_selected).level == SessionNode::Session;
    const int16_t slot =
        session ? static_cast<int16_t>(m_tree.At(m_selected).itemData & 0xFFFF) : int16_t(-1);
    m_tree.Build(m_table, m_boxes, m_view);
    m_selected = session ? m_tree.FindSession(slot) : -1;
    m_view.SelectNode(m_selected);
}

// ---------------------------------------------------------------------------------------------
// Saved dumps

int SessionBrowser::OpenDump(const char* path, std::string& message) {
    if (RequestRunning()) {
        message = kBusyText;
        return 0;
    }
    if (path == nullptr || m_image.LoadDump(path, message) != 1) {
        if (path == nullptr) {
            message = "No dump file given.";
        }
        return 0;
    }
    m_offline = true;
    m_pending = Pending::None;
    m_newReportOnSelect = 1;
    BuildSessionList();
    m_view.EnableTree(true);
    if (m_uploadState == 2) {
        m_view.EnableGo(true);
    }
    m_view.ShowDataSource(path);
    return 1;
}
