#include "ServedInstrument.h"

#include "PipeServer.h"
#ifndef _WIN32
#include "PtyServer.h"
#endif

bool SetUpMemory(const SimOptions& options, uint64_t seed, sim::LogMemory& memory,
                 std::string& error) {
    if (!options.imagePath.isEmpty())
        return memory.LoadDump(options.imagePath.toStdString(), error);
    sim::MemoryOptions memoryOptions;
    memoryOptions.seed = seed;
    memoryOptions.withUnknownRecords = options.withUnknownRecords;
    memoryOptions.newSessions = options.newSessions;
    if (memory.Generate(memoryOptions, &error))
        return true;
    error = "--new-sessions " + std::to_string(options.newSessions) + ": " + error;
    return false;
}

ServedInstrument::ServedInstrument(const SimOptions& options, const SimInstrumentSetup& setup)
    : m_options(options), m_setup(setup), m_memory(std::make_unique<sim::LogMemory>()),
      m_pump(options.baud) {}

// Out of line, where the servers are complete types.
ServedInstrument::~ServedInstrument() = default;

bool ServedInstrument::Start(QString& error) {
    std::string reason;
    if (!SetUpMemory(m_options, m_setup.seed, *m_memory, reason)) {
        error = QString::fromStdString(reason);
        return false;
    }
    if (!m_setup.logPath.isEmpty() && !m_log.Open(m_setup.logPath.toLocal8Bit().constData())) {
        error = "cannot write " + m_setup.logPath;
        return false;
    }
    sim::InstrumentOptions instrumentOptions;
    instrumentOptions.uploadFlagLetter = m_options.uploadFlagLetter;
    instrumentOptions.interfaceVersion = m_options.interfaceVersion;
    instrumentOptions.serialNumber = m_setup.serialNumber;
    m_instrument = std::make_unique<sim::Instrument>(
        instrumentOptions, m_memory->Bytes(), m_options.faults, m_setup.seed, m_pump, &m_log);
#ifndef _WIN32
    if (m_options.pty) {
        m_pty = std::make_unique<PtyServer>(*m_instrument, m_pump);
        if (!m_pty->Start(error))
            return false;
        m_ready = "ready: pty " + m_pty->PortPath();
        return true;
    }
#endif
    m_pipe = std::make_unique<PipeServer>(m_options.pipeName, *m_instrument, m_pump, m_log);
    QString why;
    if (!m_pipe->Start(why)) {
        error = "cannot serve \"" + m_options.pipeName + "\": " + why;
        return false;
    }
    m_ready = "ready: pipe " + m_pipe->FullName();
    return true;
}

void ServedInstrument::NoteReady() {
    m_log.Note(m_ready.toLocal8Bit().constData());
}
