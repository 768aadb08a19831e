#include "RecordStream.h"

#include <cstring>

namespace {

constexpr uint8_t kRecordStart = '<';

} // namespace

void DecodeContext::TakeLogTime() {
    Value.Stamped = true;
    Value.Stamp = Record.Stamp();
    Value.Time = Stream.TakeTime(Value.Stamp);
}

void DecodeContext::MarkUnrecognisedVersion() {
    Value.Kind = RecordKind::Unrecognised;
    Stream.Resynchronise();
}

void DecodeContext::SetMode(const std::string& mode) {
    Stream.m_mode = mode;
}

void DecodeContext::ReadText(std::string& out, int32_t offset, int32_t maxCount) const {
    // A record holds at most 255 bytes, so no field is longer.
    char text[256];
    int32_t count = 0;
    const int32_t limit = maxCount < 256 ? maxCount : 256;
    while (count < limit) {
        const char c = static_cast<char>(Record.Byte(offset + count));
        if (c == '\0') {
            break;
        }
        text[count++] = c;
    }
    out.assign(text, static_cast<size_t>(count));
}

int64_t RecordStream::TakeTime(uint32_t stamp) {
    m_time = m_clock.Convert(stamp);
    return m_time;
}

void RecordStream::Resynchronise() {
    while (m_readPos < SessionLog::kSize && m_log.At(m_readPos) != kRecordStart) {
        ++m_readPos;
    }
}

bool RecordStream::Next(RecordValue& value) {
    if (m_log.At(m_readPos) != kRecordStart) {
        return false;
    }
    const int32_t start = m_readPos;
    const int32_t length = m_log.At(start + 1);
    m_readPos += 2;
    // A record whose type letter lies outside the buffer (a '<' at 3998 or 3999) ends the stream.
    if (m_readPos >= SessionLog::kSize) {
        return false;
    }
    // A zero length would bring the read position back to this record for ever.
    if (length == 0) {
        return false;
    }
    value.Clear();
    const uint8_t letter = m_log.At(m_readPos);
    value.Letter = letter;
    value.Version = letter == 'T' ? 0 : m_log.At(start + 3);
    value.Offset = start;
    value.Time = m_time;
    const RecordDecoder decoder = DecoderFor(letter);
    if (decoder == nullptr) {
        // The type letter is unknown: so is the record's length, and the walk goes on at the next
        // record start after the letter.
        value.Kind = RecordKind::Unrecognised;
        Resynchronise();
        TakeMode(value);
        return true;
    }
    value.Kind = KindFor(letter);
    m_readPos = start + length;
    DecodeContext ctx{LogRecordView(m_log, start), value, *this};
    decoder(ctx);
    TakeMode(value);
    return true;
}

void RecordStream::TakeMode(RecordValue& value) const {
    // The mode rarely changes: most records keep the text the value already holds.
    if (value.Mode != m_mode) {
        value.Mode = m_mode;
    }
}
