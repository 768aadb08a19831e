#pragma once

#include <cstdint>
#include <string>

struct InstrumentFacts;

// The requests the download core carries out; each one's end is told.
enum class UploadRequest {
    StartUp, // the instrument's driver text, configuration block and identity
    Index,   // the ten index sectors
    Session, // one session's data sector (or its copy kept in the archive)
};

// Why the last request failed.
enum class RequestFailure {
    None,
    NoAnswer,       // the instrument fell silent
    SpoiledReplies, // its replies kept failing their checksum
    LinkLost,       // the link closed under the request
    MissingTest,    // the driver text lacks a test the request needs
    NotInDump,      // the browsed dump never received the session
    MemoryMismatch, // the session's bytes do not belong to its index entry
    DumpNotWritten, // the index came, its dump could not be written
};

// Where the bytes of a session read came from.
enum class SessionOrigin {
    Instrument, // uploaded just now
    Archive,    // the archive's complete copy, read back instead of uploading it again
};

// What a message to the user is about.
enum class MessageKind {
    Status,  // what the program is doing, for a status line; no box, the tick goes on
    Warning, // a box captioned "Warning": the report holds logs this version cannot decode
    Error,   // a box captioned "Tavon Datalogger": a request failed or a file was not written
};

// The caption of the box that shows a message of `kind` ("Warning" or "Tavon Datalogger").
const char* MessageCaption(MessageKind kind);

// What the download core tells the front end that asked it: whether it may ask now, how a
// transfer progresses, the messages for the user, and what was read. All calls come on the
// thread that drives the core, never from inside the call that asked.
class ReaderEvents {
public:
    virtual ~ReaderEvents() = default;

    // The start-up uploads begin (a link was opened): front ends show their state afresh.
    virtual void StartingUp() {}

    // Whether a new index, or a session, may be asked for now (not while a request runs).
    virtual void IndexRequestsAllowed(bool allowed) = 0;
    virtual void SessionRequestsAllowed(bool allowed) = 0;
    // The progress of a request's transfer: its range, then its position (0 when it has ended).
    virtual void SetProgressRange(UploadRequest request, int low, int high) = 0;
    virtual void SetProgressPos(UploadRequest request, int pos) = 0;
    // A Warning or an Error is a box with OK that returns when the user has closed it, bracketed
    // by SuspendTick / ResumeTick; a Status returns at once.
    virtual void ShowMessage(MessageKind kind, const std::string& text) = 0;
    virtual void SuspendTick() = 0;
    virtual void ResumeTick() = 0;

    // The start-up uploads went through: the instrument has told who it is (its facts are the
    // reader's Facts()). Told before its RequestEnded.
    virtual void InstrumentConnected(const InstrumentFacts& facts) { (void)facts; }
    // A request failed, and why; told before its RequestEnded.
    virtual void RequestFailed(UploadRequest request, RequestFailure reason) {
        (void)request;
        (void)reason;
    }
    // The link closed or failed (companion program gone, port pulled out, read error); a
    // request under way has ended, failed, before this.
    virtual void LinkClosed() {}

    // The ten index sectors are in the image and the core's session table is built from them;
    // `dumped` is false when the dump could not be written (the user has been told).
    virtual void IndexRead(bool dumped) { (void)dumped; }
    // The slot's sector is in the image and belongs to its index entry.
    virtual void SessionRead(int16_t slot, SessionOrigin origin) {
        (void)slot;
        (void)origin;
    }
    // A request has ended, successfully or not (the core's LastFailure says why).
    virtual void RequestEnded(UploadRequest request, bool ok) {
        (void)request;
        (void)ok;
    }
};
