#pragma once

#include <QString>
#include <vector>

#include "archive/SessionCapture.h"

namespace archive {

class SessionArchive;

// A dump to import that names no instrument: its file and the sessions it holds.
struct DumpToFile {
    QString file;
    const std::vector<CapturedSession>* sessions = nullptr;
};

// Which instrument a dump's sessions go to.
struct DumpFiling {
    // The archived instrument that holds sessions of the dump; -1: a new one.
    qint64 instrument = -1;
    // A new one: the earlier dump of the same import whose new instrument it shares sessions
    // with, and so goes to; -1: one of its own.
    int joins = -1;
    // The archived instrument's name; for a new one of its own, the name asked for it (its
    // file's), which the archive makes unique.
    QString name;
    // The dump's sessions that instrument holds, or that the dumps before it filed there hold.
    size_t shared = 0;
};

enum class FilingResult { Filed, Refused, Failed };

// Decides, dump by dump in the order given, where each goes: to the instrument that holds any of
// its sessions (the same slot, start and bytes: SessionArchive::InstrumentsHolding), that
// instrument being archived already or the one an earlier dump of the same import goes to; else
// to a new instrument named after its file. Never two instruments under one: a dump whose
// sessions two instruments hold is Refused, `error` naming them; the caller then stores nothing of
// any dump. Failed: the archive could not be read (`error`).
FilingResult FileDumps(SessionArchive& archive, const std::vector<DumpToFile>& dumps,
                       std::vector<DumpFiling>& filings, QString& error);

// Where every dump of an import given --instrument WORD goes: the archived instrument the word
// names (its name, serial number or fingerprint; the first of them), `filing.name` what the
// archive calls it; else (`filing.instrument` -1) a new one, to be called WORD. False with `error`
// when the archive could not be read.
bool FileUnder(SessionArchive& archive, const QString& word, DumpFiling& filing, QString& error);

// Where a dump went, as its line says it, with or without --instrument: ": filed under the new
// instrument \"FlashData-van7\"" for the one it made, else ": filed under \"unit 7\"", with ",
// whose 12 sessions it shares" where that instrument (or a dump before it) holds `shared` of its
// sessions.
QString FiledWords(const QString& name, bool made, size_t shared);

// The name a dump's new instrument asks for: its file's name without the folder and the last
// extension ("FlashData-van7" for /data/FlashData-van7.txt), control characters made '_'.
QString DumpInstrumentName(const QString& file);

} // namespace archive
