#include "app/SessionBrowser.h"

namespace {

constexpr uint32_t kFolderData = 0xFFFF;

} // namespace

const char* const SessionBrowser::kBusyText =
    "An upload from the instrument is under way. Open the dump when it has finished.";

SessionBrowser::SessionBrowser(SessionReader& reader, BrowserView& view, LogImage& image,
                               ReportState& report)
    : m_reader(reader), m_view(view), m_image(image), m_report(report) {
    m_boxes.all = true;
    m_boxes.alarm = true;
    m_boxes.cal = true;
}

void SessionBrowser::StartingUp() {
    m_view.EnableNext(m_fullDay == 0);
    m_view.SetFullDayBox(m_fullDay != 0);
    m_view.SetSessionBoxes(m_boxes);
}

// ---------------------------------------------------------------------------------------------
// Requests

void SessionBrowser::StartIndexUpload() {
    if (m_offline) {
        m_offline = false;
        ForgetCopies();
        m_view.ShowDataSource(DataSource::Instrument, std::string());
    }
    m_reader.ReadIndex();
}

void SessionBrowser::StartSessionUpload(int16_t slot) {
    if (slot < 0 || slot >= LogImage::kSlotCount) {
        return;
    }
    if (m_offline) {
        RenderFromImage(slot);
        return;
    }
    m_reader.ReadSessions({slot});
}

void SessionBrowser::IndexRead(bool dumped) {
    (void)dumped; // the core has told the user of a dump it could not write
    BuildSessionList();
}

void SessionBrowser::SessionRead(int16_t slot, SessionOrigin origin) {
    (void)origin; // shown alike, from the instrument or from the archive's copy
    RenderChosenSession(slot);
}

void SessionBrowser::RequestEnded(UploadRequest request, bool ok) {
    m_lastFailure = ok ? RequestFailure::None : m_reader.LastFailure();
    if (request == UploadRequest::Session && !ok) {
        ReturnToShown();
    }
    if (request == UploadRequest::Session && ok && m_backToFirst) {
        BackToFirstSession();
    }
    m_view.RequestEnded(request, ok);
    if (request == UploadRequest::StartUp && ok && m_treeBuilt && m_treeFacts.Known() &&
        !m_reader.Facts().SameInstrumentAs(m_treeFacts)) {
        // The tree belongs to the instrument it was read from: under another one's labels, a
        // session would be uploaded from this one's memory.
        BrowseEarlierInstrument(m_treeFacts.serialNumber);
    }
    if (request == UploadRequest::Index &&
        m_reader.IndexSectorCount() >= static_cast<int>(LogImage::kIndexSectors)) {
        m_treeFacts = m_reader.Facts();
    }
    if (request == UploadRequest::Session && ok && m_fullDay) {
        FullDayStep();
    }
}

void SessionBrowser::BuildSessionList() {
    m_selected = -1;
    m_tree.Build(m_reader.Table(), m_boxes);
    ShowTree();
    m_treeBuilt = true;
    // A new tree: whatever the report showed belongs to the old one.
    ClearShown();
}

void SessionBrowser::ShowTree() {
    m_view.ClearTree();
    for (int id = 0; id < m_tree.Count(); ++id) {
        const SessionTree::Node& node = m_tree.At(id);
        m_view.InsertNode(id, node.parent, node.text, node.itemData,
                          node.level != SessionNode::Session);
    }
}

void SessionBrowser::ClearShown() {
    m_report.ReportBody.clear();
    m_newReportOnSelect = 1;
    if (m_shown.SectionCount() == 0 && !m_noticeShown) {
        return; // the empty report is on screen already
    }
    m_shown = ShownReport();
    m_noticeShown = false;
    // The empty report is under no day: the old tree's would stand alone on screen.
    m_report.HeadingDay.clear();
    m_report.HeadingMonth.clear();
    m_shown.RenderAgain(m_report, m_image);
    m_view.SetReportText(m_report.ReportText);
}

void SessionBrowser::ReturnToShown() {
    m_report.ReportBody = m_before.body;
    m_report.HeadingDay = m_before.headingDay;
    m_report.HeadingMonth = m_before.headingMonth;
    const std::vector<ShownReport::Section>& sections = m_shown.Sections();
    m_selected = sections.empty() ? -1 : m_tree.FindSession(sections.back().slot);
    m_view.SelectNode(m_selected);
}

// ---------------------------------------------------------------------------------------------
// Rendering

void SessionBrowser::RenderChosenSession(int16_t slot) {
    m_noticeShown = false;
    m_report.UnrecognisedLogFlag = 0;
    m_shown.Render(m_report, m_image, slot);
    if (m_report.UnrecognisedLogFlag) {
        m_reader.ShowBox(MessageKind::Warning, kUnrecognisedLogsText);
    }
    m_view.SetReportText(m_report.ReportText);
}

void SessionBrowser::BeginReport(const std::string& headingDay, const std::string& headingMonth) {
    m_before = {m_report.ReportBody, m_report.HeadingDay, m_report.HeadingMonth};
    m_report.ReportBody.clear();
    m_report.HeadingDay = headingDay;
    m_report.HeadingMonth = headingMonth;
}

