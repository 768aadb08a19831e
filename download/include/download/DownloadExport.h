#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "export/ExportFormat.h"

class SessionByteSource;
struct ReportState;

// Where the export of `format` beside the report `reportPath` goes.
std::string ExportPath(const std::string& reportPath, ExportFormat format);

// Beside a report file, the same sessions in each asked format: "DIR/2026-12-07.rtf" gives
// "DIR/2026-12-07.csv" and so on, each written under a temporary name and renamed, with the
// report's mode names and filter, naming `instrument` (InstrumentCalled, in the local 8-bit code;
// empty names none). Returns false when a file could not be written (the reason is printed).
// `write` puts one file's bytes at its path; without one, WriteOutput does.
using FileWriter = std::function<bool(const std::string& path, const std::string& data)>;
bool WriteSessionExports(const std::string& reportPath, const std::vector<int16_t>& sessionSlots,
                         SessionByteSource& source, const ReportState& report,
                         const std::vector<ExportFormat>& formats,
                         const std::string& instrument = std::string(),
                         const FileWriter& write = nullptr);
