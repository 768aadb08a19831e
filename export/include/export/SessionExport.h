#pragma once

// Sessions as files for spreadsheets and maps: CSV, GeoJSON and GPX, written from the typed
// record values of the report library (report/SessionValues.h).
//
//     std::vector<SessionValues> sessions = {DecodeSessionValues(image, 12, modes)};
//     QByteArray csv = ExportSessions(sessions, ExportFormat::Csv, LogFilter());
//
// CSV (RFC 4180, UTF-8 without byte-order mark, CRLF line ends): a header row, then one row per
// record in stream order: time (ISO 8601, the instrument's wall clock as the report shows it),
// session slot, kind, mode, one column per gas met ("CO (ppm)"), latitude, longitude (decimal
// degrees, WGS 84, south and west negative) and fix quality when the record has a position, and a
// detail text. A text cell that a spreadsheet would take for a formula is written with a leading
// apostrophe.
//
// GeoJSON (RFC 7946): a FeatureCollection with one Point per record that has a position; records
// without one are left out, never placed at 0,0. Properties: time, utc, session, kind, mode, fix
// quality, detail, and one per gas read ("CO (ppm)": 30).
//
// GPX 1.1: one waypoint per record with a position and one track per session through its survey
// positions in time order; times in UTC, converted from the instrument's wall clock by this
// computer's time-zone rules.
//
// Instrument texts are converted from the instrument's code page, Windows-1252.

#include "export/ExportFormat.h"
#include "report/SessionValues.h"

#include <QByteArray>
#include <QString>

#include <string>
#include <vector>

// The format named by a file name's suffix, in any case; false when it names none.
bool ExportFormatForPath(const QString& path, ExportFormat& format);

// The sessions' records that pass the filter, in the chosen format.
QByteArray ExportSessions(const std::vector<SessionValues>& sessions, ExportFormat format,
                          const LogFilter& filter);
