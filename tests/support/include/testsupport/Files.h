#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// The whole file as bytes; empty when it cannot be read.
std::string ReadFile(const std::string& path);
// Replaces the file with exactly these bytes; false when it could not be written.
bool WriteFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
// The names in a folder, sorted; "." and ".." left out.
std::vector<std::string> ListFolder(const std::string& dir);
// Removes a folder and everything in it; read-only folders are made writable first. Symbolic
// links are removed, never followed.
void RemoveTree(const std::string& dir);

} // namespace testsupport
