#pragma once

#include <QByteArray>
#include <cstdint>
#include <vector>

#include "archive/SessionSummary.h"

class LogImage;

namespace archive {

// One session as the archive keeps it: the raw bytes of its sector exactly as the instrument sent
// them, and what was true of it when it was seen.
struct CapturedSession {
    int16_t slot = 0;
    QByteArray name;    // the 19 characters of its index entry
    uint32_t stamp = 0; // start stamp; 0xFFFFFFFF for an undated session
    bool dated = false;
    bool alarm = false; // index tags
    bool calibration = false;
    // A dated session that ends with its switch-off, or that a newer session of the index
    // follows. Otherwise (and for undated ones) the instrument may still be adding to it, and a
    // later download uploads it again and compares its bytes.
    bool complete = false;
    QByteArray sector; // 4,096 bytes
    // Bytes past the sector that the stream's escapes made the decoder read, as the image held
    // them: needed to render the session again exactly as it was rendered then.
    QByteArray overrun;
    SessionSummary summary;
};

// The start stamp a session's index name gives: its first eight hexadecimal digits; 0xFFFFFFFF
// (undated) for a name that does not begin with eight of them, as the session tree leaves
// "FFFFFFFF" out. What a session is filed under, and what its hashed bytes say of it.
uint32_t StampOfName(const QByteArray& name);

// A session as the index alone names it, before its sector is uploaded.
struct IndexedSession {
    int16_t slot = 0;
    uint32_t stamp = 0;
    bool dated = false;
};
std::vector<IndexedSession> IndexedSessions(LogImage& image);

// The index of the image, 10 sectors as uploaded.
QByteArray IndexBytes(const LogImage& image);

// The sessions of the image's index in `chosen` (every slot whose entry holds a name when empty),
// in slot order. The image must hold the index and those sessions' sectors.
std::vector<CapturedSession> CaptureSessions(LogImage& image, const std::vector<int16_t>& chosen);

// Puts an archived session back into an image (index entry and sector, the overrun after it) so
// that the report and the session table read it as if it had just been uploaded.
void RestoreSession(LogImage& image, int16_t slot, const QByteArray& name, const QByteArray& sector,
                    const QByteArray& overrun);

} // namespace archive
