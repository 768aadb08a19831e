#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// Child processes for the end-to-end tests: the programs run as they would from a shell, with a
// time limit so that a hung program fails the test instead of hanging it.

// Where the programs are: TAVON_BIN_DIR, or beside this test when run by hand.
std::string BinDir();

struct RunResult {
    int status = -1; // exit status; -1 when killed or not started
    std::string out;
    std::string err;
};

// Runs BinDir()/program with args in workDir; stdout and stderr are collected.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& workDir, int timeoutSeconds = 180);

// Starts BinDir()/program with args in workDir and waits for the first line it prints (the
// simulator's ready line). Returns the child's id, or -1 with an empty line.
pid_t StartProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::string& workDir, std::string& firstLine);
// Ends a child started by StartProgram (SIGTERM, then SIGKILL) and reaps it.
void StopProgram(pid_t pid);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);
bool FileExists(const std::string& path);
// The names in a folder, sorted; "." and ".." left out.
std::vector<std::string> ListFolder(const std::string& dir);
// A new empty folder under TMPDIR (or /tmp).
std::string MakeTempFolder(const std::string& stem);
void RemoveTree(const std::string& dir);
