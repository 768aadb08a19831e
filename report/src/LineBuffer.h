#pragma once

#include <cstddef>
#include <cstdint>

// Writes value right-aligned in at least `width` characters, exactly as "%*d" would, and returns
// the number of characters written (at most max(width, 11)); no terminator.
int WriteInt(char* out, int value, int width);

// The text of one record, built in a fixed 1,000-character buffer (terminator included). Every
// append is cut at the buffer's end, so no record format can overrun it. A cut ends the line: it
// never leaves half a control word at the end, and nothing is appended after it.
class LineBuffer {
public:
    static constexpr size_t kCapacity = 1000;

    void Clear() {
        m_length = 0;
        m_closed = false;
        m_text[0] = '\0';
    }
    const char* Text() const { return m_text; }
    size_t Length() const { return m_length; }
    // Characters that can still be appended; none once an append has been cut.
    size_t Room() const { return m_closed ? 0 : kCapacity - 1 - m_length; }

    void Append(const char* text);
    void Append(const char* text, size_t count);
    void AppendChar(char c);
    // printf-style append of integers and texts.
    void AppendFormat(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // An integer right-aligned in at least `width` characters, as printf's "%*d" writes it.
    void AppendInt(int value, int width);
    // value / 10 and value % 10 as printf's "%*d.%01d" writes them (truncating divisions).
    void AppendTenths(int value, int width);
    // One value through "%3.1f" in the C locale, whatever the process locale says.
    void AppendFloat(const char* format, double value);
    // The literal passed through strftime as a whole on the given calendar time, so "%X" is the
    // time of day and "%%" a single "%".
    void AppendTime(const char* literal, int64_t time);

private:
    // Where a control word (or lone backslash) left open at the end of the text starts, or the
    // length when there is none.
    size_t OpenControlWordStart() const;
    // After a cut: takes back an open control word and closes the line to further appends.
    void CloseAfterCut();

    char m_text[kCapacity] = {};
    size_t m_length = 0;
    bool m_closed = false;
};
