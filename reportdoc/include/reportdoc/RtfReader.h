#pragma once

#include <string>

class QTextDocument;

// Reads the small RTF vocabulary that the session report uses into a QTextDocument:
// groups, \par, \cfN, \highlightN, \fN, \fsN, the colour and font tables, \'hh and the escaped
// \\ \{ \}. Everything else is skipped. Text bytes are Windows-1252 and are shown as Unicode.
// Malformed input (unbalanced braces, truncated escapes, huge numbers) never stops the reading.
void ReadRtfIntoDocument(const std::string& rtf, QTextDocument& document);
