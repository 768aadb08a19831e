#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// Marks harness code that only builds inputs or checks results: without coverage feedback from it
// the fuzzer spends its time and its corpus on the code under test, and runs faster.
#if defined(__clang__)
#define FUZZ_HARNESS __attribute__((no_sanitize("coverage")))
#else
#define FUZZ_HARNESS
#endif

// Takes a fuzz input apart front to back: small numbers, then runs of bytes. Past the end every
// read gives zeros, so one input format serves any length and seeds are easy to write by hand.
class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    bool Empty() const { return m_pos >= m_size; }
    size_t Left() const { return m_size - m_pos; }

    uint8_t Byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    uint16_t U16() {
        const uint16_t low = Byte();
        return static_cast<uint16_t>(low | (Byte() << 8));
    }
    uint32_t U32() {
        const uint32_t low = U16();
        return low | (static_cast<uint32_t>(U16()) << 16);
    }

    // Up to `wanted` bytes; `got` tells how many there were.
    const uint8_t* Take(size_t wanted, size_t& got) {
        got = wanted < Left() ? wanted : Left();
        const uint8_t* start = m_data + m_pos;
        m_pos += got;
        return start;
    }
    std::string Text(size_t wanted) {
        size_t got = 0;
        const uint8_t* start = Take(wanted, got);
        return std::string(reinterpret_cast<const char*>(start), got);
    }
    // Everything not read yet.
    std::string Rest() { return Text(Left()); }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// A broken promise of the module under test that is not a memory fault: stops the run with a
// message so that libFuzzer keeps the input as a crash.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)
