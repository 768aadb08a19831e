#include "testsupport/FlashDump.h"

#include "testsupport/Files.h"

#include <cstdio>
#include <cstring>

namespace testsupport {

std::string FlashDumpText(const uint8_t* bytes, size_t size, const char* lineEnd) {
    std::string text;
    text.reserve(size * 3 + (size / 16 + 1) * std::strlen(lineEnd));
    char field[4];
    for (size_t i = 0; i < size; ++i) {
        std::snprintf(field, sizeof field, "%02X ", bytes[i]);
        text += field;
        if (i % 16 == 15)
            text += lineEnd;
    }
    return text;
}

bool WriteFlashDump(const std::string& path, const std::vector<uint8_t>& bytes) {
    return WriteFile(path, FlashDumpText(bytes));
}

} // namespace testsupport
