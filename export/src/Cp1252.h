#pragma once

#include <QString>

#include <string>

// An instrument text (Windows-1252 bytes) as Unicode. The five bytes the code page leaves
// undefined keep their own code points, as web browsers decode them, so no byte is lost.
QString FromCp1252(const std::string& bytes);
