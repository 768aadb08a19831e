#pragma once

#include <QString>

#include <string>

// Texts of the report and of the instrument are Windows-1252 byte strings; Qt shows Unicode.

// Windows-1252 byte to Unicode code point; the five unassigned bytes map to themselves (as web
// browsers decode them), so no byte is lost.
char32_t Cp1252ToUnicode(unsigned char byte);
QString FromCp1252(const std::string& bytes);
