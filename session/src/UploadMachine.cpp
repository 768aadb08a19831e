#include "session/UploadMachine.h"

#include "report/Report.h"
#include "session/ConfigBlock.h"

namespace {

const char* const kUploadFlag = "Upload flag";
const char* const kSectorToUpload = "Sector to upload";
const char* const kIndexToUpload = "Index to upload";

// What the instrument is asked about itself once its driver text has come, in this order and
// each where that text describes it. Of two tests that fill one fact, the first found serves.
struct IdentityRead {
    const char* test;
    std::string InstrumentFacts::*fact;
};
const IdentityRead kIdentityReads[] = {
    {"Serial number", &InstrumentFacts::serialNumber},
    {"Firmware version", &InstrumentFacts::firmwareVersion},
    {"Software version", &InstrumentFacts::firmwareVersion},
};
constexpr int kIdentityReadCount =
    static_cast<int>(sizeof kIdentityReads / sizeof kIdentityReads[0]);

// Values written to "Upload flag": what the instrument is to stream.
constexpr unsigned int kSendDriverText = 10;
constexpr unsigned int kSendConfigBlock = 20;
constexpr unsigned int kSendMemoryArea = 3;

UploadState operator+(UploadState state, int32_t step) {
    return static_cast<UploadState>(static_cast<int32_t>(state) + step);
}

} // namespace

const char* const UploadMachine::kNoAnswerText =
    "The instrument stopped answering. The request can be tried again.";
const char* const UploadMachine::kSpoiledText =
    "Error in serial comms: the instrument's replies kept arriving spoiled, so the request was "
    "given up. Check the cable, or move closer to the instrument, and try again.";
const char* const UploadMachine::kWaitingText = "Waiting for the instrument to answer.";

// What each notification does, state by state. A time-out anywhere but idle costs the step one of
// its attempts; in the rows that do not wait for a poll answer, the answer to the re-ask then
// re-sends the lost step (`resume`).
using M = UploadMachine;
// clang-format off
const M::Row M::kRows[12] = {
    //                            Ask done              Set done             Upload done             Resumed by              Waits for a poll
    /*  0 DriverText           */ {&M::AskForDriverText, &M::Nothing,         &M::ReceiveDriverText,  &M::Nothing,            true},
    /*  1 ConfigBlock          */ {&M::ResumeIfLost,     &M::Nothing,         &M::ReceiveConfigBlock, &M::AskForConfigBlock,  false},
    /*  2 Idle                 */ {&M::Poll,             &M::Nothing,         &M::Nothing,            &M::Nothing,            true},
    /*  3 IndexRequested       */ {&M::WriteFirstSector, &M::Nothing,         &M::Nothing,            &M::Nothing,            true},
    /*  4 IndexSectorWritten   */ {&M::ResumeIfLost,     &M::WriteOffset,     &M::Nothing,            &M::WriteSector,        false},
    /*  5 IndexOffsetWritten   */ {&M::ResumeIfLost,     &M::WriteUploadFlag, &M::Nothing,            &M::WriteOffset,        false},
    /*  6 IndexUnderWay        */ {&M::ResumeIfLost,     &M::Nothing,         &M::ReceivePiece,       &M::WriteSector,        false},
    /*  7 SessionRequested     */ {&M::WriteFirstSector, &M::Nothing,         &M::Nothing,            &M::Nothing,            true},
    /*  8 SessionSectorWritten */ {&M::ResumeIfLost,     &M::WriteOffset,     &M::Nothing,            &M::WriteSector,        false},
    /*  9 SessionOffsetWritten */ {&M::ResumeIfLost,     &M::WriteUploadFlag, &M::Nothing,            &M::WriteOffset,        false},
    /* 10 SessionUnderWay      */ {&M::ResumeIfLost,     &M::Nothing,         &M::ReceivePiece,       &M::WriteSector,        false},
    /* 11 Identity             */ {&M::ReceiveIdentity,  &M::Nothing,         &M::Nothing,            &M::Nothing,            true},
};
// clang-format on

