#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace sim {

// The --log file: every command line received and every frame sent, one per line, with the
// seconds since the log was opened. Without a file every call does nothing.
class SimLog {
public:
    SimLog() = default;
    ~SimLog();
    SimLog(const SimLog&) = delete;
    SimLog& operator=(const SimLog&) = delete;

    bool Open(const char* path);
    bool IsOpen() const { return m_file != nullptr; }

    void Received(const uint8_t* data, size_t length, const char* note);
    void Sent(const uint8_t* data, size_t length, const char* note);
    void Note(const char* text);

    // Writes bytes readably: printable ASCII as is, "\r", "\n", "\\" and "\xHH" otherwise.
    // Returns the characters written to out (bounded by outSize, terminated).
    static size_t Escape(const uint8_t* data, size_t length, char* out, size_t outSize);

private:
    void Line(char direction, const uint8_t* data, size_t length, const char* note);

    std::FILE* m_file = nullptr;
    std::chrono::steady_clock::time_point m_start;
};

} // namespace sim
