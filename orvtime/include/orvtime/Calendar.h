#pragma once

#include <cstdint>

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar; no time zone involved.
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day);
