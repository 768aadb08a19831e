#pragma once

#include <cstdint>

class SessionByteSource;

// The 4,000 de-escaped log bytes of one session. Reads outside the buffer give 0, so a record
// that runs past the end reads zeros and no decoder can read out of bounds.
class SessionLog {
public:
    static constexpr int32_t kSize = 4000;

    void Fill(SessionByteSource& source, int16_t slot);
    // For tests and tools that already hold the de-escaped bytes; the rest is zero-filled.
    void Assign(const uint8_t* bytes, int32_t count);

    uint8_t At(int32_t pos) const { return pos >= 0 && pos < kSize ? m_bytes[pos] : 0; }
    uint16_t U16(int32_t pos) const {
        return static_cast<uint16_t>(At(pos) | (static_cast<unsigned>(At(pos + 1)) << 8));
    }
    int16_t S16(int32_t pos) const { return static_cast<int16_t>(U16(pos)); }

private:
    uint8_t m_bytes[kSize] = {};
};

// One log record seen through the session buffer; offsets are relative to its '<'. The common
// header (offsets 0 to 7) reads as it stands in the buffer; a payload byte at or past the record's
// length reads as 0, so a record cut short never shows the bytes of the record after it.
class LogRecordView {
public:
    static constexpr int32_t kHeaderSize = 8;

    LogRecordView(const SessionLog& log, int32_t start)
        : m_log(log), m_start(start), m_length(log.At(start + 1)) {}

    int32_t Start() const { return m_start; }
    // The record length L, counting every byte of the record.
    int32_t Length() const { return m_length; }
    uint8_t Type() const { return m_log.At(m_start + 2); }
    uint8_t Version() const { return m_log.At(m_start + 3); }
    // Time stamp at offset 4: the high 16-bit word stands first.
    uint32_t Stamp() const {
        return (static_cast<uint32_t>(U16(4)) << 16) | static_cast<uint32_t>(U16(6));
    }

    uint8_t Byte(int32_t offset) const {
        return offset >= m_length && offset >= kHeaderSize ? 0 : m_log.At(m_start + offset);
    }
    uint16_t U16(int32_t offset) const {
        return static_cast<uint16_t>(Byte(offset) | (static_cast<unsigned>(Byte(offset + 1)) << 8));
    }
    int16_t S16(int32_t offset) const { return static_cast<int16_t>(U16(offset)); }

private:
    const SessionLog& m_log;
    int32_t m_start;
    int32_t m_length;
};
