#pragma once

// Host-side helpers for the simulator tests, written from the wire format directly so that they
// check the instrument's code rather than share it.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace simtest {

inline std::string Checksummed(const std::string& body) {
    unsigned sum = 0;
    for (size_t i = 3; i < body.size(); ++i)
        sum += static_cast<uint8_t>(body[i]);
    char cs[8];
    std::snprintf(cs, sizeof cs, "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
    return body + cs;
}

// "   <len><letter>  HH HH ... " plus checksum and CR LF.
inline std::string CommandLine(char letter, const std::vector<int>& fields) {
    std::string body = "   ?";
    body += letter;
    body += "  ";
    for (int f : fields) {
        char field[8];
        std::snprintf(field, sizeof field, "%02X ", f);
        body += field;
    }
    body[3] = static_cast<char>(60 + body.size());
    return Checksummed(body);
}

inline std::string TextWriteLine(int test, int offset, const std::string& text) {
    char head[32];
    std::snprintf(head, sizeof head, "   %cS  %02x %02x ", static_cast<char>(73 + text.size()),
                  test, offset);
    return Checksummed(std::string(head) + text);
}

inline std::string TextChunkLine(int test, int offset, const char four[4]) {
    char line[64];
    std::snprintf(line, sizeof line, "   UW  %02x %02x %02x %02x %02x %02x\r\n", test, offset,
                  static_cast<uint8_t>(four[0]), static_cast<uint8_t>(four[1]),
                  static_cast<uint8_t>(four[2]), static_cast<uint8_t>(four[3]));
    return line;
}

struct Frame {
    char kind = 0;
    std::string payload;
    bool checksumOk = false;
};

// Splits received bytes into frames the way a host does: skip to 'Y', length from the next byte,
// CR LF at the end. Bytes that form no frame are counted in noise.
inline std::vector<Frame> SplitFrames(const std::vector<uint8_t>& bytes, size_t* noise = nullptr) {
    std::vector<Frame> frames;
    size_t skipped = 0;
    size_t i = 0;
    while (i < bytes.size()) {
        if (bytes[i] != 'Y' || i + 1 >= bytes.size()) {
            ++skipped;
            ++i;
            continue;
        }
        const int l = bytes[i + 1] - 64;
        if (l < 6 || l > 50 || i + static_cast<size_t>(l) + 2 > bytes.size() ||
            bytes[i + l] != '\r' || bytes[i + l + 1] != '\n') {
            ++skipped;
            ++i;
            continue;
        }
        Frame f;
        f.kind = static_cast<char>(bytes[i + 2]);
        f.payload.assign(bytes.begin() + static_cast<long>(i) + 3,
                         bytes.begin() + static_cast<long>(i) + l - 3);
        unsigned sum = 0;
        for (int k = 0; k <= l - 3; ++k)
            sum += bytes[i + static_cast<size_t>(k)];
        unsigned cs = 0;
        std::sscanf(reinterpret_cast<const char*>(&bytes[i + l - 2]), "%2X", &cs);
        f.checksumOk = ((sum + cs) & 0xFF) == 0;
        frames.push_back(f);
        i += static_cast<size_t>(l) + 2;
    }
    if (noise != nullptr)
        *noise = skipped;
    return frames;
}

} // namespace simtest
