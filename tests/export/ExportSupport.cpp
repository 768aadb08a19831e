#include "ExportSupport.h"

#include <gtest/gtest.h>

namespace exporttest {

void Streams::ReadSessionBytes(int16_t slot, uint8_t* out100, int16_t& readIndex) {
    const std::vector<uint8_t>& stream = streams[slot];
    for (int i = 0; i < 100; ++i) {
        const size_t index = static_cast<uint16_t>(readIndex);
        readIndex = static_cast<int16_t>(readIndex + 1);
        out100[i] = index < stream.size() ? stream[index] : 0xFF;
    }
}

std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

std::vector<std::vector<std::string>> ReadCsv(const std::string& text) {
    std::vector<std::vector<std::string>> rows(1);
    std::string field;
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            rows.back().push_back(field);
            field.clear();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            rows.back().push_back(field);
            field.clear();
            rows.emplace_back();
            ++i;
        } else {
            field += c;
        }
    }
    EXPECT_TRUE(rows.back().empty() && field.empty()) << "the last row ends in CRLF";
    rows.pop_back();
    return rows;
}

size_t Column(const std::vector<std::string>& header, const std::string& name) {
    for (size_t i = 0; i < header.size(); ++i) {
        if (header[i] == name) {
            return i;
        }
    }
    ADD_FAILURE() << "no column " << name;
    return 0;
}

} // namespace exporttest