UploadMachine::UploadMachine(UploadComms& comms, ReaderEvents& events, LogImage& image,
                             ReportState& report, UploadOwner& owner)
    : m_comms(comms), m_events(events), m_image(image), m_report(report), m_owner(owner) {}

void UploadMachine::Start() {
    m_comms.ReadDriver(nullptr);
    m_comms.FindTest(kUploadFlag);
    m_state = UploadState::DriverText;
    NewStep();
    m_spoiledTimeouts = 0;
    m_runAsked = false;
    m_spoiled = false;
    m_startUpComplete = false;
    m_events.IndexRequestsAllowed(false);
    m_comms.Ask(0);
}

// ---------------------------------------------------------------------------------------------
// Notifications

void UploadMachine::OnAskDone() {
    (this->*CurrentRow().askDone)();
}

void UploadMachine::OnSetDone() {
    (this->*CurrentRow().setDone)();
}

void UploadMachine::OnChecksumError() {
    m_spoiledHeard = true;
    // A bulk transfer collects data: a dropped frame leaves a hole in it that nothing else would
    // notice.
    if (m_runAsked) {
        m_spoiled = true;
    }
}

void UploadMachine::OnUploadDone() {
    const bool spoiled = m_spoiled;
    m_runAsked = false;
    m_spoiled = false;
    if (spoiled) {
        RetrySpoiledRun();
        return;
    }
    m_events.IndexRequestsAllowed(true);
    (this->*CurrentRow().uploadDone)();
}

void UploadMachine::OnTimeout() {
    // A transfer whose frames came spoiled and whose end never came whole (its closing answer
    // spoiled too) was answered all the same: the line is noisy, not silent.
    const bool spoiledRun = m_spoiled;
    m_runAsked = false;
    m_spoiled = false;
    if (spoiledRun) {
        RetrySpoiledRun();
        return;
    }
    const bool spoiledAnswer = m_spoiledHeard && m_state != UploadState::Idle;
    m_spoiledHeard = false;
    if (spoiledAnswer) {
        ++m_spoiledTimeouts;
    }
    if (m_state == UploadState::DriverText) {
        // The start-up carries on whenever the instrument answers, however late.
        if (++m_failures % kAttemptsPerStep == 0) {
            WaitForInstrument(SilenceFailure());
            return;
        }
    } else if (m_state != UploadState::Idle) {
        // An answer that came spoiled and was left to its time-out counts with the spoiled
        // transfers; only silence costs one of the step's three attempts.
        if (spoiledAnswer ? ++m_spoiledAttempts >= kSpoiledAttemptsPerStep
                          : ++m_failures >= kAttemptsPerStep) {
            GiveUp(spoiledAnswer ? RequestFailure::SpoiledReplies : SilenceFailure());
            return;
        }
        if (!CurrentRow().waitsForPoll) {
            m_resume = true;
        }
    }
    AskAgain();
}

void UploadMachine::RetrySpoiledRun() {
    m_spoiledHeard = false;
    // Only a line that spoils nearly everything it carries gets this far; the start-up keeps
    // asking whatever comes, as it does through silence.
    if (++m_spoiledAttempts >= kSpoiledAttemptsPerStep) {
        if (m_state == UploadState::DriverText) {
            m_spoiledAttempts = 0;
            WaitForInstrument(RequestFailure::SpoiledReplies);
            return;
        }
        GiveUp(RequestFailure::SpoiledReplies);
        return;
    }
    if (!CurrentRow().waitsForPoll) {
        m_resume = true;
    }
    AskAgain();
}

void UploadMachine::AskAgain() {
    if (m_state == UploadState::Identity) {
        m_comms.AskAcceptingRefusal(0);
    } else {
        m_comms.Ask(0);
    }
}

void UploadMachine::OnRefused() {
    // The instrument will not tell: asking again would only cost time-outs. The next test that
    // tells the same fact, or the next fact, is read instead.
    if (m_state != UploadState::Identity) {
        return;
    }
    ++m_identityTest;
    ReadIdentity();
}

