#pragma once

#include <cstdint>
#include <string>

// Formats a seconds-since-1970 value as local time with strftime, always in the C locale, into at
// most 127 characters. An empty result, or a value that cannot be converted to local time, gives
// an empty string.
std::string FormatTime(int64_t time, const char* format);
