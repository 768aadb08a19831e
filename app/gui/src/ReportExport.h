#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

class QWidget;
class SessionBrowser;
class SessionReader;
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

    // Writes the sessionSlots' sessions, with the report's mode names and filter, naming
    // `instrument` (empty: none), through a temporary file. Returns an empty text, or what went
    // wrong for the user.
    static QString Write(const QString& path, const std::vector<int16_t>& sessionSlots,
                         SessionByteSource& source, const ReportState& report,
                         const QString& instrument = QString());

    // What the exports and the PDF call the instrument the shown sessions came from: the
    // connected instrument (InstrumentCalled: its serial number, else `archiveName`, the name the
    // archive gives it) while the tree is its own; empty for a dump or an instrument connected
    // before.
    static QString ShownInstrument(const SessionBrowser& browser, const SessionReader& reader,
                                   const QString& archiveName);
    // The same from sessions already decoded (the archive's), with the filter given, naming
    // each session's instrument (as ExportSessions).
    static QString WriteValues(const QString& path, const std::vector<SessionValues>& sessions,
                               const LogFilter& filter,
                               const QStringList& instruments = QStringList());
};
