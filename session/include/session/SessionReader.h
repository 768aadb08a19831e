#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/DownloadKeeper.h"
#include "core/InstrumentFacts.h"
#include "core/LogImage.h"
#include "core/SessionTable.h"
#include "session/ReaderEvents.h"
#include "session/UploadComms.h"
#include "session/UploadMachine.h"

struct ReportState;

// The download core's plain side: what the caller wants of one instrument, carried out by the
// upload machine. Ask it to read the index, then to read sessions (a list of slots, in order); it
// answers with ReaderEvents. A session the archive holds complete is read back from there instead
// of being uploaded; what arrives from the instrument is kept there. Every ask made while a
// request runs waits for it to end, the latest ask winning. No tree, no boxes, no report: the
// front ends decide what to ask for and what to show.
//
// Holds the 110 KB session table: give it static or heap storage.
class SessionReader : private UploadOwner, private ReaderEvents {
public:
    static const char* const kMismatchText;

    // The image and the report state (which receives the instrument's mode names) outlive it.
    SessionReader(UploadComms& comms, LogImage& image, ReportState& report);
    ~SessionReader() override;

    // Where the events go; null: nowhere.
    void SetEvents(ReaderEvents* events) { m_events = events; }

    // Start-up: the built-in driver text, "Upload flag" current, state 0 and the first poll. The
    // caller has attached the test list to the comms object beforehand.
    void Start();

    // The communications notifications. A reply that failed its checksum was dropped by the
    // engine: a bulk transfer it belonged to is asked for again when it ends, anything else is
    // recovered by the time-out that follows. A refusal answers only the identity reads.
    void OnChecksumError() { m_machine.OnChecksumError(); }
    void OnTimeout() { m_machine.OnTimeout(); }
    void OnAskDone() { m_machine.OnAskDone(); }
    void OnSetDone() { m_machine.OnSetDone(); }
    void OnUploadDone() { m_machine.OnUploadDone(); }
    void OnRefused() { m_machine.OnRefused(); }
    // The link has closed: a request under way ends at once, failed (LinkLost), and every later
    // ask of a session that must be uploaded fails at once too, until the next Start.
    void OnLinkLost();

    // Reads the index (IndexRead, then RequestEnded). An ask while the index is already on its
    // way is dropped.
    void ReadIndex();
    // Reads these sessions, in order: each one's SessionRead and RequestEnded before the next is
    // asked for. Replaces the sessions of an earlier ask not yet begun; a session under way when
    // this is asked is completed and kept, but not told as read.
    void ReadSessions(const std::vector<int16_t>& slots);
    // Forgets whatever was asked and has not begun.
    void Stop();

    // Shows a box for the user, with the ticks held while it is open.
    void ShowBox(MessageKind kind, const std::string& text) { m_machine.ShowBox(kind, text); }

    // Where the index's dump is written ("FlashData.txt" in the working directory by default).
    void SetDumpPath(const std::string& path) { m_dumpPath = path; }
    // Makes the archive's keeper for each index read from the instrument (null: nothing kept).
    using KeeperMaker = std::function<std::unique_ptr<DownloadKeeper>()>;
    void SetKeeperMaker(KeeperMaker make) { m_makeKeeper = std::move(make); }
    // The keeper of the last index, while it has not failed; null without one.
    DownloadKeeper* Keeper() const;
    // Whether the archive holds the slot's session complete (it is then read back from there).
    bool Held(int16_t slot) const;
    // Ends the keeping: nothing more is kept until the next index. False when the archive could
    // not keep everything (the reason has been told).
    bool StopKeeping();

    // The image now holds a loaded dump: the table is built from it, and the next index from an
    // instrument replaces its sessions.
    void TakeDumpImage();
    // Whether the image's sector of `slot` belongs to the slot's index entry (a slot the table
    // does not list counts as matching).
    bool SessionMatchesIndex(int16_t slot) const;

    // Idle: polling, with no request running or waiting.
    bool Idle() const { return m_machine.Idle() && !Asked(); }
    bool MachineIdle() const { return m_machine.Idle(); }
    bool RequestRunning() const { return m_machine.RequestRunning(); }
    bool StartUpComplete() const { return m_machine.StartUpComplete(); }
    int32_t UploadState() const { return static_cast<int32_t>(m_machine.State()); }
    int16_t IndexSectorCount() const { return m_machine.IndexSectorCount(); }
    int16_t SessionPieceCount() const { return m_machine.SessionPieceCount(); }
    const uint8_t* InfoBuffer() const { return m_machine.InfoBuffer(); }
    int32_t InfoLength() const { return m_machine.InfoLength(); }
    // The session being read or last read.
    int16_t CurrentSlot() const { return m_currentSlot; }
    // What the instrument told about itself at the last start-up.
    const InstrumentFacts& Facts() const { return m_machine.Facts(); }
    // Why the last request that ended failed (None when it went through).
    RequestFailure LastFailure() const { return m_lastFailure; }
    // The session table of the last index (or of the loaded dump).
    const SessionTable& Table() const { return m_table; }

private:
    bool Asked() const { return m_indexAsked || !m_slots.empty(); }
    // Begins what was asked while the machine was busy, once it is idle; `fresh`: asked just
    // now, when a link gone or a start-up never completed answer at once.
    void BeginAsked(bool fresh);
    // A session the archive holds complete, read back into the image and told as read.
    bool ReadKept(int16_t slot);
    void KeepIndex();

    // UploadOwner
    bool IndexArrived(std::string& failure) override;
    bool SessionArrived(int16_t slot) override;
    void RequestEnded(UploadRequest request, bool ok) override;
    bool DropPending() override;

    // ReaderEvents: the machine's, passed on.
    void IndexRequestsAllowed(bool allowed) override;
    void SessionRequestsAllowed(bool allowed) override;
    void SetProgressRange(UploadRequest request, int low, int high) override;
    void SetProgressPos(UploadRequest request, int pos) override;
    void ShowMessage(MessageKind kind, const std::string& text) override;
    void SuspendTick() override;
    void ResumeTick() override;

    ReaderEvents* m_events = nullptr;
    LogImage& m_image;
    ReportState& m_report;
    UploadMachine m_machine;
    SessionTable m_table;
    int16_t m_currentSlot = 0;
    RequestFailure m_lastFailure = RequestFailure::None;

    bool m_indexAsked = false;
    std::vector<int16_t> m_slots; // asked, not begun, in order
    bool m_superseded = false;    // asked anew while the session under way was on its way
    bool m_beginning = false;     // BeginAsked is running: an ask from an event waits for it
    // Set when the link went away, until the next Start: nothing would carry a request then, so
    // one is refused at once instead of waiting for ticks that never come.
    bool m_linkGone = false;
    // The instrument whose sessions the image's data sectors hold, or a dump's.
    InstrumentFacts m_imageFacts;
    bool m_imageFromDump = false;
    std::string m_dumpPath = "FlashData.txt";

    KeeperMaker m_makeKeeper;
    std::unique_ptr<DownloadKeeper> m_keeper;
};
