#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "export/ExportFormat.h"

class SessionByteSource;
struct ReportState;

// Beside a report file, the same sessions in each asked format: "DIR/2026-12-07.rtf" gives
// "DIR/2026-12-07.csv" and so on, each written under a temporary name and renamed, with the
// report's mode names and filter. Returns false when a file could not be written (the reason is
// printed).
bool WriteSessionExports(const std::string& reportPath, const std::vector<int16_t>& sessionSlots,
                         SessionByteSource& source, const ReportState& report,
                         const std::vector<ExportFormat>& formats);
