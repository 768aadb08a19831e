#include "session/SessionReader.h"

#include "core/SessionCheck.h"
#include "report/Report.h"

const char* const SessionReader::kMismatchText =
    "The instrument's memory no longer matches the session list: press GO to read it again";

const char* MessageCaption(MessageKind kind) {
    return kind == MessageKind::Warning ? "Warning" : "Tavon Datalogger";
}

SessionReader::SessionReader(UploadComms& comms, LogImage& image, ReportState& report)
    : m_image(image), m_report(report), m_machine(comms, *this, image, report, *this) {}

SessionReader::~SessionReader() {
    StopKeeping();
}

void SessionReader::Start() {
    m_linkGone = false;
    if (m_events != nullptr) {
        m_events->StartingUp();
    }
    m_machine.Start();
}

void SessionReader::OnLinkLost() {
    m_linkGone = true;
    m_machine.LinkLost();
    if (m_events != nullptr) {
        m_events->LinkClosed();
    }
}

// ---------------------------------------------------------------------------------------------
// What the caller asks

void SessionReader::ReadIndex() {
    if (m_machine.IndexUnderWay()) {
        // The index asked for is already on its way (GO is enabled between its sectors).
        IndexRequestsAllowed(false);
        return;
    }
    m_slots.clear();
    m_indexAsked = true;
    // A session under way is shown after all: only a newer session would take its place.
    m_superseded = false;
    if (m_beginning) {
        return;
    }
    if (!m_machine.Idle()) {
        IndexRequestsAllowed(false);
        SessionRequestsAllowed(false);
        return;
    }
    BeginAsked(true);
}

void SessionReader::ReadSessions(const std::vector<int16_t>& slots) {
    std::vector<int16_t> valid;
    for (int16_t slot : slots) {
        if (slot >= 0 && slot < LogImage::kSlotCount) {
            valid.push_back(slot);
        }
    }
    if (valid.empty()) {
        return;
    }
    m_indexAsked = false;
    m_slots = valid;
    if (m_beginning) {
        return;
    }
    if (!m_machine.Idle()) {
        m_superseded = true;
        IndexRequestsAllowed(false);
        SessionRequestsAllowed(false);
        return;
    }
    BeginAsked(true);
}

void SessionReader::Stop() {
    m_indexAsked = false;
    m_slots.clear();
}

void SessionReader::BeginAsked(bool fresh) {
    m_beginning = true;
    while (Asked() && m_machine.Idle()) {
        if (m_indexAsked) {
            if (fresh && !m_machine.StartUpComplete()) {
                // The instrument's driver text never came: fetch it first, then read the index.
                m_machine.RestartStartUp();
                break;
            }
            m_indexAsked = false;
            m_machine.BeginIndex();
            break;
        }
        const int16_t slot = m_slots.front();
        if (fresh && !m_linkGone && !m_machine.StartUpComplete()) {
            m_machine.RestartStartUp();
            break;
        }
        m_slots.erase(m_slots.begin());
        if (ReadKept(slot)) {
            // What the events asked since is asked afresh.
            fresh = true;
            continue;
        }
        if (fresh && m_linkGone) {
            m_slots.clear();
            m_lastFailure = RequestFailure::LinkLost;
            if (m_events != nullptr) {
                m_events->RequestEnded(UploadRequest::Session, false);
            }
            break;
        }
        m_currentSlot = slot;
        m_machine.BeginSession(slot);
        break;
    }
    m_beginning = false;
}

// ---------------------------------------------------------------------------------------------
// The archive

DownloadKeeper* SessionReader::Keeper() const {
    return m_keeper && !m_keeper->Failed() ? m_keeper.get() : nullptr;
}

bool SessionReader::Held(int16_t slot) const {
    const DownloadKeeper* keeper = Keeper();
    return keeper != nullptr && keeper->Held(slot);
}

bool SessionReader::StopKeeping() {
    if (!m_keeper) {
        return true;
    }
    m_keeper->Finish();
    const bool whole = !m_keeper->Failed();
    m_keeper.reset();
    return whole;
}

void SessionReader::KeepIndex() {
    StopKeeping();
    m_keeper = m_makeKeeper ? m_makeKeeper() : nullptr;
    if (m_keeper) {
        m_keeper->IndexArrived(Facts(), m_report.ModeNames, m_image);
    }
}

