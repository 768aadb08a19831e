#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "sim/Faults.h"
#include "sim/InstrumentTests.h"
#include "sim/MemoryLayout.h"
#include "sim/OutputQueue.h"
#include "sim/SimLog.h"
#include "sim/Wire.h"

namespace sim {

// The instrument's side of the conversation: reads host command lines, answers them, and streams
// the driver text, the configuration block or an area of its log memory as bulk data frames.
class Instrument {
public:
    // memory: kMemorySize bytes, kept by the caller for the instrument's lifetime.
    Instrument(const InstrumentOptions& options, const uint8_t* memory, const FaultPlan& faults,
               uint64_t seed, ByteSink& sink, SimLog* log = nullptr);

    // Bytes from the host, in any split.
    void Receive(const uint8_t* data, size_t length);
    // A new host connected: half-received lines of the last one are forgotten. Values written
    // into tests and the fault streams carry on.
    void NewClient();

    const InstrumentTests& Tests() const { return m_tests; }
    InstrumentTests& Tests() { return m_tests; }
    unsigned long FramesSent() const { return m_framesSent; }
    unsigned long CommandsAccepted() const { return m_commands; }
    unsigned long LinesRejected() const { return m_rejected; }
    bool Stalled() const { return m_stalled; }

private:
    void HandleLine(const uint8_t* line, size_t length);
    void Execute(const HostCommand& cmd);
    void Read(const HostCommand& cmd, int index);
    void Write(const HostCommand& cmd, int index);
    void WriteText(const HostCommand& cmd, int index);
    void StartUpload(uint32_t what);
    void Stream(const uint8_t* data, size_t length);

    void Answer(const char* payload);
    void Refuse(const char* why);
    void SendFrame(uint8_t kind, const uint8_t* payload, size_t length, const char* note);
    // Numeric value as the host reads it back: hexadecimal numbers separated by blanks.
    void FormatValue(int index, int sensor, char* out, size_t outSize) const;
    // Sensor addressed by a per-sensor command, or -1.
    int SensorOf(int index, int address) const;

    InstrumentTests m_tests;
    int m_interfaceVersion;
    const uint8_t* m_memory;
    FaultPlan m_faults;
    ByteSink& m_sink;
    SimLog* m_log;
    LineAssembler m_lines;
    std::array<uint8_t, kConfigBlockSize> m_config;

    Dice m_checksumDice, m_dropDice, m_refuseDice, m_garbageDice;
    unsigned long m_framesSent = 0;
    unsigned long m_commands = 0;
    unsigned long m_rejected = 0;
    bool m_stalled = false;
};

} // namespace sim