void UploadMachine::NewStep() {
    m_failures = 0;
    m_spoiledAttempts = 0;
    m_resume = false;
}

void UploadMachine::AskForRun(unsigned int what) {
    m_runAsked = true;
    m_spoiled = false;
    m_comms.Set(what);
}

// ---------------------------------------------------------------------------------------------
// Start-up uploads

void UploadMachine::Poll() {
    m_comms.Ask(0);
}

void UploadMachine::AskForDriverText() {
    if (m_waiting) {
        m_waiting = false;
        m_events.ShowMessage(MessageKind::Status, std::string());
    }
    AskForRun(kSendDriverText);
}

void UploadMachine::WaitForInstrument(RequestFailure failure) {
    m_comms.Ask(0);
    m_waiting = true;
    m_events.ShowMessage(MessageKind::Status, kWaitingText);
    const bool spoiled = failure == RequestFailure::SpoiledReplies;
    // A request the user made meanwhile is not kept waiting for ever.
    if (m_owner.DropPending()) {
        ShowBox(MessageKind::Error, spoiled ? kSpoiledText : kNoAnswerText);
    }
    Fail(failure);
    m_owner.RequestEnded(UploadRequest::StartUp, false);
}

void UploadMachine::ReceiveDriverText() {
    // The buffer holds a whole driver text and its zero: a text that fills it reads as exactly
    // kInfoBufferSize characters, which the test list warns about as possibly cut short.
    int length = 0;
    m_comms.GetUploadedData(m_infoBuffer, sizeof m_infoBuffer, length);
    m_infoLength = length;
    m_facts = InstrumentFacts{};
    m_facts.driverText.assign(reinterpret_cast<const char*>(m_infoBuffer),
                              static_cast<size_t>(length));
    m_comms.ReadDriver(reinterpret_cast<const char*>(m_infoBuffer));
    const char letter = m_comms.FindTest(kUploadFlag);
    NewStep();
    if (letter == 0) {
        // A driver text without "Upload flag" would leave no test to poll or write.
        m_comms.ReadDriver(nullptr);
        m_comms.FindTest(kUploadFlag);
        m_comms.SetSensorNumber(1);
        ReturnToIdle();
        const bool tell = m_owner.DropPending();
        m_comms.Ask(0);
        if (tell) {
            ShowBox(MessageKind::Error, kNoAnswerText);
        }
        Fail(RequestFailure::MissingTest);
        m_owner.RequestEnded(UploadRequest::StartUp, false);
        return;
    }
    m_comms.SetSensorNumber(1);
    if (letter == 'A') {
        m_identityTest = 0;
        ReadIdentity();
    } else {
        m_state = UploadState::ConfigBlock;
        AskForRun(kSendConfigBlock);
    }
}

void UploadMachine::AskForConfigBlock() {
    if (!MakeCurrent(kUploadFlag)) {
        Abandon();
        return;
    }
    AskForRun(kSendConfigBlock);
}

void UploadMachine::ReceiveConfigBlock() {
    int length = 0;
    m_comms.GetUploadedData(m_infoBuffer, sizeof m_infoBuffer, length);
    m_infoLength = length;
    m_facts.configBlock.assign(reinterpret_cast<const char*>(m_infoBuffer),
                               static_cast<size_t>(length));
    ReadModeNames(m_infoBuffer, length, m_report.ModeNames);
    m_comms.SetSensorNumber(1);
    m_identityTest = 0;
    ReadIdentity();
}

void UploadMachine::ReadIdentity() {
    // Each read takes the place of one idle poll; the rest of the conversation stays as it is.
    // Reading the serial number tells this instrument from every other of its model.
    bool chosen = false;
    for (; m_identityTest < kIdentityReadCount; ++m_identityTest) {
        const IdentityRead& read = kIdentityReads[m_identityTest];
        if (!(m_facts.*read.fact).empty() || !m_comms.HasTest(read.test)) {
            continue;
        }
        chosen = true;
        if (m_comms.FindTest(read.test) != 0) {
            m_state = UploadState::Identity;
            NewStep();
            m_spoiledTimeouts = 0;
            // A refusal tells that the instrument will not say: the read ends at once.
            m_comms.AskAcceptingRefusal(0);
            return;
        }
    }
    if (chosen || m_state == UploadState::Identity) {
        m_comms.FindTest(kUploadFlag);
    }
    ReturnToIdle();
    FinishStartUp();
    m_comms.Ask(0);
}

