#include "sim/SimLog.h"

namespace sim {

SimLog::~SimLog() {
    if (m_file != nullptr)
        std::fclose(m_file);
}

bool SimLog::Open(const char* path) {
    if (m_file != nullptr)
        std::fclose(m_file);
    m_file = std::fopen(path, "w");
    m_start = std::chrono::steady_clock::now();
    return m_file != nullptr;
}

size_t SimLog::Escape(const uint8_t* data, size_t length, char* out, size_t outSize) {
    if (outSize == 0)
        return 0;
    size_t n = 0;
    for (size_t i = 0; i < length; ++i) {
        char piece[8];
        const uint8_t c = data[i];
        int len;
        if (c == '\r')
            len = std::snprintf(piece, sizeof piece, "\\r");
        else if (c == '\n')
            len = std::snprintf(piece, sizeof piece, "\\n");
        else if (c == '\\')
            len = std::snprintf(piece, sizeof piece, "\\\\");
        else if (c >= 0x20 && c < 0x7F)
            len = std::snprintf(piece, sizeof piece, "%c", c);
        else
            len = std::snprintf(piece, sizeof piece, "\\x%02X", c);
        if (n + static_cast<size_t>(len) + 1 > outSize)
            break;
        for (int k = 0; k < len; ++k)
            out[n++] = piece[k];
    }
    out[n] = 0;
    return n;
}

void SimLog::Line(char direction, const uint8_t* data, size_t length, const char* note) {
    if (m_file == nullptr)
        return;
    const double t =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    char text[1024];
    Escape(data, length, text, sizeof text);
    std::fprintf(m_file, "%10.3f %c %s%s%s\n", t, direction, text, note && *note ? "  # " : "",
                 note ? note : "");
    std::fflush(m_file);
}

void SimLog::Received(const uint8_t* data, size_t length, const char* note) {
    Line('<', data, length, note);
}

void SimLog::Sent(const uint8_t* data, size_t length, const char* note) {
    Line('>', data, length, note);
}

void SimLog::Note(const char* text) {
    Line('!', nullptr, 0, text);
}

} // namespace sim
