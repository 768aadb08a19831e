#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The watcher's record of the files it wrote, one small file in each folder it writes into
// (".tavon-written"): each file's name, the SHA-256 of the bytes it was given, the instrument and
// the sessions (slots) it holds. A folder carries its own record wherever it is moved or
// copied, and the watcher needs no archive to keep it.

struct WrittenEntry {
    std::string name;       // the file's name in its folder
    std::string sha256;     // hex, of the bytes as written
    std::string instrument; // what the watcher called the instrument
    std::vector<int16_t> sessionSlots;
};

// The record's file name in each folder.
extern const char kWrittenRecordName[];

// The SHA-256 (hex) of a file's bytes; false when it cannot be read.
bool FileSha256(const std::string& path, std::string& hex);

// The entry of `name` in `folder`'s record; false when there is none (no record, a line that
// does not read as one).
bool FindWritten(const std::string& folder, const std::string& name, WrittenEntry& entry);

// Puts `entry` in `folder`'s record in place of the one of its name, the others kept; written
// under a temporary name and renamed. False when it could not be written.
bool RecordWritten(const std::string& folder, const WrittenEntry& entry);

// Whether the file at `path` may be replaced by new bytes for `instrument`'s sessions
// `sessionSlots`: only when the watcher wrote it (its record says so), nobody changed it since (its
// bytes still have the recorded hash), and the new file holds every session it held, of the same
// instrument. Otherwise `why` says which of these failed.
bool MayReplace(const std::string& path, const std::string& instrument,
                const std::vector<int16_t>& sessionSlots, std::string& why);

// Puts the file `from` in place of `to` in one step, replacing a file there; false when it could
// not, and then `to` is as it was.
bool RenameOver(const std::string& from, const std::string& to);
