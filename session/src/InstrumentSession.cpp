#include "session/InstrumentSession.h"

#include "core/LogImage.h"
#include "metertalk/ArrivalTick.h"
#include "metertalk/CommsEngine.h"
#include "metertalk/QtCommsListener.h"
#include "metertalk/TestList.h"
#include "report/Report.h"
#include "session/MeterTalkComms.h"
#include "session/SessionReader.h"

InstrumentSession::InstrumentSession(CommsEngine* engine, QObject* parent)
    : QObject(parent), m_ownEngine(engine == nullptr ? new CommsEngine : nullptr),
      m_engine(engine == nullptr ? m_ownEngine.get() : engine), m_tests(new CTestList),
      m_listener(new QtCommsListener), m_image(new LogImage), m_report(new ReportState) {
    m_conversation.reset(new MeterTalkComms(*m_engine, *m_tests, m_listener.get()));
    m_reader.reset(new SessionReader(*m_conversation, *m_image, *m_report));
    m_reader->SetEvents(this);
    m_arrival.reset(new ArrivalTick(*m_engine));
    connect(m_listener.get(), &QtCommsListener::notified, this,
            [this](CommsEvent event) { OnEngineEvent(event); });
    connect(&m_tick, &QTimer::timeout, this, [this] { OnTick(); });
}

InstrumentSession::~InstrumentSession() {
    m_tick.stop();
    m_arrival->Follow(false);
    // The program's engine outlives its session: a late answer must not reach a dead listener.
    m_engine->ForgetListener(m_listener.get());
}

bool InstrumentSession::Connect(LinkChooser& chooser, const AppInfo& app) {
    if (!m_engine->Open(chooser, app, kInstrumentName, kPortNames,
                        CommsEngine::FailureBox::UnlessDeclined)) {
        return false;
    }
    m_linkOpen = true;
    // The test list attached and the progress display prepared for the start-up uploads; then
    // the built-in driver text, "Upload flag" current, state 0 and the first poll.
    m_conversation->Prepare();
    m_reader->Start();
    StartTicking();
    return true;
}

void InstrumentSession::ChooseAgain(LinkChooser& chooser) {
    m_engine->ChooseAgain(chooser);
}

void InstrumentSession::Disconnect() {
    if (m_linkOpen) {
        m_engine->Close();
        m_linkOpen = false;
    }
    FollowTransfer();
}

bool InstrumentSession::LinkIsPipe() const {
    return m_engine->LinkIsPipe();
}

void InstrumentSession::SetFastUpload(bool fast) {
    m_fast = fast;
    FollowTransfer();
}

void InstrumentSession::StartTicking() {
    if (m_suspended == 0 && !m_tick.isActive()) {
        m_tick.start(m_tickMs);
    }
}

void InstrumentSession::SuspendTicks() {
    ++m_suspended;
    m_tick.stop();
    m_arrival->Follow(false);
    if (m_frontEnd != nullptr) {
        m_frontEnd->SuspendTick();
    }
}

void InstrumentSession::ResumeTicks() {
    if (m_suspended > 0 && --m_suspended > 0) {
        return;
    }
    m_tick.start(m_tickMs);
    FollowTransfer();
    if (m_frontEnd != nullptr) {
        m_frontEnd->ResumeTick();
    }
}

const InstrumentFacts& InstrumentSession::Facts() const {
    return m_reader->Facts();
}

RequestFailure InstrumentSession::LastFailure() const {
    return m_reader->LastFailure();
}

void InstrumentSession::OnTick() {
    if (m_linkOpen) {
        m_engine->OnTimer();
        CheckLink();
    }
    FollowTransfer();
    emit Ticked();
}

void InstrumentSession::CheckLink() {
    // A pipe whose program has gone, or a port whose device was pulled out, reads as closed: the
    // request under way ends at once instead of waiting out its time-outs, and the front ends
    // say that no instrument is connected.
    if (!m_linkOpen || m_engine->LinkOpen()) {
        return;
    }
    m_linkOpen = false;
    m_reader->OnLinkLost();
    emit LinkLost();
}

void InstrumentSession::OnEngineEvent(CommsEvent event) {
    switch (event) {
    case CommsEvent::FrameStart:
        break;
    case CommsEvent::ChecksumError:
        // The engine has dropped the spoiled frame; the machine has the request asked for
        // again, and gives it up when its replies keep coming spoiled.
        m_reader->OnChecksumError();
        emit SpoiledReply();
        break;
    default:
        DispatchCommsEvent(*m_reader, event);
        break;
    }
    FollowTransfer();
    if (m_fast) {
        emit Ticked();
    }
}

void InstrumentSession::FollowTransfer() {
    m_arrival->Follow(m_fast && m_tick.isActive() && m_linkOpen && !m_reader->Idle());
}

// ---------------------------------------------------------------------------------------------
// The reader's events

void InstrumentSession::StartingUp() {
    if (m_frontEnd != nullptr) {
        m_frontEnd->StartingUp();
    }
}

void InstrumentSession::IndexRequestsAllowed(bool allowed) {
    if (m_frontEnd != nullptr) {
        m_frontEnd->IndexRequestsAllowed(allowed);
    }
}

void InstrumentSession::SessionRequestsAllowed(bool allowed) {
    if (m_frontEnd != nullptr) {
        m_frontEnd->SessionRequestsAllowed(allowed);
    }
}

void InstrumentSession::SetProgressRange(UploadRequest request, int low, int high) {
    if (m_frontEnd != nullptr) {
        m_frontEnd->SetProgressRange(request, low, high);
    }
    m_progressTotal = high;
    emit Progress(request, 0, high);
}

void InstrumentSession::SetProgressPos(UploadRequest request, int pos) {
    if (m_frontEnd != nullptr) {
        m_frontEnd->SetProgressPos(request, pos);
    }
    // Position 0 comes back when a request has ended.
    emit Progress(request, pos, pos == 0 ? 0 : m_progressTotal);
}

void InstrumentSession::ShowMessage(MessageKind kind, const std::string& text) {
    if (m_frontEnd != nullptr) {
        m_frontEnd->ShowMessage(kind, text);
    }
}

void InstrumentSession::InstrumentConnected(const InstrumentFacts& facts) {
    if (m_frontEnd != nullptr) {
        m_frontEnd->InstrumentConnected(facts);
    }
}

void InstrumentSession::RequestFailed(UploadRequest request, RequestFailure reason) {
    if (m_frontEnd != nullptr) {
        m_frontEnd->RequestFailed(request, reason);
    }
}

void InstrumentSession::LinkClosed() {
    if (m_frontEnd != nullptr) {
        m_frontEnd->LinkClosed();
    }
}

void InstrumentSession::IndexRead(bool dumped) {
    if (m_frontEnd != nullptr) {
        m_frontEnd->IndexRead(dumped);
    }
}

void InstrumentSession::SessionRead(int16_t slot, SessionOrigin origin) {
    if (m_frontEnd != nullptr) {
        m_frontEnd->SessionRead(slot, origin);
    }
}

void InstrumentSession::RequestEnded(UploadRequest request, bool ok) {
    if (m_frontEnd != nullptr) {
        m_frontEnd->RequestEnded(request, ok);
    }
    switch (request) {
    case UploadRequest::StartUp:
        emit Connected(ok);
        break;
    case UploadRequest::Index:
        emit IndexUploaded(ok);
        break;
    case UploadRequest::Session:
        break;
    }
    if (!ok) {
        emit UploadFailed(request, m_reader->LastFailure());
    }
    FollowTransfer();
}
