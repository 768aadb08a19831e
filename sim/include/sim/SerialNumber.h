#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace sim {

// The "Serial number" test holds this many characters; a shorter number is padded with blanks.
constexpr size_t kSerialNumberLength = 16;

// The serial number of the instrument a seed makes: "TAV-" and eleven digits for seeds below
// 100,000,000,000 (a fixed shuffle of the seed, so neighbouring seeds do not read alike), the
// seed's sixteen hexadecimal digits above that. Different seeds never share one.
std::string SerialNumberForSeed(uint64_t seed);

// A serial number the instrument can hold: 1 to kSerialNumberLength printable ASCII characters.
bool FitsSerialNumber(const std::string& text);

} // namespace sim