void SessionBrowser::ResetDecoder() {
    ResetDecoderState(m_report);
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
        const int16_t slot = static_cast<int16_t>(m_offlineQueued);
        m_offlineQueued = -1;
        const bool held = RenderHeld(slot);
        m_lastFailure = held ? RequestFailure::None : RequestFailure::NotInDump;
        if (!held) {
            // As after a failed upload, the report on screen stays and so does the selection of
            // what it shows: saved or exported, it goes under its own name. With nothing on
            // screen, the notice stands in place of the report. A Full Day stops there.
            ReturnToShown();
            if (m_shown.SectionCount() == 0) {
                ClearShown();
                m_view.ShowReportNotice(m_notice);
                m_noticeShown = true;
            }
        }
        m_view.RequestEnded(UploadRequest::Session, held);
        if (m_fullDay && held) {
            FullDayStep();
        }
    }
    m_offlineRendering = false;
}

bool SessionBrowser::RenderHeld(int16_t slot) {
    const bool held = m_image.SessionHeld(slot) || TakeCopy(slot);
    if (held && m_reader.SessionMatchesIndex(slot)) {
        RenderChosenSession(slot);
        return true;
    }
    // An empty report would pass for a session without records, and another session's bytes
    // for this one.
    const std::string label = m_tree.Text(m_selected);
    const std::string session = "The session " + label.substr(0, label.find(' ')) + " of " +
                                m_report.HeadingDay + m_report.HeadingMonth;
    m_notice =
        session + (held ? " is not what the image holds under its name: the bytes there "
                          "belong to another session. Press GO with its instrument "
                          "connected to read it."
                   : m_offlineSource == DataSource::EarlierInstrument
                       ? " was not uploaded before another instrument was connected. Connect "
                         "that instrument and press GO to read it."
                       : " is not in this dump: it was never uploaded into it. Press GO with "
                         "its instrument connected to read it.");
    return false;
}

bool SessionBrowser::TakeCopy(int16_t slot) {
    if (CopyOf(slot) < 0 || !m_copies->PutInto(m_image, slot)) {
        return false;
    }
    m_fromCopy.insert(slot);
    return true;
}

int64_t SessionBrowser::CopyOf(int16_t slot) const {
    return m_offline && m_offlineSource == DataSource::Dump && m_copies ? m_copies->CopyOf(slot)
                                                                        : -1;
}

void SessionBrowser::ForgetCopies() {
    m_copies.reset();
    m_fromCopy.clear();
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
    const int parent = m_tree.Parent(id);
    const std::string day = m_tree.Text(parent) + " ";
    const std::string month = m_tree.Text(m_tree.Parent(parent));
    m_before = {m_report.ReportBody, m_report.HeadingDay, m_report.HeadingMonth};
    if (m_newReportOnSelect) {
        BeginReport(day, month);
    } else {
        // The session is added to the open report under its own headings.
        m_report.HeadingDay = day;
        m_report.HeadingMonth = month;
    }
    m_newReportOnSelect = 1;
    const uint32_t data = m_tree.At(id).itemData & 0xFFFF;
    if (data == kFolderData) {
        return;
    }
    StartSessionUpload(static_cast<int16_t>(data));
}

void SessionBrowser::BrowseEarlierInstrument(const std::string& name) {
    if (!m_treeBuilt || m_offline) {
        return;
    }
    GoOffline(DataSource::EarlierInstrument, name);
}

void SessionBrowser::GoOffline(DataSource source, const std::string& name) {
    if (source != DataSource::Dump) {
        ForgetCopies();
    }
    m_offline = true;
    m_offlineSource = source;
    m_reader.Stop();
    m_newReportOnSelect = 1;
    m_view.ShowDataSource(source, name);
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
    if (checked && shown && m_reader.RequestRunning()) {
        // The session chosen is on its way: the Full Day step follows its arrival.
        return;
    }
    if (!checked && shown && m_shown.SectionCount() > 1) {
        if (m_reader.RequestRunning()) {
            m_backToFirst = true;
        } else {
            BackToFirstSession();
        }
        m_newReportOnSelect = 1;
        return;
    }
    // The report on screen is closed: the next session begins a new one.
    m_report.ReportBody.clear();
    m_newReportOnSelect = 1;
}

bool SessionBrowser::ShowsOnly(int id) const {
    return m_tree.Valid(id) && m_tree.At(id).level == SessionNode::Session &&
           !m_reader.RequestRunning() && !m_report.ReportBody.empty() &&
           m_shown.SectionCount() == 1 &&
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
    m_tree.Build(m_reader.Table(), m_boxes);
    ShowTree();
    m_selected = session ? m_tree.FindSession(slot) : -1;
    m_view.SelectNode(m_selected);
}

// ---------------------------------------------------------------------------------------------
// Saved dumps

int SessionBrowser::OpenDump(const char* path, std::string& message) {
    if (m_reader.RequestRunning()) {
        message = kBusyText;
        return 0;
    }
    if (path == nullptr || m_image.LoadDump(path, message) != 1) {
        if (path == nullptr) {
            message = "No dump file given.";
        }
        return 0;
    }
    m_reader.TakeDumpImage();
    ForgetCopies();
    if (m_findCopies) {
        m_copies = m_findCopies(m_image);
    }
    BuildSessionList();
    m_view.EnableTree(true);
    if (m_reader.MachineIdle()) {
        m_view.EnableGo(true);
    }
    GoOffline(DataSource::Dump, path);
    return 1;
}
