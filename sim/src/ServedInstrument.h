#pragma once

#include <QString>
#include <memory>
#include <string>

#include "LinkPump.h"
#include "sim/Instrument.h"
#include "sim/LogMemory.h"
#include "sim/Options.h"
#include "sim/SimLog.h"

class PipeServer;
class PtyServer;

// The memory an instrument of this run holds: the --image dump, else the generated one of its
// seed. False with the reason when it cannot be set up.
bool SetUpMemory(const SimOptions& options, uint64_t seed, sim::LogMemory& memory,
                 std::string& error);

// One simulated instrument of the program: its memory, its log, its conversation and the pipe
// or pseudo-terminal it is served on.
class ServedInstrument {
public:
    ServedInstrument(const SimOptions& options, const SimInstrumentSetup& setup);
    ~ServedInstrument();
    ServedInstrument(const ServedInstrument&) = delete;
    ServedInstrument& operator=(const ServedInstrument&) = delete;

    // Sets up the memory and the log and starts serving; false with the reason.
    bool Start(QString& error);
    // "ready: pipe PATH" or "ready: pty DEVICE", once started.
    QString ReadyLine() const { return m_ready; }
    // Notes the ready line in the instrument's log.
    void NoteReady();

private:
    const SimOptions& m_options;
    SimInstrumentSetup m_setup;
    std::unique_ptr<sim::LogMemory> m_memory; // 2 MB: not on the stack
    sim::SimLog m_log;
    LinkPump m_pump;
    std::unique_ptr<sim::Instrument> m_instrument;
    // Served last, gone first: the servers hold the instrument and the pump.
    std::unique_ptr<PipeServer> m_pipe;
#ifndef _WIN32
    std::unique_ptr<PtyServer> m_pty;
#endif
    QString m_ready;
};
