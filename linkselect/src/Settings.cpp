#include "linkselect/Settings.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

const char kSettingsFile[] = "Settings.ini";
const char kTempFile[] = "Settings.tmp";

// The file is opened in binary mode and line ends are handled here, so that the file reads and
// writes the same on every platform: CR LF written, a CR before LF (or before the end) dropped.
bool NextLine(std::istream& in, std::string& line) {
    if (!std::getline(in, line)) {
        return false;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return true;
}

bool HasKey(const std::string& line, const std::string& key) {
    return line.size() > key.size() && line.compare(0, key.size(), key) == 0 &&
           line[key.size()] == '=';
}

bool FileExists(const char* name) {
    struct stat info;
    return stat(name, &info) == 0 || errno != ENOENT;
}

bool FileWritable(const char* name) {
#ifdef _WIN32
    return _access(name, 2) == 0;
#else
    return access(name, W_OK) == 0;
#endif
}

// Puts the finished temporary file in place of the settings file in one step, so that there is
// never a moment without "Settings.ini" and a failure leaves the old file untouched.
bool ReplaceSettingsFile(const char* temp = kTempFile, const char* file = kSettingsFile) {
#ifdef _WIN32
    return MoveFileExA(temp, file, MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return std::rename(temp, file) == 0;
#endif
}

// "DIR/Settings.ini": "DIR/Settings.tmp", beside it so that the rename stays on one disk.
std::string TempFileFor(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    const size_t dot = path.rfind('.');
    const bool ending = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (ending ? path.substr(0, dot) : path) + ".tmp";
}

} // namespace

std::string ReadSetting(const std::string& key) {
    std::ifstream in(kSettingsFile, std::ios::in | std::ios::binary);
    if (!in) {
        return std::string();
    }
    std::string line;
    while (NextLine(in, line)) {
        if (HasKey(line, key)) {
            return line.substr(key.size() + 1);
        }
    }
    return std::string();
}

bool WriteSetting(const std::string& key, const std::string& value) {
    const std::string setting = key + "=" + value + "\r\n";

    std::ifstream in(kSettingsFile, std::ios::in | std::ios::binary);
    // A file that exists but cannot be read or is write-protected is never replaced: its lines
    // would be lost or the user's protection overridden.
    if (!in && FileExists(kSettingsFile)) {
        return false;
    }
    if (in && !FileWritable(kSettingsFile)) {
        return false;
    }

    std::vector<std::string> lines;
    std::string line;
    while (in && NextLine(in, line)) {
        lines.push_back(line);
    }
    // A read error part-way would drop the rest of the file.
    if (in.bad()) {
        return false;
    }
    bool found = false;
    for (const std::string& each : lines) {
        found = found || HasKey(each, key);
    }
    bool written = false;
    {
        std::ofstream out(kTempFile, std::ios::out | std::ios::binary | std::ios::trunc);
        if (!out) {
            return false;
        }
        // A key not there yet belongs before the first section, never inside one.
        bool added = found;
        for (const std::string& each : lines) {
            if (!added && !each.empty() && each[0] == '[') {
                out << setting;
                added = true;
            }
            out << (HasKey(each, key) ? setting : each + "\r\n");
        }
        if (!added) {
            out << setting;
        }
        out.flush();
        written = static_cast<bool>(out);
    }
    in.close();
    if (!written || !ReplaceSettingsFile()) {
        std::remove(kTempFile);
        return false;
    }
    return true;
}

bool WriteSectionSettings(const std::string& section,
                          const std::vector<std::pair<std::string, std::string>>& values) {
    return WriteSectionSettingsIn(kSettingsFile, section, values);
}

std::string ReadSettingsText(const std::string& path) {
    std::ifstream in(path, std::ios::in | std::ios::binary);
    std::string text, line;
    while (in && NextLine(in, line)) {
        text += line + "\n";
    }
    return text;
}

bool WriteSectionSettingsIn(const std::string& path, const std::string& section,
                            const std::vector<std::pair<std::string, std::string>>& values) {
    const char* const file = path.c_str();
    const std::string tempName = TempFileFor(path);
    const char* const temp = tempName.c_str();
    std::ifstream in(file, std::ios::in | std::ios::binary);
    if (!in && FileExists(file)) {
        return false;
    }
    if (in && !FileWritable(file)) {
        return false;
    }
    const std::string header = "[" + section + "]";
    std::vector<bool> done(values.size(), false);
    // The keys of the section not written yet, as lines, where the section ends.
    const auto rest = [&values, &done](std::ostream& out) {
        for (size_t i = 0; i < values.size(); ++i) {
            if (!done[i] && !values[i].second.empty()) {
                out << values[i].first << "=" << values[i].second << "\r\n";
            }
            done[i] = true;
        }
    };
    bool written = false;
    {
        std::ofstream out(temp, std::ios::out | std::ios::binary | std::ios::trunc);
        if (!out) {
            return false;
        }
        bool inSection = false;
        bool seen = false;
        std::string line;
        while (in && NextLine(in, line)) {
            if (!line.empty() && line[0] == '[') {
                if (inSection) {
                    rest(out);
                }
                inSection = line == header;
                seen = seen || inSection;
                out << line << "\r\n";
                continue;
            }
            size_t which = values.size();
            for (size_t i = 0; inSection && i < values.size(); ++i) {
                if (HasKey(line, values[i].first)) {
                    which = i;
                }
            }
            if (which == values.size()) {
                out << line << "\r\n";
            } else if (!done[which]) {
                if (!values[which].second.empty()) {
                    out << values[which].first << "=" << values[which].second << "\r\n";
                }
                done[which] = true;
            }
        }
        if (in.bad()) {
            out.close();
            std::remove(temp);
            return false;
        }
        if (!seen) {
            out << header << "\r\n";
        }
        rest(out);
        out.flush();
        written = static_cast<bool>(out);
    }
    in.close();
    if (!written || !ReplaceSettingsFile(temp, file)) {
        std::remove(temp);
        return false;
    }
    return true;
}
