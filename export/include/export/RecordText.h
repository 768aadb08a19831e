#pragma once

// The texts of a record that the exports and the program's views both quote, so that a map's
// read-out and an exported file never tell one record's time or readings differently.

#include "report/SessionValues.h"

#include <QString>

#include <cstdint>

// Whether the record has a time: a record before the session's first time stamp has none.
bool HasTime(const RecordValue& record);
// "2026-12-07T10:20:30": the instrument's wall clock as the report shows it; empty without a
// time.
QString WallClockText(const RecordValue& record);
// The same of a time as RecordValue::Time holds it.
QString WallClockText(int64_t time);
// "LEL 2.5 % LEL, CO over range, extra reading 1 56": the readings for a description.
QString ReadingsText(const RecordValue& record);
