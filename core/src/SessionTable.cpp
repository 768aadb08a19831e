#include "core/SessionTable.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/LogImage.h"
#include "core/SessionTags.h"
#include "orvtime/OrvTime.h"
#include "orvtime/TimeFormat.h"

namespace {

// The stamp at the start of a name, read the way "%x" reads it: leading blanks skipped, an
// optional sign and "0x", then hexadecimal digits up to the first other character. Digits beyond
// 32 bits wrap, as the C library's conversion to unsigned int does; a name without digits reads
// as 0.
unsigned int ParseStamp(const char* name, size_t size) {
    size_t i = 0;
    while (i < size && (name[i] == ' ' || (name[i] >= '\t' && name[i] <= '\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < size && (name[i] == '+' || name[i] == '-')) {
        negative = name[i] == '-';
        ++i;
    }
    if (i + 2 < size && name[i] == '0' && (name[i + 1] == 'x' || name[i + 1] == 'X') &&
        std::isxdigit(static_cast<unsigned char>(name[i + 2]))) {
        i += 2;
    }
    uint32_t value = 0;
    for (; i < size; ++i) {
        const char c = name[i];
        uint32_t digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<uint32_t>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<uint32_t>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<uint32_t>(c - 'A' + 10);
        } else {
            break;
        }
        value = value * 16u + digit;
    }
    return negative ? 0u - value : value;
}

void CopyLabel(char* out, const std::string& text) {
    const size_t n =
        text.size() < SessionEntry::kLabelSize - 1 ? text.size() : SessionEntry::kLabelSize - 1;
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

void AppendLabel(char* out, const char* text) {
    const size_t used = std::strlen(out);
    const size_t room = SessionEntry::kLabelSize - 1 - used;
    const size_t n = std::strlen(text) < room ? std::strlen(text) : room;
    std::memcpy(out + used, text, n);
    out[used + n] = '\0';
}

int CompareNames(const void* a, const void* b) {
    return std::strncmp(static_cast<const SessionEntry*>(a)->name,
                        static_cast<const SessionEntry*>(b)->name, 8);
}

} // namespace

std::string SessionStartText(const SessionEntry& entry, const char* format) {
    if (!entry.used || entry.undated) {
        return std::string();
    }
    return FormatTime(COrvTime(entry.startStamp).Value(), format);
}

SessionNaming NamingOf(const SessionTable& table, int16_t slot, const std::string& instrument) {
    const SessionEntry* entry = table.FindDated(slot);
    if (entry == nullptr) {
        return {instrument, std::string(), std::string()};
    }
    return {instrument, SessionDate(*entry), SessionStartText(*entry, "%H:%M:%S")};
}

SessionTable::SessionTable() : m_entries{} {}

void SessionTable::Build(LogImage& image) {
    for (int16_t slot = 0; slot < kEntryCount; ++slot) {
        SessionEntry& entry = m_entries[slot];
        char name[20];
        if (image.ReadIndexEntry(slot, name) == 2) {
            // An empty slot only loses its mark; its stale fields are never shown.
            entry.used = 0;
            continue;
        }
        entry.used = 1;
        entry.slot = slot;
        std::memcpy(entry.name, name, sizeof entry.name);
        if (std::strncmp(name, "FFFFFFFF", 8) == 0) {
            entry.undated = 1;
            continue;
        }
        entry.undated = 0;
        entry.startStamp = ParseStamp(name, 19);
        const int64_t time = COrvTime(entry.startStamp).Value();
        CopyLabel(entry.monthLabel, FormatTime(time, "%b %Y"));
        CopyLabel(entry.dayLabel, FormatTime(time, "%A %d"));
        CopyLabel(entry.sessionLabel, FormatTime(time, "%X"));
        // Tags are looked at by position in the 20 stored bytes, whatever comes before them.
        const SessionTags tags = TagsOfName(name, sizeof name);
        AppendLabel(entry.sessionLabel, TagLabel(tags).c_str());
        entry.alarm = tags.alarm ? 1 : 0;
        entry.calibration = tags.AnyCalibration() ? 1 : 0;
    }
    // All 500 entries take part, used or not; equal keys may come out in any order.
    std::qsort(m_entries, kEntryCount, sizeof(SessionEntry), CompareNames);
}

const SessionEntry* SessionTable::FindSlot(int16_t slot) const {
    for (const SessionEntry& entry : m_entries) {
        if (entry.used && entry.slot == slot) {
            return &entry;
        }
    }
    return nullptr;
}

const SessionEntry* SessionTable::FindDated(int16_t slot) const {
    const SessionEntry* entry = FindSlot(slot);
    return entry != nullptr && !entry->undated ? entry : nullptr;
}

std::vector<SessionNode> SessionTable::Nodes(const SessionBoxes& boxes) const {
    std::vector<SessionNode> nodes;
    const char* lastMonth = "";
    const char* lastDay = "";
    for (const SessionEntry& entry : m_entries) {
        if (!entry.used || entry.undated) {
            continue;
        }
        // A session the boxes leave out brings no month or day of its own: a day without a
        // session to choose would only be a dead end in the tree.
        if (!(boxes.all || (boxes.alarm && entry.alarm == 1) ||
              (boxes.cal && entry.calibration == 1))) {
            continue;
        }
        bool newMonth = false;
        if (std::strcmp(entry.monthLabel, lastMonth) != 0) {
            nodes.push_back({SessionNode::Month, entry.monthLabel, kFolderData});
            lastMonth = entry.monthLabel;
            newMonth = true;
        }
        if (newMonth || std::strcmp(entry.dayLabel, lastDay) != 0) {
            nodes.push_back({SessionNode::Day, entry.dayLabel, kFolderData});
            lastDay = entry.dayLabel;
        }
        nodes.push_back(
            {SessionNode::Session, entry.sessionLabel, static_cast<uint32_t>(entry.slot)});
    }
    return nodes;
}
