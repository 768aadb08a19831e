#pragma once

#include <QString>
#include <string>

// A name or a text given on the command line (an instrument's name, a sign-off's meaning, a job
// number or user searched for), read as every command reads one. Its bytes must be text in the
// system's encoding (UTF-8 on Linux; on Windows the ANSI code page, and no character of what was
// typed may be one that code page lacks, which arrives as '?'), and it must be one line
// (archive::IsOneLineText). Bytes that are no text are refused rather than read with
// replacement characters: two names that differ only there would become one.
//
// False with why, as the message goes on after what the argument is ("--instrument "): "is not
// UTF-8 text: ...", "holds a line break (\n): it must be one line of text". Paths are no names:
// they are not read so.
bool ReadTextArgument(const std::string& bytes, QString& text, std::string& why);
