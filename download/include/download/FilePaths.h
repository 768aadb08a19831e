#pragma once

#include <string>

// The path texts the download and the watcher build their files from. Both '/' and '\' end a
// folder, as either may reach us on Windows.
std::string FolderOfPath(const std::string& path); // "." when it names no folder
std::string NameOfPath(const std::string& path);
// A temporary name beside `path` that is this process's own, so that two downloads into one
// folder never write through each other's files.
std::string PartNameOf(const std::string& path);
int ProcessId();
