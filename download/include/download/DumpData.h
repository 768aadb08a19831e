#pragma once

#include <cstdint>
#include <string>
#include <vector>

class LogImage;
class SessionTable;

// The memory image and the session table of this run (one of each, as in the program).
LogImage& Image();
SessionTable& Sessions();

// Loads a FlashData.txt dump into the image and builds the session table from its index. On
// failure prints the loader's message and returns false; the image is then untouched.
bool LoadDumpAndSessions(const char* path);

// Whether the dump holds every session of `sessionSlots`. A slot whose data the dump never
// received would come out as an empty report, chart or export that looks like a session without
// records: each such slot is named on standard error, with the command that shows it from the
// archive where the archive holds it (`archiveCommand` and its id: "archive render 57").
bool DumpHoldsSessions(const std::vector<int16_t>& sessionSlots, const std::string& archiveCommand);
