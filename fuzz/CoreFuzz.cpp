// The memory image and the session table over arbitrary input: dump files read back, index
// sectors turned into the session table and tree, session streams read through the image's window
// and rendered.
//
// Input: byte 0 picks the path (modulo 8: 0, 1 and 4 dump text, 2 and 6 index, the others a
// session), the rest is that path's own (see each function).
//
// Built a second time with TAVON_FUZZ_WHOLE_DUMP as fuzz-dump, where every input is a whole dump
// (LoadWholeDump): one of those costs as much as thousands of the others, so they get a target
// of their own instead of starving the fast paths.
#include "ByteReader.h"

#include "core/LogImage.h"
#include "core/SessionTable.h"
#include "report/Report.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

constexpr uint32_t kImageSize = LogImage::kImageSize;
constexpr uint32_t kIndexSize = LogImage::kIndexSectors * LogImage::kSectorSize;

// 2 MB each: one of every kind for the whole run.
LogImage* g_image;
SessionTable* g_table;
uint8_t* g_erased;   // kImageSize bytes of 0xFF
uint8_t* g_snapshot; // the image before a load that must leave it alone
char g_dumpPath[64];

void EraseImage(uint32_t offset, uint32_t length) {
    g_image->Store(offset, g_erased, length);
}

bool WriteFile(const char* path, const void* bytes, size_t size) {
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        return false;
    }
    const bool ok = std::fwrite(bytes, 1, size, file) == size;
    return std::fclose(file) == 0 && ok;
}

// A failed load leaves the image as it was and says why on one line.
FUZZ_HARNESS void CheckLoad(int result, const std::string& message) {
    if (result == 1) {
        FUZZ_CHECK(message.empty());
        return;
    }
    FUZZ_CHECK(result == 0);
    FUZZ_CHECK(!message.empty());
    FUZZ_CHECK(message.find('\n') == std::string::npos);
    FUZZ_CHECK(std::memcmp(g_image->Bytes(), g_snapshot, kImageSize) == 0);
}

// Path 0: the rest of the input is the dump file.
void LoadDumpText(ByteReader& in) {
    size_t size = 0;
    const uint8_t* text = in.Take(in.Left(), size);
    if (!WriteFile(g_dumpPath, text, size)) {
        return;
    }
    std::memcpy(g_snapshot, g_image->Bytes(), kImageSize);
    std::string message;
    const int result = g_image->LoadDump(g_dumpPath, message);
    CheckLoad(result, message);
    if (result == 1) {
        EraseImage(0, kImageSize);
    }
}

// fuzz-dump: a whole dump of 131,072 lines, built from the input and then damaged. Byte 0: bit 0
// LF line ends, bit 1 no line end after the last line, bit 2 one line too many, bit 3 lower-case
// digits; byte 1 the number of damaged characters (modulo 8), each a U32 position and a byte;
// the rest, repeated, fills the image.
[[maybe_unused]] FUZZ_HARNESS void LoadWholeDump(ByteReader& in) {
    static constexpr size_t kLine = 16 * 3 + 2;
    static char text[LogImage::kDumpLines * kLine + kLine];
    const uint8_t style = in.Byte();
    const int damage = in.Byte() % 8;
    uint32_t positions[8];
    uint8_t values[8];
    for (int i = 0; i < damage; ++i) {
        positions[i] = in.U32();
        values[i] = in.Byte();
    }
    size_t patternSize = 0;
    const uint8_t* pattern = in.Take(in.Left(), patternSize);

    const char* digits = (style & 8) ? "0123456789abcdef" : "0123456789ABCDEF";
    static uint8_t expected[kImageSize];
    size_t at = 0;
    for (uint32_t line = 0; line < LogImage::kDumpLines; ++line) {
        for (uint32_t i = 0; i < 16; ++i) {
            const uint32_t offset = line * 16 + i;
            const uint8_t byte = patternSize == 0 ? 0xFF : pattern[offset % patternSize];
            expected[offset] = byte;
            text[at++] = digits[byte >> 4];
            text[at++] = digits[byte & 15];
            text[at++] = ' ';
        }
        const bool last = line + 1 == LogImage::kDumpLines;
        if (!(last && (style & 2))) {
            if (!(style & 1)) {
                text[at++] = '\r';
            }
            text[at++] = '\n';
        }
    }
    if (style & 4) {
        std::memcpy(text + at, "00 \n", 4);
        at += 4;
    }
    for (int i = 0; i < damage; ++i) {
        text[positions[i] % at] = static_cast<char>(values[i]);
    }
    if (!WriteFile(g_dumpPath, text, at)) {
        return;
    }
    std::memcpy(g_snapshot, g_image->Bytes(), kImageSize);
    std::string message;
    const int result = g_image->LoadDump(g_dumpPath, message);
    CheckLoad(result, message);
    if (damage == 0) {
        // An undamaged dump always loads, whatever its line ends and digit case.
        FUZZ_CHECK(result == ((style & 4) ? 0 : 1));
        if (result == 1) {
            FUZZ_CHECK(std::memcmp(g_image->Bytes(), expected, kImageSize) == 0);
        }
    }
    EraseImage(0, kImageSize);
}

