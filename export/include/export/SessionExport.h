#pragma once

// Sessions as files for spreadsheets and maps: CSV, GeoJSON and GPX, written from the typed
// record values of the report library (report/SessionValues.h).
//
//     std::vector<SessionValues> sessions = {DecodeSessionValues(image, 12, modes)};
//     QByteArray csv = ExportSessions(sessions, ExportFormat::Csv, LogFilter());
//
// CSV (RFC 4180, UTF-8 without byte-order mark, CRLF line ends): a header row, then one row per
// record in stream order: time (ISO 8601, the instrument's wall clock as the report shows it),
// session slot, the instrument (only where some session names one), kind, mode, one column per
// sensor reading met, the five extra readings of a timed reading where one has them ("extra
// reading 1" ...), "over range" naming the readings that were (where one was; their own cells
// stay empty), four columns per sensor of a
// calibration, zero, bump test or field calibration, latitude, longitude (decimal degrees,
// WGS 84, south and west negative) and fix quality when the record has a position, and a detail
// text. A text cell that a spreadsheet would take for a formula is written with a leading
// apostrophe.
//
// A sensor reading's column is named by its gas and unit, and where an instrument has several
// sensors of one gas and unit, by its count among them: "CO (ppm)", "CO (ppm) 2", in the
// instrument's order. The tested sensors are numbered as every view numbers them (SensorOrder,
// report/SensorNames.h: their place in the order the file's test records list them), each with
// four columns that it keeps on every row: "sensor 1 gas" (with the unit of its values where the
// record states their scale, "CO (ppm)"; the gas alone where it does not, "LEL" in a calibration
// or field calibration without results), "sensor 1 result" (PASS, FAIL, Not Tested, or empty
// where the record carries no result), "sensor 1 value" and "sensor 1 second value" (the two
// numbers as the record holds them; a bump test has one; none for a sensor not tested),
// "sensor 2 gas", ... Every row has every column; cells a record has no value for are empty (a
// record that leaves a sensor out leaves its four).
//
// GeoJSON (RFC 7946): a FeatureCollection with one Point per record that has a position; records
// without one are left out, never placed at 0,0. Properties: time, utc, session, instrument (where
// known), kind, mode, fix quality, detail, one per sensor reading, named as the CSV columns ("CO
// (ppm) 2": 30; null when over range), and "over range" where a reading was.
//
// GPX 1.1: one waypoint per record with a position and one track per session through its survey
// positions in time order, one segment per unbroken piece of it (map/SurveyRecord.h's
// TrackPieces: broken where the instrument was off or a fix was lost); times in UTC, converted from
// the instrument's wall clock by this computer's time-zone rules; the instrument, where known, as
// each waypoint's and track's src. A waypoint's readings stand in its extensions, one element per
// sensor in the namespace urn:tavon-datalogging:gpx-readings:1, named as the CSV columns with
// underscores for blanks and brackets and "pct" for "%" (CO_ppm_2, LEL_pct_LEL); an over-range
// reading has none, and over_range names it.
//
// Instrument texts are converted from the instrument's code page, Windows-1252.

#include "export/ExportFormat.h"
#include "report/SessionValues.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <string>
#include <vector>

// The format named by a file name's suffix, in any case; false when it names none.
bool ExportFormatForPath(const QString& path, ExportFormat& format);

// The sessions' records that pass the filter, in the chosen format. `instruments` names the
// instrument of each session, in the same order (InstrumentCalled, core/InstrumentFacts.h); a
// session beyond its end, or with an empty name, names none (a dump's).
QByteArray ExportSessions(const std::vector<SessionValues>& sessions, ExportFormat format,
                          const LogFilter& filter, const QStringList& instruments = QStringList());
