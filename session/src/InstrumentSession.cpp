#include "session/InstrumentSession.h"

#include "core/LogImage.h"
#include "metertalk/ArrivalTick.h"
#include "metertalk/Comms.h"
#include "metertalk/CommsEngine.h"
#include "metertalk/QtCommsListener.h"
#include "metertalk/TestList.h"
#include "report/Report.h"
#include "session/MeterTalkComms.h"
#include "session/SessionReader.h"
#include "session/UploadPace.h"

InstrumentSession::InstrumentSession(CommsEngine* engine, QObject* parent)
    : QObject(parent), m_ownEngine(engine == nullptr ? new CommsEngine : nullptr),
      m_engine(engine == nullptr ? m_ownEngine.get() : engine), m_tests(new CTestList),
      m_listener(new QtCommsListener), m_image(new LogImage), m_report(new ReportState) {
    m_conversation.reset(new MeterTalkComms(*m_engine, *m_tests, m_listener.get()));
    m_reader.reset(new SessionReader(*m_conversation, *m_image, *m_report));
    m_reader->SetEvents(this);
    m_pace.reset(new UploadPace(*m_engine, *m_reader));
    m_arrival.reset(new ArrivalTick([this] { m_pace->OnArrival(); }));
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

std::unique_ptr<InstrumentSession> InstrumentSession::OnProcessLink(QObject* parent) {
    return std::make_unique<InstrumentSession>(&ModuleCommsEngine(), parent);
}

void InstrumentSession::SetUserPrompt(UserPrompt* prompt) {
    if (m_engine == &ModuleCommsEngine()) {
        // The boxes of every CComms and test list in the process, this session's among them.
        CComms().SetUserPrompt(prompt);
    } else {
        m_engine->SetUserPrompt(prompt);
    }
}

void InstrumentSession::SetProgressFactory(ProgressFactory factory) {
    m_engine->SetProgressFactory(std::move(factory));
}

bool InstrumentSession::Connect(LinkChooser& chooser, const AppInfo& app) {
    if (!m_engine->Open(chooser, app, kInstrumentName, kPortNames,
                        CommsEngine::FailureBox::UnlessDeclined)) {
        return false;
    }
    m_pace->LinkOpened();
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
    if (m_pace->LinkOpen()) {
        m_engine->Close();
        m_pace->LinkClosed();
    }
    FollowTransfer();
}

bool InstrumentSession::LinkIsPipe() const {
    return m_engine->LinkIsPipe();
}

bool InstrumentSession::LinkOpen() const {
    return m_pace->LinkOpen();
}

void InstrumentSession::SetFastUpload(bool fast) {
    m_pace->SetFast(fast);
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
    if (m_pace->OnTick() == UploadPace::TickOutcome::LinkLost) {
        // The front ends say that no instrument is connected.
        emit LinkLost();
    }
    FollowTransfer();
    emit Ticked();
}

void InstrumentSession::OnEngineEvent(CommsEvent event) {
    m_pace->OnEngineEvent(event);
    if (event == CommsEvent::ChecksumError) {
        emit SpoiledReply();
    }
    FollowTransfer();
    if (m_pace->Fast()) {
        emit Ticked();
    }
}

void InstrumentSession::FollowTransfer() {
    m_arrival->Follow(m_tick.isActive() && m_pace->FollowsArrivals());
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
