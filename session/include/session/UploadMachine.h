#pragma once

#include <cstdint>
#include <string>

#include "core/InstrumentFacts.h"
#include "core/LogImage.h"
#include "metertalk/TestList.h"
#include "session/ReaderEvents.h"
#include "session/UploadComms.h"

struct ReportState;

// The states of the conversation with the instrument. Their numbers are fixed: tests and traces
// name the states by them. A transfer (index or session) runs through four states: requested,
// sector number written, byte offset written, data under way.
enum class UploadState : int32_t {
    DriverText = 0,  // start-up: the instrument's driver text is asked for and uploaded
    ConfigBlock = 1, // start-up: the configuration block (the mode names) is uploaded
    Idle = 2,        // polling
    IndexRequested = 3,
    IndexSectorWritten = 4,
    IndexOffsetWritten = 5,
    IndexUnderWay = 6,
    SessionRequested = 7,
    SessionSectorWritten = 8,
    SessionOffsetWritten = 9,
    SessionUnderWay = 10,
    Identity = 11, // start-up: the serial number and firmware version are read, where the driver
                   // text describes them
};

// What the machine hands to the session reader that owns it.
class UploadOwner {
public:
    virtual ~UploadOwner() = default;
    // The ten index sectors are in the image. Returns false, with the message for the user in
    // `failure`, when the index could be used but not written out.
    virtual bool IndexArrived(std::string& failure) = 0;
    // The four pieces of the slot's sector are in the image. Returns false when they do not
    // belong to the slot's index entry (the user has been told; nothing is shown).
    virtual bool SessionArrived(int16_t slot) = 0;
    // A request has ended and the machine is idle again (after a start-up that ended it may be
    // waiting for the instrument still).
    virtual void RequestEnded(UploadRequest request, bool ok) = 0;
    // Forgets the requests the user made while the machine was busy; true when there was one.
    virtual bool DropPending() = 0;
};

// The upload state machine: the start-up uploads, the idle poll, the index and session transfers
// and the recovery after time-outs, driven by the communications notifications. The table of
// what each notification does in each state is kRows in UploadMachine.cpp.
class UploadMachine {
public:
    static constexpr uint32_t kPieceSize = 1024;
    static constexpr int kPiecesPerSector = 4;
    // Time-outs while one step is under way (the driver text, the configuration block, one index
    // sector or one session piece, each with the writes that ask for it) before it is abandoned.
    static constexpr int kAttemptsPerStep = 3;
    // Attempts at one step that the line answered, but spoiled (a bulk transfer that came
    // spoiled, or an answer that failed its checksum and was left to its time-out), before the
    // step is abandoned: counted apart from the silent ones. A line that spoils one frame in a
    // hundred spoils three 96-frame sectors in five, and sixty-four in a row less than once in
    // 10^13 sectors; at two in a hundred, less than once in 20,000.
    static constexpr int kSpoiledAttemptsPerStep = 64;
    static constexpr int kInfoBufferSize = CTestList::DriverBufferSize;

    static const char* const kNoAnswerText;
    static const char* const kSpoiledText;
    // The status while the start-up waits for an instrument that does not answer.
    static const char* const kWaitingText;

    UploadMachine(UploadComms& comms, ReaderEvents& events, LogImage& image, ReportState& report,
                  UploadOwner& owner);

    // The built-in driver text, "Upload flag" current, state 0 and the first poll.
    void Start();

    // A frame failed its checksum and was dropped: a bulk transfer under way is asked for again
    // when it ends, its data being short.
    void OnChecksumError();
    void OnTimeout();
    void OnAskDone();
    void OnSetDone();
    void OnUploadDone();
    // A read asked with AskAcceptingRefusal was refused: only the identity reads are.
    void OnRefused();

    // From idle: the next poll answer starts the transfer.
    void BeginIndex();
    void BeginSession(int16_t slot);
    // From idle, when the instrument's driver text never came: fetch it again.
    void RestartStartUp();
    // The link has closed: a request under way ends at once, without a box (the front end says
    // that no instrument is connected), and nothing waits for the instrument any more.
    void LinkLost();

    UploadState State() const { return m_state; }
    bool Idle() const { return m_state == UploadState::Idle; }
    bool IndexUnderWay() const {
        return m_state >= UploadState::IndexRequested && m_state <= UploadState::IndexUnderWay;
    }
    bool RequestRunning() const {
        return m_state >= UploadState::IndexRequested && m_state <= UploadState::SessionUnderWay;
    }
    bool StartUpComplete() const { return m_startUpComplete; }
    int16_t IndexSectorCount() const { return m_indexSectorCount; }
    int16_t SessionPieceCount() const { return m_sessionPieceCount; }
    int16_t CurrentSlot() const { return m_currentSlot; }
    const uint8_t* InfoBuffer() const { return m_infoBuffer; }
    int32_t InfoLength() const { return m_infoLength; }
    // What the instrument told about itself at the last start-up.
    const InstrumentFacts& Facts() const { return m_facts; }
    RequestFailure LastFailure() const { return m_lastFailure; }