bool SessionReader::ReadKept(int16_t slot) {
    // Only with the machine idle: a session read beside a running upload would share its report
    // with the session that upload brings. A copy that does not belong to the index entry is
    // uploaded instead.
    if (!Held(slot) || !m_keeper->Restore(m_image, slot) || !SessionMatchesIndex(slot)) {
        return false;
    }
    m_currentSlot = slot;
    m_lastFailure = RequestFailure::None;
    if (m_events != nullptr) {
        m_events->SessionRead(slot, SessionOrigin::Archive);
        m_events->RequestEnded(UploadRequest::Session, true);
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// The image

void SessionReader::TakeDumpImage() {
    m_imageFromDump = true;
    m_table.Build(m_image);
}

bool SessionReader::SessionMatchesIndex(int16_t slot) const {
    const SessionEntry* entry = m_table.FindSlot(slot);
    return entry == nullptr || CheckSessionAgainstEntry(m_image, *entry) == SessionMatch::Matches;
}

// ---------------------------------------------------------------------------------------------
// What the machine hands over

bool SessionReader::IndexArrived(std::string& failure) {
    // Sessions uploaded from another instrument (or read from a dump) would be written into
    // this one's dump under its index, and browsed as its own.
    if (m_imageFromDump || (m_imageFacts.Known() && !Facts().SameInstrumentAs(m_imageFacts))) {
        m_image.ForgetSessions();
    }
    m_imageFacts = Facts();
    m_imageFromDump = false;
    const bool dumped = m_image.DumpImage(m_dumpPath.c_str()) == 1;
    m_table.Build(m_image);
    KeepIndex();
    if (m_events != nullptr) {
        m_events->IndexRead(dumped);
    }
    if (!dumped) {
        failure = "Could not write " + m_dumpPath + ".";
    }
    return dumped;
}

bool SessionReader::SessionArrived(int16_t slot) {
    if (!SessionMatchesIndex(slot)) {
        // Another session's bytes under this one's label would be shown, saved and filed as
        // this one: nothing is read, and the user is told how to mend it.
        Stop();
        m_machine.ShowBox(MessageKind::Error, kMismatchText);
        return false;
    }
    m_imageFacts = Facts();
    if (Keeper() != nullptr && !m_keeper->Held(slot)) {
        m_keeper->SessionArrived(m_image, slot);
    }
    if (m_superseded) {
        // Another session has been asked for since: only that one is to be seen. The sector
        // stays in the image.
        m_superseded = false;
        return true;
    }
    m_currentSlot = slot;
    if (m_events != nullptr) {
        m_events->SessionRead(slot, SessionOrigin::Instrument);
    }
    return true;
}

void SessionReader::RequestEnded(UploadRequest request, bool ok) {
    m_lastFailure = ok ? RequestFailure::None : m_machine.LastFailure();
    // Whatever was asked while this request ran is begun now, and told when it is read.
    m_superseded = false;
    if (m_events != nullptr) {
        if (request == UploadRequest::StartUp && ok) {
            m_events->InstrumentConnected(Facts());
        }
        if (!ok) {
            m_events->RequestFailed(request, m_lastFailure);
        }
        m_events->RequestEnded(request, ok);
    }
    if (m_machine.Idle() && !m_beginning) {
        BeginAsked(false);
    }
}

bool SessionReader::DropPending() {
    const bool dropped = Asked();
    Stop();
    return dropped;
}

void SessionReader::IndexRequestsAllowed(bool allowed) {
    if (m_events != nullptr) {
        m_events->IndexRequestsAllowed(allowed);
    }
}

void SessionReader::SessionRequestsAllowed(bool allowed) {
    if (m_events != nullptr) {
        m_events->SessionRequestsAllowed(allowed);
    }
}

void SessionReader::SetProgressRange(UploadRequest request, int low, int high) {
    if (m_events != nullptr) {
        m_events->SetProgressRange(request, low, high);
    }
}

void SessionReader::SetProgressPos(UploadRequest request, int pos) {
    if (m_events != nullptr) {
        m_events->SetProgressPos(request, pos);
    }
}

void SessionReader::ShowMessage(MessageKind kind, const std::string& text) {
    if (m_events != nullptr) {
        m_events->ShowMessage(kind, text);
    }
}

void SessionReader::SuspendTick() {
    if (m_events != nullptr) {
        m_events->SuspendTick();
    }
}

void SessionReader::ResumeTick() {
    if (m_events != nullptr) {
        m_events->ResumeTick();
    }
}
