#include "watch/WrittenRecord.h"

#include "download/FilePaths.h"

#include <QCryptographicHash>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#endif

const char kWrittenRecordName[] = ".tavon-written";

namespace {

// A record is a few lines per file; one far larger than that is not ours and is not read.
constexpr std::streamoff kMostRecordBytes = 4 * 1024 * 1024;
constexpr int kMostSlot = 10000;

std::string RecordPath(const std::string& folder) {
    return folder + "/" + kWrittenRecordName;
}

// Tabs and line ends would split the record's lines.
std::string OneField(std::string text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\t' || c == '\r' || c == '\n'; }, ' ');
    return text;
}

bool ParseLine(const std::string& line, WrittenEntry& entry) {
    // Split by hand: a file of no session ends its line with an empty field.
    std::vector<std::string> fields;
    for (size_t at = 0;;) {
        const size_t tab = line.find('\t', at);
        fields.push_back(line.substr(at, tab == std::string::npos ? std::string::npos : tab - at));
        if (tab == std::string::npos) {
            break;
        }
        at = tab + 1;
    }
    if (fields.size() != 4 || fields[0].empty() || fields[1].size() != 64) {
        return false;
    }
    entry = WrittenEntry{fields[0], fields[1], fields[2], {}};
    std::istringstream numbers(fields[3]);
    std::string word;
    while (numbers >> word) {
        if (word.size() > 5 || word.find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(word) > kMostSlot) {
            return false;
        }
        entry.sessionSlots.push_back(static_cast<int16_t>(std::stoi(word)));
    }
    return true;
}

std::vector<std::string> RecordLines(const std::string& folder) {
    std::vector<std::string> lines;
    std::ifstream in(RecordPath(folder), std::ios::binary | std::ios::ate);
    if (!in || in.tellg() > kMostRecordBytes) {
        return lines;
    }
    in.seekg(0);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

} // namespace

bool RenameOver(const std::string& from, const std::string& to) {
#ifdef _WIN32
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

bool FileSha256(const std::string& path, std::string& hex) {
    QFile file(QString::fromLocal8Bit(path.c_str()));
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file)) {
        return false;
    }
    hex = hash.result().toHex().toStdString();
    return true;
}

bool FindWritten(const std::string& folder, const std::string& name, WrittenEntry& entry) {
    for (const std::string& line : RecordLines(folder)) {
        WrittenEntry read;
        if (ParseLine(line, read) && read.name == name) {
            entry = read;
            return true;
        }
    }
    return false;
}

bool RecordWritten(const std::string& folder, const WrittenEntry& entry) {
    std::ostringstream own;
    own << OneField(entry.name) << "\t" << entry.sha256 << "\t" << OneField(entry.instrument)
        << "\t";
    for (size_t i = 0; i < entry.sessionSlots.size(); ++i) {
        own << (i == 0 ? "" : " ") << entry.sessionSlots[i];
    }
    // The file's line takes the place of its earlier one, so that a file written again with
    // the same bytes leaves the record as it was.
    std::ostringstream text;
    text << "# Files written by the Tavon watcher: name, SHA-256, instrument, session slots\n";
    bool placed = false;
    for (const std::string& line : RecordLines(folder)) {
        WrittenEntry read;
        if (!ParseLine(line, read)) {
            continue;
        }
        if (read.name != entry.name) {
            text << line << "\n";
        } else if (!placed) {
            text << own.str() << "\n";
            placed = true;
        }
    }
    if (!placed) {
        text << own.str() << "\n";
    }
    const std::string path = RecordPath(folder);
    const std::string temp = PartNameOf(path);
    bool ok = false;
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text.str();
        out.flush();
        ok = static_cast<bool>(out);
    }
    if (!ok || !RenameOver(temp, path)) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

bool MayReplace(const std::string& path, const std::string& instrument,
                const std::vector<int16_t>& sessionSlots, std::string& why) {
    WrittenEntry entry;
    if (!FindWritten(FolderOfPath(path), NameOfPath(path), entry)) {
        why = "the watcher did not write it";
        return false;
    }
    std::string now;
    if (!FileSha256(path, now) || now != entry.sha256) {
        why = "it was changed since the watcher wrote it";
        return false;
    }
    const bool all = std::all_of(
        entry.sessionSlots.begin(), entry.sessionSlots.end(), [&sessionSlots](int16_t slot) {
            return std::find(sessionSlots.begin(), sessionSlots.end(), slot) != sessionSlots.end();
        });
    if (entry.instrument != OneField(instrument) || !all) {
        why = "it holds sessions the new file does not";
        return false;
    }
    return true;
}
