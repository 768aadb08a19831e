#pragma once

#include <QString>

#include <cstdint>
#include <vector>

class QWidget;
class SessionByteSource;
struct LogFilter;
struct ReportState;
struct SessionValues;

// File > Export...: the sessions of the report on screen as CSV, GeoJSON or GPX, the format
// chosen by the file type.
class ReportExport {
public:
    // The save dialog, one file type per format, offering `suggested` (a name without suffix);
    // the chosen type's suffix is added to a name without one. Empty when cancelled.
    static QString AskPath(QWidget* parent, const QString& suggested = QString());

    // Writes the sessionSlots' sessions, with the report's mode names and filter, through a
    // temporary file. Returns an empty text, or what went wrong for the user.
    static QString Write(const QString& path, const std::vector<int16_t>& sessionSlots,
                         SessionByteSource& source, const ReportState& report);
    // The same from sessions already decoded (the archive's), with the filter given.
    static QString WriteValues(const QString& path, const std::vector<SessionValues>& sessions,
                               const LogFilter& filter);
};
