#pragma once

#include <QString>
#include <QVector>

namespace archive {

// A row of the archive's history (ArchiveHistory.h says what the history is for), as the writers
// append it with their change and every reader of the chain takes it.

enum class ChangeKind {
    Started,  // the history began: the sessions already archived then
    Import,   // a dump imported
    Download, // a session downloaded
    Replace,  // an open session's copy replaced by its grown one
    Rename,   // an instrument renamed
    Interval, // a service interval changed
    Index,    // an index upload kept
    Identity, // what an instrument reported of itself changed (its mode names, its firmware)
    Sync,     // sessions, instruments or history taken from another archive, or given to one
    SignOff,  // a user signed off sessions ("reviewed", "approved")
    Signer,   // a personal key bound to its printed name, just before its first sign-off
};

// "started", "import", "download", "replace", "rename", "interval", "index", "instrument",
// "sync", "sign-off", "signer".
QString ChangeKindName(ChangeKind kind);

// What a history row says of the bytes it names of a session. Rows written before rows said it
// name their sessions unstated, and are checked as they were then.
enum class SessionState {
    Unstated,
    Open,     // the instrument may still add to it: later bytes may only grow it
    Finished, // its bytes are fixed from this row on
    Copy,     // a copy kept beside the session (replaced, or conflicting), not its bytes now
};

// "open", "finished", "copy"; empty for Unstated.
QString SessionStateName(SessionState state);

// A session a history row names, with the SHA-256 (hex) of its stored bytes at that time, and the
// identity of the instrument it belongs to (instruments.uid; empty in rows written before rows
// named it).
struct HistorySession {
    qint64 id = 0;
    QString sha256;
    SessionState state = SessionState::Unstated;
    QString instrument;
};

struct HistoryRow {
    qint64 seq = 0; // 1, 2, 3, ... without gaps
    qint64 at = 0;  // milliseconds since 1970, UTC
    QString user;
    QString host;
    QString kind; // a ChangeKindName
    QString detail;
    QVector<HistorySession> sessions;
    // Index uploads by their id, with the SHA-256 of their bytes.
    QVector<HistorySession> indexUploads;
    QString previous; // the hash of the row before (empty for the first)
    QString hash;     // this row's own, over all of the above
    // Its writer's public key (64 hex digits) and Ed25519 signature of `hash` (128); both empty
    // in rows written before rows were signed.
    QString signer;
    QString signature;
};

} // namespace archive
