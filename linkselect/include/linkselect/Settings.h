#pragma once

#include <string>

// "Settings.ini" in the working directory: lines of key=value.
// The value of the first line that starts with key followed by "="; empty when absent.
std::string ReadSetting(const std::string& key);
// Sets every line of key to value, keeping all other lines; false when the file could not be
// rewritten (the old file is then left as it was).
bool WriteSetting(const std::string& key, const std::string& value);
