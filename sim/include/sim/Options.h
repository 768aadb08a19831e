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
    uint64_t seed = 1;
    char uploadFlagLetter = 'B';
    int interfaceVersion = 11;
    bool withUnknownRecords = false;
    QString imagePath;
    QString dumpPath;
    long baud = 0;
    sim::FaultPlan faults;
    QString logPath;
};

enum class OptionsResult { Run, Exit, Error };

// Parses the arguments (program name first). Error: message holds the reason. Exit: --help or
// --version printed.
OptionsResult ParseSimOptions(const QStringList& arguments, SimOptions& options, QString& message);
