#include "session/ConfigBlock.h"

namespace {

constexpr int kModeNameOffset = 308;
constexpr int kModeNameStride = 70;

// The instrument writes the accented letters of its mode names as '[' and ']'; in the report's
// code page they are 0xE9 and 0xEA.
char DisplayByte(uint8_t byte) {
    if (byte == '[') {
        return static_cast<char>(0xE9);
    }
    if (byte == ']') {
        return static_cast<char>(0xEA);
    }
    return static_cast<char>(byte);
}

} // namespace

bool ReadModeNames(const uint8_t* block, int length, std::string names[4]) {
    if (block == nullptr || length < 1 || block[0] != 8) {
        return false;
    }
    for (int k = 0; k < 4; ++k) {
        std::string name;
        for (int at = kModeNameOffset + kModeNameStride * k; at < length && block[at] != 0; ++at) {
            name.push_back(DisplayByte(block[at]));
        }
        names[k] = name;
    }
    return true;
}
