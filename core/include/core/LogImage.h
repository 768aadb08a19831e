#pragma once

#include <cstdint>
#include <string>

#include "report/Report.h"

// The program's copy of the instrument's log memory: 512 sectors of 4,096 bytes. Sectors 0 to 9
// hold the session index (50 entries of 20 bytes per sector), sector slot + 10 the escaped log
// stream of session slot 0 to 499. Every read goes through one 40-byte window; offsets outside the
// image read as 0xFF, the value of erased flash.
//
// 2 MB: programs hold one static instance; tests may allocate one on the heap.
class LogImage : public SessionByteSource {
public:
    static constexpr uint32_t kImageSize = 2097152;
    static constexpr uint32_t kSectorSize = 4096;
    static constexpr uint32_t kIndexSectors = 10;
    static constexpr int16_t kSlotCount = 500;
    static constexpr uint32_t kWindowSize = 40;
    static constexpr uint32_t kEntrySize = 20;
    static constexpr uint32_t kEntriesPerSector = 50;
    static constexpr uint8_t kEscape = 0x55;
    static constexpr uint32_t kDumpLines = kImageSize / 16;

    // Where the index entry of `slot` begins, and the sector that holds the slot's stream.
    static constexpr uint32_t IndexEntryOffset(int16_t slot) {
        return static_cast<uint32_t>(slot) / kEntriesPerSector * kSectorSize +
               static_cast<uint32_t>(slot) % kEntriesPerSector * kEntrySize;
    }
    static constexpr uint32_t DataSector(int16_t slot) {
        return kIndexSectors + static_cast<uint32_t>(slot);
    }

    LogImage();

    // The byte at image offset `offset`, through the window (0xFF past the end of the image).
    uint8_t ReadImageByte(uint32_t offset);

    // Copies the 19-character name of `slot` (0 to 499) and a terminating zero into `name`.
    // Returns 0, or 2 with an empty name when the slot is empty (first byte 0xFF) or out of range.
    int ReadIndexEntry(int16_t slot, char name[20]);

    // Exactly 100 de-escaped bytes of the slot's stream from `readIndex` on; advances readIndex by
    // the number of stored bytes consumed (0x55 x yields x).
    void ReadSessionBytes(int16_t slot, uint8_t* out100, int16_t& readIndex) override;

    // Room for an upload to write into directly: a pointer to `offset` and, in `room`, how many of
    // the `wanted` bytes fit before the end of the image (0 and nullptr when offset is outside).
    // Marks the window invalid; a caller that reads the image between this call and its write
    // must call InvalidateWindow() again after writing.
    uint8_t* StoreArea(uint32_t offset, uint32_t wanted, uint32_t& room);
    // Copies `length` bytes to `offset`, cut at the end of the image; returns the number stored.
    uint32_t Store(uint32_t offset, const uint8_t* data, uint32_t length);
    void InvalidateWindow() { m_windowValid = 0; }

    // Writes the whole image as 131,072 lines of sixteen "%02X " groups, each line ending in CR LF.
    // Returns 1, or 0 when the file cannot be written (nothing is left behind then).
    int DumpImage(const char* path = "FlashData.txt") const;

    // Reads a file written by DumpImage (CR LF or LF line ends) into the image. Returns 1, or 0
    // with a one-line `message` naming the file and the first bad line; the image is then
    // unchanged.
    int LoadDump(const char* path, std::string& message);

    // Whether the data sector of `slot` holds a session: one that was never uploaded is all
    // zeros, as the image starts, or all 0xFF where a download wrote it as erased flash; a
    // session's stream begins with its first record. False for a slot out of range.
    bool SessionHeld(int16_t slot) const;
    // Empties every data sector (to zeros, as the image starts); the index stays.
    void ForgetSessions();

    const uint8_t* Bytes() const { return m_bytes; }
    // How often the window has been refilled since construction; lets tests watch the window.
    uint32_t WindowRefills() const { return m_windowRefills; }

private:
    uint8_t m_bytes[kImageSize];
    uint8_t m_indexPage[kEntriesPerSector * kEntrySize];
    uint8_t m_window[kWindowSize];
    uint32_t m_windowBase;
    uint8_t m_windowValid;
    uint32_t m_windowRefills;
};