void UploadMachine::ReceiveIdentity() {
    m_facts.*kIdentityReads[m_identityTest].fact = ReportedText(m_comms.GetNewString());
    ++m_identityTest;
    ReadIdentity();
}

void UploadMachine::FinishStartUp() {
    m_startUpComplete = true;
    Fail(RequestFailure::None);
    m_owner.RequestEnded(UploadRequest::StartUp, true);
}

void UploadMachine::RestartStartUp() {
    m_events.IndexRequestsAllowed(false);
    m_events.SessionRequestsAllowed(false);
    NewStep();
    m_comms.FindTest(kUploadFlag);
    // The poll that is running now brings the answer that sends the request.
    m_state = UploadState::DriverText;
}

// ---------------------------------------------------------------------------------------------
// Transfers

void UploadMachine::BeginIndex() {
    Begin(Transfer{UploadRequest::Index, UploadState::IndexRequested, 0, LogImage::kSectorSize,
                   static_cast<int16_t>(LogImage::kIndexSectors)});
}

void UploadMachine::BeginSession(int16_t slot) {
    m_currentSlot = slot;
    Begin(Transfer{UploadRequest::Session, UploadState::SessionRequested,
                   LogImage::DataSector(slot) * LogImage::kSectorSize, kPieceSize,
                   kPiecesPerSector});
}

void UploadMachine::Begin(const Transfer& transfer) {
    m_transfer = transfer;
    m_events.IndexRequestsAllowed(false);
    m_events.SessionRequestsAllowed(false);
    PiecesDone() = 0;
    m_events.SetProgressRange(transfer.request, 0, transfer.pieces);
    NewStep();
    m_spoiledTimeouts = 0;
    m_state = transfer.requested;
    // Nothing is sent here: the next poll answer starts the transfer.
    if (!MakeCurrent(kSectorToUpload)) {
        Abandon();
    }
}

int16_t& UploadMachine::PiecesDone() {
    return m_transfer.request == UploadRequest::Index ? m_indexSectorCount : m_sessionPieceCount;
}

void UploadMachine::WriteFirstSector() {
    // Begin made "Sector to upload" current.
    m_state = m_transfer.requested + SectorWritten;
    m_comms.Set(PieceOffset() / LogImage::kSectorSize);
}

void UploadMachine::Send(Step step) {
    static const char* const tests[] = {nullptr, kSectorToUpload, kIndexToUpload, kUploadFlag};
    m_state = m_transfer.requested + step;
    m_resume = false;
    if (!MakeCurrent(tests[step])) {
        Abandon();
        return;
    }
    const uint32_t at = PieceOffset();
    if (step == UnderWay) {
        AskForRun(kSendMemoryArea);
        return;
    }
    m_comms.Set(step == SectorWritten ? at / LogImage::kSectorSize : at % LogImage::kSectorSize);
}

