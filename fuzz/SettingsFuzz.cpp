// "Settings.ini" with arbitrary content, read and rewritten in a working directory of the run's
// own.
//
// Input: byte length of the key, the key, byte length of the value, the value, then the file.
#include "ByteReader.h"

#include "linkselect/Settings.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string g_workDir;

// The file's lines as the settings functions see them: split at LF, one CR before the LF (or
// before the end of the file) not part of the line, no empty line after a final LF.
FUZZ_HARNESS std::vector<std::string> Lines(const std::string& file) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < file.size()) {
        size_t end = file.find('\n', start);
        if (end == std::string::npos) {
            end = file.size();
        }
        std::string line = file.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

bool HasKey(const std::string& line, const std::string& key) {
    return line.size() > key.size() && line.compare(0, key.size(), key) == 0 &&
           line[key.size()] == '=';
}

FUZZ_HARNESS std::string ReadFile(const char* name) {
    std::string bytes;
    std::FILE* file = std::fopen(name, "rb");
    if (file == nullptr) {
        return bytes;
    }
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        bytes.append(chunk, n);
    }
    std::fclose(file);
    return bytes;
}

void WriteFile(const char* name, const std::string& bytes) {
    std::FILE* file = std::fopen(name, "wb");
    FUZZ_CHECK(file != nullptr);
    FUZZ_CHECK(std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size());
    FUZZ_CHECK(std::fclose(file) == 0);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The settings file always lives in the working directory: give the run one to itself.
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/settings-fuzz-XXXXXX";
    std::vector<char> path(pattern.begin(), pattern.end());
    path.push_back('\0');
    if (mkdtemp(path.data()) == nullptr || chdir(path.data()) != 0) {
        std::perror("settings fuzz: working directory");
        std::abort();
    }
    g_workDir = path.data();
    std::atexit([] {
        std::remove("Settings.ini");
        std::remove("Settings.tmp");
        if (chdir("/") == 0) {
            rmdir(g_workDir.c_str());
        }
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ByteReader in(data, size);
    const std::string key = in.Text(in.Byte());
    const std::string value = in.Text(in.Byte());
    const std::string file = in.Rest();

    std::remove("Settings.tmp");
    // Sometimes no file at all: reading gives nothing, writing makes one.
    const bool absent = file.size() == 1 && file[0] == '-';
    if (absent) {
        std::remove("Settings.ini");
    } else {
        WriteFile("Settings.ini", file);
    }
    const std::vector<std::string> before = absent ? std::vector<std::string>() : Lines(file);

    std::string expected;
    for (const std::string& line : before) {
        if (HasKey(line, key)) {
            expected = line.substr(key.size() + 1);
            break;
        }
    }
    FUZZ_CHECK(ReadSetting(key) == expected);

    FUZZ_CHECK(WriteSetting(key, value));
    FUZZ_CHECK(access("Settings.tmp", F_OK) != 0);
    const std::string after = ReadFile("Settings.ini");
    // Every line ends in CR LF.
    FUZZ_CHECK(after.size() >= 2 && after.compare(after.size() - 2, 2, "\r\n") == 0);

    if (key.find('\n') == std::string::npos && value.find('\n') == std::string::npos) {
        FUZZ_CHECK(ReadSetting(key) == value);
        // The other lines stay where they were; every line of the key now holds the value.
        std::vector<std::string> want;
        // A key not there yet goes before the first section.
        const bool found = std::any_of(before.begin(), before.end(),
                                       [&key](const std::string& l) { return HasKey(l, key); });
        bool added = found;
        for (const std::string& line : before) {
            if (!added && !line.empty() && line[0] == '[') {
                want.push_back(key + "=" + value);
                added = true;
            }
            want.push_back(HasKey(line, key) ? key + "=" + value : line);
        }
        if (!added) {
            want.push_back(key + "=" + value);
        }
        std::string text;
        for (const std::string& line : want) {
            text += line + "\r\n";
        }
        FUZZ_CHECK(after == text);
    }
    return 0;
}
