#pragma once

#include <string>
#include <vector>

// Writes `data` byte for byte to standard output (empty path) or to the file `path`. A regular
// file is written under a temporary name and renamed, so that a failure never leaves a partial
// file in its place. Returns an exit status and prints the reason on failure.
int WriteOutput(const std::string& path, const std::string& data);

// True when path names a regular file or nothing yet: a file that can be replaced by a rename.
bool IsRegularOrMissing(const std::string& path);

// Makes dir and every missing folder above it; false with a message when that is not possible.
// `made`, when given, receives the folders it made, outermost first.
bool MakeFolders(const std::string& dir, std::string& message,
                 std::vector<std::string>* made = nullptr);
// Removes the folders MakeFolders made (of one run or several), as long as they are empty: a run
// that wrote nothing leaves nothing behind.
void RemoveEmptyFolders(const std::vector<std::string>& made);

// A folder name from what an instrument, a job or a user is called: letters, digits, '-', '_'
// and '.' stay, anything else becomes '_'; never empty, never hidden.
std::string FolderName(const std::string& name);
