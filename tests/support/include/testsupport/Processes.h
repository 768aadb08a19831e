#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace testsupport {

// The build's programs run as children, as from a shell, each with a time limit so that a hung
// program fails its test instead of hanging it.

// Where the programs are: TAVON_BIN_DIR, or beside the running test when started by hand.
std::string BinDir();

struct RunResult {
    int status = -1; // exit status; -1 when killed by a signal, timed out or not started
    std::string out;
    std::string err;
};

// Runs BinDir()/program with args in workDir (stdin from /dev/null) and collects stdout and
// stderr. environment holds NAME=value entries put in (or replaced in) the child's environment.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& workDir, int timeoutSeconds = 180,
                     const std::vector<std::string>& environment = {});

// Starts BinDir()/program with args in workDir and waits up to 30 s for the first line it prints
// (the simulator's "ready:" line). Returns the child's id, or -1 with an empty line.
pid_t StartProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::string& workDir, std::string& firstLine);
// Ends a child started by StartProgram (SIGTERM, then SIGKILL) and reaps it.
void StopProgram(pid_t pid);

} // namespace testsupport
