#pragma once

#include <string>
#include <utility>
#include <vector>

struct WatchOptions;

// What a watcher started with these options does, as the program's File > Download
// Automatically... shows it: one row per setting, its name and its value in words. Plain C++.
std::vector<std::pair<std::string, std::string>> DescribeWatchOptions(const WatchOptions& options);
