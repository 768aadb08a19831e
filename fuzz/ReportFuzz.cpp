// Renders arbitrary session streams twice into one report state, as the session browser does
// when the user views one session after another.
//
// Input: byte 0 filter flags (bits 0-4 alarm, manual, timed, calibration, bump; bit 5 barhole
// graph; bit 6 mode names follow; bit 7 the stream is stored form, 0x55 escaping the next byte),
// byte 1 the flags of the second rendering, byte 2 slot, U16 where the second stream starts in
// the rest, then (bit 6) four mode names of a length byte and text each, then the stream.
#include "ByteReader.h"

#include "report/Report.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

// A session stream held in the fuzz input; what lies past it reads as erased flash, as in the
// instrument's memory.
class InputSession : public SessionByteSource {
public:
    InputSession(const uint8_t* data, size_t size, bool stored)
        : m_data(data), m_size(size), m_stored(stored) {}

    FUZZ_HARNESS void ReadSessionBytes(int16_t, uint8_t* out100, int16_t& readIndex) override {
        int32_t index = readIndex;
        // Whole chunks of plain bytes, or of erased flash past the end, at once; escapes, the
        // start and the end of the stream and the top of the index byte by byte below.
        if (!m_stored && index >= 0 && index <= INT16_MAX - 100) {
            const size_t at = static_cast<size_t>(index);
            if (at + 100 <= m_size) {
                std::memcpy(out100, m_data + at, 100);
                readIndex = static_cast<int16_t>(index + 100);
                return;
            }
            if (at >= m_size) {
                std::memset(out100, 0xFF, 100);
                readIndex = static_cast<int16_t>(index + 100);
                return;
            }
        }
        auto next = [&]() -> uint8_t {
            const int32_t at = index;
            if (index < INT16_MAX) {
                ++index;
            }
            return at >= 0 && static_cast<size_t>(at) < m_size ? m_data[at] : 0xFF;
        };
        for (int i = 0; i < 100; ++i) {
            uint8_t byte = next();
            if (m_stored && byte == 0x55) {
                byte = next();
            }
            out100[i] = byte;
        }
        readIndex = static_cast<int16_t>(index);
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    bool m_stored;
};

void ApplyFlags(ReportState& state, uint8_t flags) {
    state.ShowAlarmLogs = flags & 1;
    state.ShowManualLogs = (flags >> 1) & 1;
    state.ShowTimedLogs = (flags >> 2) & 1;
    state.ShowCalibrationLogs = (flags >> 3) & 1;
    state.ShowBumpLogs = (flags >> 4) & 1;
    state.ShowBarholeGraph = (flags >> 5) & 1;
}

// Every brace the report writes is either escaped or one of its own marks, so groups balance.
FUZZ_HARNESS void CheckBalanced(const std::string& text) {
    int depth = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\') {
            ++i;
        } else if (text[i] == '{') {
            ++depth;
        } else if (text[i] == '}') {
            --depth;
            FUZZ_CHECK(depth >= 0);
        }
    }
    FUZZ_CHECK(depth == 0);
}

void RenderChecked(ReportState& state, SessionByteSource& source, int16_t slot) {
    const std::string text = RenderSession(state, source, slot);
    FUZZ_CHECK(text == state.SessionReport);
    FUZZ_CHECK(state.ReportText == state.ReportBody + "}}");
    CheckBalanced(text);
    CheckBalanced(state.ReportText);
    FUZZ_CHECK(state.UnrecognisedLogFlag == 0 || state.UnrecognisedLogFlag == 1);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The report shows the instrument's wall-clock time whatever the zone; a fixed zone keeps runs
    // repeatable.
    setenv("TZ", "UTC", 1);
    tzset();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ByteReader in(data, size);
    const uint8_t first = in.Byte();
    const uint8_t second = in.Byte();
    const int16_t slot = static_cast<int16_t>(in.Byte());
    const size_t secondStart = in.U16();

    ReportState state;
    if (first & 0x40) {
        for (std::string& name : state.ModeNames) {
            name = in.Text(in.Byte() % 40);
        }
    }
    size_t length = 0;
    const uint8_t* stream = in.Take(in.Left(), length);
    const bool stored = (first & 0x80) != 0;

    ApplyFlags(state, first);
    InputSession one(stream, length, stored);
    RenderChecked(state, one, slot);

    // The second session starts somewhere in the same bytes; gas columns, the heading countdown
    // and the log time carry over from the first.
    ApplyFlags(state, second);
    state.HeadingDay = "Monday 07 ";
    state.HeadingMonth = "Dec 2026";
    const size_t offset = length == 0 ? 0 : secondStart % length;
    InputSession two(stream + offset, length - offset, (second & 0x80) != 0);
    RenderChecked(state, two, static_cast<int16_t>(slot + 1));
    return 0;
}
