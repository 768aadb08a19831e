#pragma once

#include <cstdint>
#include <string>

// The instrument's configuration block carries the names of its four operating modes. Returns
// true and fills `names` when the block's first byte is 8 (the only layout that holds them);
// otherwise leaves `names` as they were. `length` is the number of bytes received: a name that
// reaches it ends there, so bytes left from an earlier upload never become part of a name.
bool ReadModeNames(const uint8_t* block, int length, std::string names[4]);