void CheckLabel(const char* label) {
    FUZZ_CHECK(std::memchr(label, '\0', SessionEntry::kLabelSize) != nullptr);
}

// Path 2: index sectors. Byte 1: bit 0 the input is repeated over all ten sectors; U16 where it
// is stored (modulo the index size); the rest is the index bytes.
void BuildTable(ByteReader& in) {
    const uint8_t how = in.Byte();
    const uint32_t offset = in.U16() % kIndexSize;
    size_t size = 0;
    const uint8_t* bytes = in.Take(in.Left(), size);
    if (size > 0 && (how & 1)) {
        for (uint32_t at = 0; at < kIndexSize; at += static_cast<uint32_t>(size)) {
            g_image->Store(at, bytes,
                           static_cast<uint32_t>(size < kIndexSize - at ? size : kIndexSize - at));
        }
    } else if (size > 0) {
        const uint32_t length =
            static_cast<uint32_t>(size < kIndexSize - offset ? size : kIndexSize - offset);
        g_image->Store(offset, bytes, length);
    }

    g_table->Build(*g_image);
    for (int i = 0; i < SessionTable::kEntryCount; ++i) {
        const SessionEntry& entry = g_table->Entry(i);
        if (!entry.used) {
            continue;
        }
        FUZZ_CHECK(entry.slot >= 0 && entry.slot < SessionTable::kEntryCount);
        FUZZ_CHECK(std::memchr(entry.name, '\0', sizeof entry.name) != nullptr);
        if (!entry.undated) {
            CheckLabel(entry.dayLabel);
            CheckLabel(entry.monthLabel);
            CheckLabel(entry.sessionLabel);
        }
    }
    // Slots at and beyond both ends, and a few that the input names (a whole scan costs too much
    // per run).
    const int16_t slots[] = {-1,
                             0,
                             SessionTable::kEntryCount - 1,
                             SessionTable::kEntryCount,
                             INT16_MIN,
                             static_cast<int16_t>(offset / LogImage::kEntrySize),
                             static_cast<int16_t>(how * 2),
                             static_cast<int16_t>(offset)};
    for (const int16_t slot : slots) {
        const SessionEntry* entry = g_table->FindSlot(slot);
        FUZZ_CHECK(entry == nullptr || (entry->used && entry->slot == slot));
        const SessionEntry* dated = g_table->FindDated(slot);
        FUZZ_CHECK(dated == nullptr || (dated == entry && !dated->undated));
    }
    for (int boxes = 0; boxes < 8; ++boxes) {
        const SessionBoxes which{(boxes & 1) != 0, (boxes & 2) != 0, (boxes & 4) != 0};
        for (const SessionNode& node : g_table->Nodes(which)) {
            FUZZ_CHECK(node.text != nullptr);
            FUZZ_CHECK(std::strlen(node.text) < SessionEntry::kLabelSize);
            FUZZ_CHECK(node.level == SessionNode::Session
                           ? node.itemData < 500u
                           : node.itemData == SessionTable::kFolderData);
        }
    }
    EraseImage(0, kIndexSize);
}

