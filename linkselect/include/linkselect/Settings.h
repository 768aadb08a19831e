#pragma once

#include <string>
#include <utility>
#include <vector>

// "Settings.ini" in the working directory: one setting per line, key "=" value.
// Plain C++ so that the program and the command-line tool share this one implementation.

// The value of the first line that starts with key immediately followed by "="; empty when the
// file or the key is absent. A carriage return before the line feed is not part of the value.
std::string ReadSetting(const std::string& key);

// Sets every line of key to value (adding one line before the first "[section]", or at the end,
// when there is none), keeps all other lines
// in their places and ends every line with CR LF. The file is rewritten through "Settings.tmp" and
// replaced in one step; false when that was not possible, and then "Settings.ini" is left exactly
// as it was.
bool WriteSetting(const std::string& key, const std::string& value);

// Sets keys of one "[section]" of the file: each key's line in that section is replaced (a second
// line of the key there is dropped), an empty value removes it, and the keys not there yet are
// added at the section's end; a section not there yet is added at the end of the file. Every
// other line keeps its place. Written as WriteSetting writes, with the same guarantees.
bool WriteSectionSettings(const std::string& section,
                          const std::vector<std::pair<std::string, std::string>>& values);

// The same for the settings file at `path` (its temporary file: the same name ending in ".tmp").
bool WriteSectionSettingsIn(const std::string& path, const std::string& section,
                            const std::vector<std::pair<std::string, std::string>>& values);

// The whole settings file at `path`, each line ended by a line feed; empty when it is absent.
std::string ReadSettingsText(const std::string& path);
