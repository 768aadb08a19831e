#pragma once

#include <cstddef>
#include <cstdint>

class LineBuffer;
class LogRecordView;

// Texts that come from the instrument (job numbers, user names, free text, initials, mode codes
// and mode names) may hold any byte. A backslash or brace would be taken for RTF syntax and could
// unbalance the whole saved report, so those three are written as "\\", "\{" and "\}"; every
// other byte is copied as it is.
void AppendEscapedChar(LineBuffer& line, char c);
void AppendEscaped(LineBuffer& line, const char* text, size_t count);

// The record's text field at offset..offset+maxCount-1, ending early at the first NUL byte.
void AppendRecordText(LineBuffer& line, const LogRecordView& record, int32_t offset,
                      int32_t maxCount);
