#pragma once

#include <QString>

namespace archive {

// The texts a user gives the archive to keep or to search by (a sign-off's meaning, an
// instrument's name, a job number or user searched for) are one line each: every view prints a
// kept text on the line of its row, so a text holding a line break could pass for rows of its
// own. A one-line text holds no control character: none of C0 (U+0000 to U+001F, the tab and
// the line breaks among them), DEL (U+007F), C1 (U+0080 to U+009F) and the line and paragraph
// separators U+2028 and U+2029. Every front end asks this before it writes or searches.
bool IsOneLineText(const QString& text);

// Why `text` is not one line, as a message goes on after what the text was ("--meaning ", "the
// new name "): "holds a line break (\n): it must be one line of text", "holds the control
// character \x1b: ..."; empty for a text that is one line.
QString OneLineProblem(const QString& text);

// A kept text as a view prints it on one line, so that nothing written into the database
// behind the program's back can look like a row of its own: a backslash is shown doubled (\\),
// a line feed, carriage return and tab as \n, \r and \t, any other character IsOneLineText
// refuses as \xHH (two lower-case hex digits: C0, DEL, C1) or \u{HHHH} (U+2028, U+2029). Every
// other character is shown as it is; a text IsOneLineText takes changes only in its backslashes.
QString OneLine(const QString& text);

} // namespace archive