// Path 3: one session through the image. U16 slot (any int16), U16 first read index (any int16),
// U32 where the rest is stored (the slot's sector when bit 31 is clear, else anywhere), U32 an
// image offset read byte by byte, then the stored bytes.
void ReadSession(ByteReader& in) {
    const int16_t slot = static_cast<int16_t>(in.U16());
    const int16_t firstIndex = static_cast<int16_t>(in.U16());
    const uint32_t where = in.U32();
    const uint32_t probe = in.U32();
    size_t size = 0;
    const uint8_t* bytes = in.Take(in.Left(), size);

    uint32_t offset = where & 0x7FFFFFFF;
    if (!(where & 0x80000000u)) {
        const uint32_t sector =
            static_cast<uint16_t>(slot) % LogImage::kSlotCount + LogImage::kIndexSectors;
        offset = sector * LogImage::kSectorSize + (offset & 0xFFF);
    }
    const uint32_t stored = g_image->Store(offset, bytes, static_cast<uint32_t>(size));
    FUZZ_CHECK(stored <= size);
    FUZZ_CHECK(stored == 0 || (offset < kImageSize && stored <= kImageSize - offset));

    uint8_t chunk[100 + 16];
    std::memset(chunk + 100, 0xA5, 16);
    int16_t readIndex = firstIndex;
    for (int i = 0; i < 45; ++i) {
        const int16_t before = readIndex;
        g_image->ReadSessionBytes(slot, chunk, readIndex);
        // At least one stored byte per byte given, at most two, and never backwards.
        FUZZ_CHECK(readIndex >= before);
    }
    for (int i = 0; i < 16; ++i) {
        FUZZ_CHECK(chunk[100 + i] == 0xA5);
    }
    char name[20 + 8];
    std::memset(name, 'x', sizeof name);
    const int entry = g_image->ReadIndexEntry(slot, name);
    FUZZ_CHECK(entry == 0 || entry == 2);
    FUZZ_CHECK(std::memchr(name, '\0', 20) != nullptr);
    FUZZ_CHECK(name[20] == 'x');
    for (uint32_t i = 0; i < 64; ++i) {
        const uint8_t byte = g_image->ReadImageByte(probe + i);
        if (probe + i >= kImageSize && probe + i >= probe) {
            FUZZ_CHECK(byte == 0xFF);
        }
    }

    ReportState state;
    const std::string text = RenderSession(state, *g_image, slot);
    FUZZ_CHECK(state.ReportText == state.ReportBody + "}}");
    (void)text;

    if (stored > 0) {
        EraseImage(offset, stored);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("TZ", "UTC", 1);
    tzset();
    g_image = new LogImage;
    g_table = new SessionTable;
    g_erased = new uint8_t[kImageSize];
    g_snapshot = new uint8_t[kImageSize];
    std::memset(g_erased, 0xFF, kImageSize);
    EraseImage(0, kImageSize);
    const char* tmp = std::getenv("TMPDIR");
    std::snprintf(g_dumpPath, sizeof g_dumpPath, "%s/core-fuzz-%d.txt",
                  tmp != nullptr && std::strlen(tmp) < 32 ? tmp : "/tmp",
                  static_cast<int>(getpid()));
    std::atexit([] { std::remove(g_dumpPath); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ByteReader in(data, size);
#ifdef TAVON_FUZZ_WHOLE_DUMP
    LoadWholeDump(in);
    return 0;
#endif
    switch (in.Byte() % 8) {
    case 0:
    case 1:
    case 4:
        LoadDumpText(in);
        break;
    case 2:
    case 6:
        BuildTable(in);
        break;
    default:
        ReadSession(in);
        break;
    }
    return 0;
}
