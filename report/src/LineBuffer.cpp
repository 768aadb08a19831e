#include "LineBuffer.h"

#include "orvtime/TimeFormat.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <locale.h>
#include <string>

void LineBuffer::Append(const char* text) {
    Append(text, std::strlen(text));
}

void LineBuffer::Append(const char* text, size_t count) {
    const size_t room = Room();
    const bool cut = count > room;
    if (cut) {
        count = room;
    }
    std::memcpy(m_text + m_length, text, count);
    m_length += count;
    m_text[m_length] = '\0';
    if (cut) {
        CloseAfterCut();
    }
}

namespace {

// Letters and digits of a control word and its parameter, in ASCII whatever the process locale.
bool IsControlWordChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

} // namespace

size_t LineBuffer::OpenControlWordStart() const {
    // A backslash starts a control word only when it is not itself escaped, that is when an odd
    // run of backslashes stands before the letters.
    size_t word = m_length;
    while (word > 0 && IsControlWordChar(m_text[word - 1])) {
        --word;
    }
    size_t backslashes = 0;
    while (backslashes < word && m_text[word - 1 - backslashes] == '\\') {
        ++backslashes;
    }
    return backslashes % 2 == 1 ? word - 1 : m_length;
}

void LineBuffer::CloseAfterCut() {
    // The next record's text follows this one directly: a control word left without its
    // delimiter, or a lone backslash, would take that text into itself ("\{" would open a group
    // that never closes).
    const size_t open = OpenControlWordStart();
    if (open < m_length) {
        m_length = open;
        // A control word before the one taken back was delimited by its backslash; a blank keeps
        // it delimited (there is room: at least the backslash went).
        if (OpenControlWordStart() < m_length) {
            m_text[m_length++] = ' ';
        }
        m_text[m_length] = '\0';
    }
    m_closed = true;
}

void LineBuffer::AppendChar(char c) {
    if (Room() > 0) {
        m_text[m_length++] = c;
        m_text[m_length] = '\0';
        return;
    }
    Append(&c, 1); // a cut: closes the line
}

void LineBuffer::AppendFormat(const char* format, ...) {
    if (m_closed) {
        return;
    }
    const size_t room = kCapacity - m_length;
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(m_text + m_length, room, format, args);
    va_end(args);
    if (written < 0) {
        m_text[m_length] = '\0';
        return;
    }
    if (static_cast<size_t>(written) < room) {
        m_length += static_cast<size_t>(written);
        return;
    }
    m_length += room - 1;
    m_text[m_length] = '\0';
    CloseAfterCut();
}

int WriteInt(char* out, int value, int width) {
    // Digits from the end; the magnitude as unsigned so that INT_MIN has one.
    char digits[12];
    int count = 0;
    unsigned magnitude =
        value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) {
        digits[count++] = '-';
    }
    int written = 0;
    for (int pad = width - count; pad > 0; --pad) {
        out[written++] = ' ';
    }
    while (count > 0) {
        out[written++] = digits[--count];
    }
    return written;
}

void LineBuffer::AppendInt(int value, int width) {
    char text[32];
    const int written = WriteInt(text, value, width < 20 ? width : 20);
    Append(text, static_cast<size_t>(written));
}

void LineBuffer::AppendTenths(int value, int width) {
    char text[48];
    int written = WriteInt(text, value / 10, width < 20 ? width : 20);
    text[written++] = '.';
    written += WriteInt(text + written, value % 10, 1);
    Append(text, static_cast<size_t>(written));
}

void LineBuffer::AppendFloat(const char* format, double value) {
    char text[64];
#ifdef _WIN32
    static const _locale_t cLocale = _create_locale(LC_ALL, "C");
    const int written = _snprintf_l(text, sizeof text, format, cLocale, value);
#else
    // The decimal point of snprintf follows the thread's locale; switch this thread to the C
    // locale for the one call.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    const locale_t previous = uselocale(cLocale);
    const int written = std::snprintf(text, sizeof text, format, value);
    uselocale(previous);
#endif
    if (written > 0) {
        Append(text, static_cast<size_t>(written) < sizeof text ? static_cast<size_t>(written)
                                                                : sizeof text - 1);
    }
}

void LineBuffer::AppendTime(const char* literal, int64_t time) {
    const std::string text = FormatTime(time, literal);
    Append(text.data(), text.size());
}
