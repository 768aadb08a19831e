#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// The text of a log-memory dump (FlashData.txt), written here independently of the product's
// writer: sixteen "%02X " fields a line, each line ended by lineEnd.
std::string FlashDumpText(const uint8_t* bytes, size_t size, const char* lineEnd = "\r\n");
inline std::string FlashDumpText(const std::vector<uint8_t>& bytes, const char* lineEnd = "\r\n") {
    return FlashDumpText(bytes.data(), bytes.size(), lineEnd);
}

// Writes that text to path; false when it could not be written.
bool WriteFlashDump(const std::string& path, const std::vector<uint8_t>& bytes);

} // namespace testsupport