void UploadMachine::ReceivePiece() {
    // The upload is cut to its room; the image takes exactly the bytes that came, and a short
    // upload leaves the rest of its room as it was.
    static_assert(sizeof m_receiveBuffer > LogImage::kSectorSize, "room for the zero");
    const uint32_t room = m_transfer.pieceSize;
    int length = 0;
    m_comms.GetUploadedData(m_receiveBuffer, room + 1, length);
    if (length > 0) {
        const uint32_t received = static_cast<uint32_t>(length);
        m_image.Store(PieceOffset(), m_receiveBuffer, received < room ? received : room);
    }
    ++PiecesDone();
    NewStep();
    if (PiecesDone() < m_transfer.pieces) {
        m_events.SetProgressPos(m_transfer.request, PiecesDone());
        WriteSector();
        return;
    }
    if (m_transfer.request == UploadRequest::Index) {
        std::string failure;
        const bool written = m_owner.IndexArrived(failure);
        ReturnToIdle();
        Fail(written ? RequestFailure::None : RequestFailure::DumpNotWritten);
        m_owner.RequestEnded(UploadRequest::Index, written);
        m_comms.Ask(0);
        if (!written) {
            ShowBox(MessageKind::Error, failure);
        }
        return;
    }
    const bool kept = m_owner.SessionArrived(m_currentSlot);
    ReturnToIdle();
    Fail(kept ? RequestFailure::None : RequestFailure::MemoryMismatch);
    m_owner.RequestEnded(UploadRequest::Session, kept);
    m_comms.Ask(0);
}

// ---------------------------------------------------------------------------------------------
// Recovery and the way back to idle

void UploadMachine::ResumeIfLost() {
    // Re-send what went unanswered; a bulk transfer that fell silent is asked for again from its
    // sector number, as its data may be incomplete.
    if (m_resume) {
        m_resume = false;
        (this->*CurrentRow().resume)();
    }
}

void UploadMachine::ReturnToIdle() {
    const UploadRequest request = CurrentRequest();
    m_state = UploadState::Idle;
    NewStep();
    m_spoiledTimeouts = 0;
    m_runAsked = false;
    m_spoiled = false;
    m_events.IndexRequestsAllowed(true);
    m_events.SessionRequestsAllowed(true);
    m_events.SetProgressPos(request, 0);
}

void UploadMachine::GiveUp(RequestFailure failure) {
    // The start-up never gets here before the driver text has come (state 0 keeps asking); the
    // configuration block and what it tells about itself are what it may lack.
    const bool startUp = m_state == UploadState::ConfigBlock || m_state == UploadState::Identity;
    const UploadRequest request = CurrentRequest();
    // Silence and spoiled replies call for different remedies: the user is told which it was.
    const bool spoiled = failure == RequestFailure::SpoiledReplies;
    Fail(failure);
    if (startUp) {
        // The instrument's driver text arrived; only the mode names are missing, and a request
        // that waited for the start-up goes ahead.
        m_startUpComplete = true;
    }
    m_comms.FindTest(kUploadFlag);
    if (startUp) {
        m_comms.SetSensorNumber(1);
    }
    ReturnToIdle();
    // A request that found the instrument silent leaves nothing queued behind it.
    const bool tell = !startUp;
    if (tell) {
        m_owner.DropPending();
    }
    m_comms.Ask(0);
    if (tell) {
        ShowBox(MessageKind::Error, spoiled ? kSpoiledText : kNoAnswerText);
    }
    m_owner.RequestEnded(request, false);
}

void UploadMachine::Abandon() {
    // The driver text lacks a test the request needs: nothing can be sent for it, and no
    // notification would ever come to carry it on.
    const UploadRequest request = m_transfer.request;
    m_owner.DropPending();
    m_comms.FindTest(kUploadFlag);
    ReturnToIdle();
    m_comms.Ask(0);
    ShowBox(MessageKind::Error, kNoAnswerText);
    Fail(RequestFailure::MissingTest);
    m_owner.RequestEnded(request, false);
}

void UploadMachine::LinkLost() {
    if (!RequestRunning()) {
        return;
    }
    const UploadRequest request = CurrentRequest();
    m_owner.DropPending();
    m_comms.FindTest(kUploadFlag);
    ReturnToIdle();
    Fail(RequestFailure::LinkLost);
    m_owner.RequestEnded(request, false);
}

UploadRequest UploadMachine::CurrentRequest() const {
    return m_state <= UploadState::ConfigBlock || m_state == UploadState::Identity
               ? UploadRequest::StartUp
               : m_transfer.request;
}

void UploadMachine::ShowBox(MessageKind kind, const std::string& text) {
    m_events.SuspendTick();
    m_events.ShowMessage(kind, text);
    m_events.ResumeTick();
}
