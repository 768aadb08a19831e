#include "session/InstrumentSession.h"

#include "app/MeterTalkComms.h"
#include "app/SessionBrowser.h"
#include "core/LogImage.h"
#include "metertalk/ArrivalTick.h"
#include "metertalk/CommsEngine.h"
#include "metertalk/QtCommsListener.h"
#include "metertalk/TestList.h"
#include "report/Report.h"

InstrumentSession::InstrumentSession(CommsEngine* engine, QObject* parent)
    : QObject(parent), m_ownEngine(engine == nullptr ? new CommsEngine : nullptr),
      m_engine(engine == nullptr ? m_ownEngine.get() : engine), m_tests(new CTestList),
      m_listener(new QtCommsListener), m_image(new LogImage), m_report(new ReportState) {
    m_conversation.reset(new MeterTalkComms(*m_engine, *m_tests, m_listener.get()));
    m_browser.reset(new SessionBrowser(*m_conversation, *this, *m_image, *m_report));
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
    m_browser->Start();
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
    if (m_view != nullptr) {
        m_view->SuspendTick();
    }
}

void InstrumentSession::ResumeTicks() {
    if (m_suspended > 0 && --m_suspended > 0) {
        return;
    }
    m_tick.start(m_tickMs);
    FollowTransfer();
    if (m_view != nullptr) {
        m_view->ResumeTick();
    }
}

const InstrumentFacts& InstrumentSession::Facts() const {
    return m_browser->Facts();
}

RequestFailure InstrumentSession::LastFailure() const {
    return m_browser->LastFailure();
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
    m_browser->OnLinkLost();
    emit LinkLost();
}

void InstrumentSession::OnEngineEvent(CommsEvent event) {
    switch (event) {
    case CommsEvent::FrameStart:
        break;
    case CommsEvent::ChecksumError:
        // The engine has dropped the spoiled frame; the machine has the request asked for
        // again, and gives it up when its replies keep coming spoiled.
        m_browser->OnChecksumError();
        emit SpoiledReply();
        break;
    default:
        DispatchCommsEvent(*m_browser, event);
        break;
    }
    FollowTransfer();
    if (m_fast) {
        emit Ticked();
    }
}

void InstrumentSession::FollowTransfer() {
    m_arrival->Follow(m_fast && m_tick.isActive() && m_linkOpen && !m_browser->Idle());
}

// ---------------------------------------------------------------------------------------------
// The browser's view

void InstrumentSession::EnableGo(bool enable) {
    if (m_view != nullptr) {
        m_view->EnableGo(enable);
    }
}

void InstrumentSession::EnableTree(bool enable) {
    if (m_view != nullptr) {
        m_view->EnableTree(enable);
    }
}

void InstrumentSession::EnableNext(bool enable) {
    if (m_view != nullptr) {
        m_view->EnableNext(enable);
    }
}

void InstrumentSession::SetProgressRange(BrowserRequest request, int low, int high) {
    if (m_view != nullptr) {
        m_view->SetProgressRange(request, low, high);
    }
    m_progressTotal = high;
    emit Progress(request, 0, high);
}

void InstrumentSession::SetProgressPos(BrowserRequest request, int pos) {
    if (m_view != nullptr) {
        m_view->SetProgressPos(request, pos);
    }
    // Position 0 comes back when a request has ended.
    emit Progress(request, pos, pos == 0 ? 0 : m_progressTotal);
}

void InstrumentSession::ClearTree() {
    if (m_view != nullptr) {
        m_view->ClearTree();
    }
}

void InstrumentSession::InsertNode(int id, int parent, const std::string& text, uint32_t itemData,
                                   bool makeVisible) {
    if (m_view != nullptr) {
        m_view->InsertNode(id, parent, text, itemData, makeVisible);
    }
}

void InstrumentSession::SelectNode(int id) {
    if (m_view != nullptr) {
        m_view->SelectNode(id);
    }
}

void InstrumentSession::SetReportText(const std::string& rtf) {
    if (m_view != nullptr) {
        m_view->SetReportText(rtf);
    }
    emit SessionShown();
}

void InstrumentSession::SetFullDayBox(bool checked) {
    if (m_view != nullptr) {
        m_view->SetFullDayBox(checked);
    }
}

void InstrumentSession::SetSessionBoxes(const SessionBoxes& boxes) {
    if (m_view != nullptr) {
        m_view->SetSessionBoxes(boxes);
    }
}

void InstrumentSession::ShowMessage(MessageKind kind, const std::string& text) {
    if (m_view != nullptr) {
        m_view->ShowMessage(kind, text);
    }
}

void InstrumentSession::ShowReportNotice(const std::string& text) {
    if (m_view != nullptr) {
        m_view->ShowReportNotice(text);
    }
}

void InstrumentSession::ShowDataSource(DataSource source, const std::string& name) {
    if (m_view != nullptr) {
        m_view->ShowDataSource(source, name);
    }
}

void InstrumentSession::RequestEnded(BrowserRequest request, bool ok) {
    if (m_view != nullptr) {
        m_view->RequestEnded(request, ok);
    }
    switch (request) {
    case BrowserRequest::StartUp:
        // The tree belongs to the instrument it was read from: under another one's labels, a
        // session would be uploaded from this one's memory.
        if (ok && m_browser->TreeBuilt() && m_treeFacts.Known() &&
            !m_browser->Facts().SameInstrumentAs(m_treeFacts)) {
            m_browser->BrowseEarlierInstrument(m_treeFacts.serialNumber);
        }
        emit Connected(ok);
        break;
    case BrowserRequest::Index:
        if (m_browser->IndexSectorCount() >= static_cast<int>(LogImage::kIndexSectors)) {
            m_treeFacts = m_browser->Facts();
        }
        emit IndexUploaded(ok);
        break;
    case BrowserRequest::Session:
        break;
    }
    if (!ok) {
        emit UploadFailed(request, m_browser->LastFailure());
    }
    FollowTransfer();
}
