#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "report/SessionName.h"

class LogImage;
class SessionTable;

// One session of the index. Labels are fixed arrays so that the table can be sorted with qsort.
struct SessionEntry {
    static constexpr int kLabelSize = 64;

    int32_t used;                  // 1 when the slot's index entry held a name
    int16_t slot;                  // the slot (0 to 499) the entry was read from
    char name[20];                 // 19-character session name, zero-terminated
    int32_t undated;               // 1 when the name begins "FFFFFFFF"
    uint32_t startStamp;           // the stamp the name begins with (dated entries)
    int32_t alarm;                 // alarm tag
    int32_t calibration;           // "FC" or "C" tag
    char dayLabel[kLabelSize];     // "%A %d"
    char monthLabel[kLabelSize];   // "%b %Y"
    char sessionLabel[kLabelSize]; // "%X" and the tag texts
};

// The start of a dated session in the instrument's wall-clock time, formatted as strftime does in
// the C locale ("%Y-%m-%d" gives its calendar day); empty for an undated or unused entry.
std::string SessionStartText(const SessionEntry& entry, const char* format);
// The instrument's calendar day of a dated session, "YYYY-MM-DD"; empty for an undated one.
inline std::string SessionDate(const SessionEntry& entry) {
    return SessionStartText(entry, "%Y-%m-%d");
}

// What the session of `slot` is named by (SessionCalled), called `instrument`: the day and start
// of its dated entry in `table`; both empty where the table holds none.
SessionNaming NamingOf(const SessionTable& table, int16_t slot, const std::string& instrument);

// The session boxes All, Alarm and Cal of the main dialog.
struct SessionBoxes {
    bool all = true;
    bool alarm = false;
    bool cal = false;
};

// One item of the session tree, in insertion order. Month and day nodes carry item data 0xFFFF,
// session nodes their slot.
struct SessionNode {
    enum Level { Month = 0, Day = 1, Session = 2 };
    Level level;
    const char* text; // points into the SessionTable's entry; valid until the next Build
    uint32_t itemData;
};

// The 500 sessions of the index, built again in place after every index upload and sorted by the
// first eight characters of their names (so by time for upper-case hexadecimal stamps).
class SessionTable {
public:
    static constexpr int kEntryCount = 500;
    static constexpr uint32_t kFolderData = 0xFFFF;

    SessionTable();

    // Reads every slot's index entry from the image, fills the entries and sorts them.
    void Build(LogImage& image);

    const SessionEntry& Entry(int position) const { return m_entries[position]; }
    // The used entry read from `slot`, or nullptr when the slot is empty or out of range.
    const SessionEntry* FindSlot(int16_t slot) const;
    // The dated entry of `slot` (nullptr when empty, undated or out of range).
    const SessionEntry* FindDated(int16_t slot) const;

    // The month, day and session nodes of the tree in the order they are inserted: the dated
    // sessions that the boxes let through, each under its month and day node. Days and months
    // without such a session are left out.
    std::vector<SessionNode> Nodes(const SessionBoxes& boxes) const;

private:
    SessionEntry m_entries[kEntryCount];
};
