#include "CommandFormat.h"

#include <cstring>

namespace {

const char UpperDigits[] = "0123456789ABCDEF";
const char LowerDigits[] = "0123456789abcdef";

int PutHex(char* out, unsigned int value, const char* digits) {
    out[0] = digits[(value >> 4) & 0xf];
    out[1] = digits[value & 0xf];
    return 2;
}

} // namespace

int FormatFieldBody(char* out, int room, char command, const unsigned int* fields, int count) {
    const int length = 7 + 3 * count;
    if (count < 0 || length + 1 > room)
        return 0;
    int n = 0;
    out[n++] = ' ';
    out[n++] = ' ';
    out[n++] = ' ';
    out[n++] = static_cast<char>(60 + length);
    out[n++] = command;
    out[n++] = ' ';
    out[n++] = ' ';
    for (int i = 0; i < count; ++i) {
        n += PutHex(out + n, fields[i], UpperDigits);
        out[n++] = ' ';
    }
    out[n] = '\0';
    return n;
}

int FormatTextWrite(char* out, int room, unsigned int test, unsigned int offset, const char* text,
                    int length) {
    if (length < 0 || 13 + length + 1 > room)
        return 0;
    int n = 0;
    out[n++] = ' ';
    out[n++] = ' ';
    out[n++] = ' ';
    out[n++] = static_cast<char>(73 + length);
    out[n++] = 'S';
    out[n++] = ' ';
    out[n++] = ' ';
    n += PutHex(out + n, test, LowerDigits);
    out[n++] = ' ';
    n += PutHex(out + n, offset, LowerDigits);
    out[n++] = ' ';
    std::memcpy(out + n, text, static_cast<size_t>(length));
    n += length;
    out[n] = '\0';
    return n;
}

int FormatTextChunk(char* out, int room, unsigned int test, unsigned int offset,
                    const uint8_t characters[4]) {
    const char head[] = "   UW  ";
    const int length = 7 + 6 * 3 - 1 + 2;
    if (length + 1 > room)
        return 0;
    int n = 0;
    std::memcpy(out, head, 7);
    n = 7;
    const unsigned int fields[6] = {test,          offset,        characters[0],
                                    characters[1], characters[2], characters[3]};
    for (int i = 0; i < 6; ++i) {
        if (i > 0)
            out[n++] = ' ';
        n += PutHex(out + n, fields[i], LowerDigits);
    }
    out[n++] = '\r';
    out[n++] = '\n';
    out[n] = '\0';
    return n;
}

uint8_t BodyChecksum(const char* body, int length) {
    unsigned int sum = 0;
    for (int i = 3; i < length; ++i)
        sum += static_cast<uint8_t>(body[i]);
    return static_cast<uint8_t>(0x100 - (sum & 0xff));
}

int FormatChecksumLine(char* out, uint8_t checksum) {
    PutHex(out, checksum, UpperDigits);
    out[2] = '\r';
    out[3] = '\n';
    return 4;
}
