#pragma once

// The survey records of sessions (map/SurveyRecord.h) as text, CSV or JSON.
//
// Text: per session its figures, its instrument (and its register status at switch-on, where
// known), users and job numbers, and one line per indication; then, for several sessions, their
// totals.
//
// CSV (as the session exports: RFC 4180, UTF-8, CRLF): one row per indication, the session's
// figures repeated on each (session, instrument, users, job numbers, route_m, pieces,
// survey_records, fixes, coverage, surveyed_s, register_status (empty where unknown), then time,
// kind, latitude, longitude, gas, value); a session without indications has one row with those
// six empty.
//
// JSON: an array with one object per session, in the order given: session (the slot),
// instrument, register_status (the instrument's register status at switch-on: "ok", "due",
// "overdue", "failed", "no tests archived yet"; null where unknown), users, job_numbers, route_m
// (metres), pieces, survey_records, fixes, coverage (fixes / survey_records, 0 to 1; null without
// survey records), surveyed_s, first_survey and last_survey (null without a time-stamped survey
// record), and indications: objects with time, kind ("alarm", "barhole", "pipeline gas"), latitude
// and longitude (null where the record has no valid fix), gas and value.
//
// Times are the instrument's wall clock, ISO 8601 ("2026-07-14T09:30:04"); instrument texts are
// converted from its code page (Windows-1252); the instrument name is taken as UTF-8.

#include "map/SurveyRecord.h"

#include <QByteArray>

#include <vector>

enum class SurveyFormat { Text, Csv, Json };

// "text", "csv" or "json"; false for any other word.
bool ParseSurveyFormat(const std::string& word, SurveyFormat& format);

QByteArray WriteSurveys(const std::vector<SessionSurvey>& surveys, SurveyFormat format);
