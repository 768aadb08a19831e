#pragma once

#include <cstdint>

// Reads one hexadecimal number as scanf's "%x" does: blanks skipped, an optional sign and "0x",
// digits to the first non-digit. Leaves value alone and returns false when no digit follows.
// Long numbers wrap modulo 2^32 instead of overflowing.
inline bool ScanHex(const char*& p, uint32_t& value) {
    const char* q = p;
    while (*q == ' ' || (*q >= '\t' && *q <= '\r'))
        ++q;
    bool negative = false;
    if (*q == '+' || *q == '-') {
        negative = *q == '-';
        ++q;
    }
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    if (q[0] == '0' && (q[1] == 'x' || q[1] == 'X') && digit(q[2]) >= 0)
        q += 2;
    if (digit(*q) < 0)
        return false;
    uint32_t v = 0;
    for (int d; (d = digit(*q)) >= 0; ++q)
        v = v * 16u + static_cast<uint32_t>(d);
    value = negative ? 0u - v : v;
    p = q;
    return true;
}

// Up to count numbers in a row; those that cannot be read stay 0. Returns how many were read.
inline int ScanHexList(const char* text, uint32_t* values, int count) {
    for (int i = 0; i < count; ++i)
        values[i] = 0;
    const char* p = text;
    int read = 0;
    while (read < count && ScanHex(p, values[read]))
        ++read;
    return read;
}
