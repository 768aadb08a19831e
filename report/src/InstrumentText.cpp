#include "InstrumentText.h"

#include "LineBuffer.h"
#include "SessionLog.h"

void AppendEscapedChar(LineBuffer& line, char c) {
    if (c == '\\' || c == '{' || c == '}') {
        // One append, so that a cut takes back the lone backslash rather than leave it to
        // escape whatever follows.
        const char escaped[2] = {'\\', c};
        line.Append(escaped, 2);
        return;
    }
    line.AppendChar(c);
}

void AppendEscaped(LineBuffer& line, const char* text, size_t count) {
    for (size_t i = 0; i < count && text[i] != '\0'; ++i) {
        AppendEscapedChar(line, text[i]);
    }
}

void AppendRecordText(LineBuffer& line, const LogRecordView& record, int32_t offset,
                      int32_t maxCount) {
    for (int32_t i = 0; i < maxCount; ++i) {
        const char c = static_cast<char>(record.Byte(offset + i));
        if (c == '\0') {
            break;
        }
        AppendEscapedChar(line, c);
    }
}