    // A Warning or Error box, with the tick stopped while it is open.
    void ShowBox(MessageKind kind, const std::string& text);

private:
    using Handler = void (UploadMachine::*)();
    // One state's row: what each notification does, and whether a time-out there only needs the
    // poll that answers it (the states that wait for a poll answer carry on by themselves).
    struct Row {
        Handler askDone;
        Handler setDone;
        Handler uploadDone;
        Handler resume;
        bool waitsForPoll;
    };
    static const Row kRows[12];

    // One transfer: `pieces` pieces of `pieceSize` bytes from image offset `start`, each asked for
    // by its sector number and its byte offset in that sector, then "Upload flag" = 3.
    struct Transfer {
        UploadRequest request;
        UploadState requested; // the first of its four states
        uint32_t start;
        uint32_t pieceSize;
        int16_t pieces;
    };
    enum Step : int32_t { Requested = 0, SectorWritten = 1, OffsetWritten = 2, UnderWay = 3 };

    // The handlers of the table.
    void Nothing() {}
    void Poll();
    void AskForDriverText();
    void WaitForInstrument(RequestFailure failure);
    void ReceiveDriverText();
    void AskForConfigBlock();
    void ReceiveConfigBlock();
    void ReadIdentity();
    void ReceiveIdentity();
    void WriteFirstSector();
    void WriteSector() { Send(SectorWritten); }
    void WriteOffset() { Send(OffsetWritten); }
    void WriteUploadFlag() { Send(UnderWay); }
    void ReceivePiece();
    void ResumeIfLost();
    // Asks for the bulk transfer of the current step: "Upload flag" (current) = what.
    void AskForRun(unsigned int what);
    // A bulk transfer came spoiled: asked for again, or given up past kSpoiledAttemptsPerStep.
    void RetrySpoiledRun();
    // The re-ask after a time-out or a spoiled transfer: a poll, or the identity read again.
    void AskAgain();
    // A new step: its time-outs and spoiled transfers are counted afresh.
    void NewStep();
    // What a request given up after its time-outs failed of.
    RequestFailure SilenceFailure() const {
        return m_spoiledTimeouts > 0 ? RequestFailure::SpoiledReplies : RequestFailure::NoAnswer;
    }

    void Begin(const Transfer& transfer);
    void Send(Step step);
    int16_t& PiecesDone();
    uint32_t PieceOffset() { return m_transfer.start + PiecesDone() * m_transfer.pieceSize; }
    void ReturnToIdle();
    void EndRequest(UploadRequest request, bool ok, bool tell, const std::string& text);
    void GiveUp(RequestFailure failure);
    void Abandon();
    void FinishStartUp();
    void Fail(RequestFailure failure) { m_lastFailure = failure; }
    bool MakeCurrent(const char* name) { return m_comms.FindTest(name) != 0; }
    UploadRequest CurrentRequest() const;
    const Row& CurrentRow() const { return kRows[static_cast<int>(m_state)]; }

    UploadComms& m_comms;
    ReaderEvents& m_events;
    LogImage& m_image;
    ReportState& m_report;
    UploadOwner& m_owner;

    UploadState m_state = UploadState::DriverText;
    Transfer m_transfer{};
    int16_t m_indexSectorCount = 0;
    int16_t m_sessionPieceCount = 0;
    int16_t m_currentSlot = 0;
    bool m_startUpComplete = false;
    int m_failures = 0;          // time-outs at the current step
    bool m_resume = false;       // the next poll answer re-sends the step a time-out lost
    bool m_runAsked = false;     // a bulk transfer was asked for and has not ended
    bool m_spoiled = false;      // a frame of the bulk transfer under way failed its checksum
    int m_spoiledAttempts = 0;   // attempts at the current step that came spoiled
    bool m_spoiledHeard = false; // a frame failed its checksum since the last time-out
    int m_spoiledTimeouts = 0;   // time-outs in the current request that a spoiled reply cost
    RequestFailure m_lastFailure = RequestFailure::None;
    InstrumentFacts m_facts;
    int m_identityTest = 0; // the entry of the identity reads under way or next
    bool m_waiting = false; // the view was told that the start-up waits for the instrument

    // The driver text and the configuration block, with the zero after them.
    uint8_t m_infoBuffer[kInfoBufferSize + 1] = {};
    int32_t m_infoLength = 0;
    // An index sector or session piece arrives here first, with the zero that ends every upload;
    // only the data go on into the image, so the zero never lands on the next sector's first byte.
    uint8_t m_receiveBuffer[LogImage::kSectorSize + 1] = {};
};
