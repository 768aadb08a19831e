#pragma once

class LogImage;
class SessionTable;

// The memory image and the session table of this run (one of each, as in the program).
LogImage& Image();
SessionTable& Sessions();

// Loads a FlashData.txt dump into the image and builds the session table from its index. On
// failure prints the loader's message and returns false; the image is then untouched.
bool LoadDumpAndSessions(const char* path);
