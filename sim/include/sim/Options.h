#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>

#include "sim/Faults.h"

// What the command line of tavon-instrument asks for.
struct SimOptions {
    QString pipeName = QStringLiteral("RAK Pipe");
    bool pty = false;
    int instruments = 1; // --pty N: that many pseudo-terminals, each its own instrument
    uint64_t seed = 1;
    QString serial; // empty: each instrument's serial number comes from its seed
    char uploadFlagLetter = 'B';
    int interfaceVersion = 11;
    bool withUnknownRecords = false;
    int newSessions = 0;
    QString imagePath;
    QString dumpPath;
    long baud = 0;
    sim::FaultPlan faults;
    QString logPath;
};

constexpr int kMostInstruments = 16;
constexpr int kMostNewSessions = 200;

enum class OptionsResult { Run, Exit, Error };

// Parses the arguments (program name first). Error: message holds the reason. Exit: --help or
// --version printed.
OptionsResult ParseSimOptions(const QStringList& arguments, SimOptions& options, QString& message);

// What sets one instrument of a run apart from the others (index from 0; one unless --pty N).
struct SimInstrumentSetup {
    uint64_t seed = 1;        // the given seed plus the index
    std::string serialNumber; // --serial TEXT (TEXT-1, TEXT-2, ... for several), else from the seed
    QString logPath;          // --log FILE (FILE-1.log, FILE-2.log, ... for several), else empty
};
SimInstrumentSetup InstrumentSetup(const SimOptions& options, int index);
