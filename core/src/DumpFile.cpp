// The diagnostic hex dump of the whole image ("FlashData.txt") and its reading back.
#include "core/LogImage.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr uint32_t kBytesPerLine = 16;
constexpr uint32_t kLineText = kBytesPerLine * 3; // "XX " sixteen times
constexpr uint32_t kDumpLineSize = kLineText + 2; // and CR LF on every platform

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// One line without its line end: sixteen groups of two hexadecimal digits and a blank.
bool ParseLine(const char* text, uint32_t length, uint8_t* out16) {
    if (length != kLineText) {
        return false;
    }
    for (uint32_t i = 0; i < kBytesPerLine; ++i) {
        const int high = HexValue(text[i * 3]);
        const int low = HexValue(text[i * 3 + 1]);
        if (high < 0 || low < 0 || text[i * 3 + 2] != ' ') {
            return false;
        }
        out16[i] = static_cast<uint8_t>(high * 16 + low);
    }
    return true;
}

std::string LineMessage(const char* path, uint32_t line, const char* what) {
    return std::string(path) + ": line " + std::to_string(line) + ": " + what;
}

} // namespace

int LogImage::DumpImage(const char* path) const {
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        return 0;
    }
    // 1,024 lines per write keeps the 6.5 MB of text out of memory and the writes few.
    static constexpr uint32_t kLinesPerBlock = 1024;
    static char block[kLinesPerBlock * kDumpLineSize];
    bool ok = true;
    for (uint32_t first = 0; ok && first < kDumpLines; first += kLinesPerBlock) {
        char* out = block;
        for (uint32_t line = first; line < first + kLinesPerBlock; ++line) {
            const uint8_t* row = m_bytes + line * kBytesPerLine;
            for (uint32_t i = 0; i < kBytesPerLine; ++i) {
                *out++ = kHexDigits[row[i] >> 4];
                *out++ = kHexDigits[row[i] & 0x0F];
                *out++ = ' ';
            }
            *out++ = '\r';
            *out++ = '\n';
        }
        const size_t size = static_cast<size_t>(out - block);
        ok = std::fwrite(block, 1, size, file) == size;
    }
    if (std::fclose(file) != 0) {
        ok = false;
    }
    if (!ok) {
        // A half-written dump would pass for a memory full of zeros; leave none behind.
        std::remove(path);
        return 0;
    }
    return 1;
}

int LogImage::LoadDump(const char* path, std::string& message) {
    message.clear();
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        message = std::string(path) + ": cannot open: " + std::strerror(errno);
        return 0;
    }
    // Parse into a scratch copy so that a file that turns out bad halfway leaves the image as it
    // was.
    std::unique_ptr<uint8_t[]> scratch(new uint8_t[kImageSize]);

    char chunk[16384];
    char line[kLineText + 1];
    uint32_t lineLength = 0; // characters seen on the current line, also past the buffer
    uint32_t lineNumber = 1; // 1-based number of the line being read
    bool bad = false;
    bool readError = false;

    auto finishLine = [&]() -> bool {
        // Called at each line end; returns false when the line is bad.
        uint32_t length = lineLength;
        if (length > 0 && length <= sizeof line && line[length - 1] == '\r') {
            --length;
        }
        if (lineNumber > kDumpLines) {
            message = LineMessage(path, lineNumber, "unexpected; a dump has 131072 lines");
            return false;
        }
        if (length > kLineText ||
            !ParseLine(line, length, scratch.get() + (lineNumber - 1) * kBytesPerLine)) {
            message = LineMessage(path, lineNumber,
                                  "expected 16 hexadecimal bytes, each followed by a blank");
            return false;
        }
        ++lineNumber;
        lineLength = 0;
        return true;
    };

    while (!bad) {
        const size_t n = std::fread(chunk, 1, sizeof chunk, file);
        if (n == 0) {
            readError = std::ferror(file) != 0;
            break;
        }
        for (size_t i = 0; i < n && !bad; ++i) {
            const char c = chunk[i];
            if (c == '\n') {
                bad = !finishLine();
            } else {
                if (lineLength < sizeof line) {
                    line[lineLength] = c;
                }
                if (lineLength < UINT32_MAX) {
                    ++lineLength;
                }
            }
        }
    }
    std::fclose(file);
    if (bad) {
        return 0;
    }
    if (readError) {
        message = std::string(path) + ": cannot read the file";
        return 0;
    }
    // The last line may lack its line end.
    if (lineLength > 0 && !finishLine()) {
        return 0;
    }
    if (lineNumber <= kDumpLines) {
        message = LineMessage(path, lineNumber, "missing; a dump has 131072 lines");
        return 0;
    }
    std::memcpy(m_bytes, scratch.get(), kImageSize);
    m_windowValid = 0;
    return 1;
}
