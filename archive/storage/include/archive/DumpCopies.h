#pragma once

#include <QString>
#include <cstdint>
#include <map>

class LogImage;

namespace archive {

class SessionArchive;

// The archive's copies of the sessions a dump's index names that were never uploaded into it
// (the program writes its dump as the index arrives, before any session is read).
struct DumpCopies {
    qint64 instrument = -1;             // the dump's instrument; -1 when the archive cannot tell
    QString name;                       // what the archive calls it
    std::map<int16_t, qint64> sessions; // slot: the id of the archived session of that start
};

// Finds them. A dump names no instrument: it is the one archived instrument that holds sessions
// the dump holds (the same slot, start and bytes), or, for a dump that holds none the archive
// knows, the one whose sessions start in the same slots at the same stamps as its index's. Where
// two instruments answer, the archive cannot tell, and nothing is found. Undated sessions carry
// no start and are never found. False on a database error (the archive's Error()).
bool FindDumpCopies(SessionArchive& store, LogImage& image, DumpCopies& copies);

// Puts an archived copy into a dump's image, in place of the slot's sector it lacks. The bytes
// the copy's stream ran on past its sector are left out: in the dump they would fall on the next
// slot's sector, which the dump may lack too and would then seem to hold.
void PutCopyIntoDump(LogImage& image, int16_t slot, const QByteArray& sector);

} // namespace archive
