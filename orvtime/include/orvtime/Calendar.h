#pragma once

#include <cstdint>

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar; no time zone involved.
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day);

struct CivilDate {
    int64_t year;
    unsigned month; // 1 to 12
    unsigned day;   // 1 to 31
};
// The date a count of days from 1970-01-01 falls on: the inverse of DaysFromCivil.
CivilDate CivilFromDays(int64_t days);
