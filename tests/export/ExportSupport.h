#pragma once

// What the export tests share: sessions served from byte streams, and a CSV reader of their own.

#include "report/Report.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

namespace exporttest {

// Serves de-escaped streams by slot; bytes beyond a stream read as erased flash.
class Streams : public SessionByteSource {
public:
    std::map<int16_t, std::vector<uint8_t>> streams;
    void ReadSessionBytes(int16_t slot, uint8_t* out100, int16_t& readIndex) override;
};

// The records one after the other, as one stream.
std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts);

// An RFC 4180 reader: rows of fields, quotes doubled inside quoted fields, CRLF row ends.
std::vector<std::vector<std::string>> ReadCsv(const std::string& text);

// The index of the named column in the header row; a test failure when there is none.
size_t Column(const std::vector<std::string>& header, const std::string& name);

} // namespace exporttest
