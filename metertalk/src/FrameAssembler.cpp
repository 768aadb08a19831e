#include "Engine.h"

namespace {

constexpr int MinFrameLength = 4;
constexpr int MaxFrameLength = 50;
// Reads of a full ReadBuffer one OnArrival takes before it lets the caller's loop run again: far
// more than a millisecond of any line, so only a link that never stops talking is cut short.
constexpr int MaxArrivalReads = 64;

void FeedReadBuffer(CommsState& s) {
    while (s.ReadPos < s.ReadCount)
        FeedByte(s, s.ReadBuffer[s.ReadPos++]);
}

} // namespace

void FeedByte(CommsState& s, uint8_t c) {
    if (s.InFrame == 0) {
        s.Frame[0] = c;
        if (c == 'Y') {
            Post(s.Listener, CommsEvent::FrameStart);
            s.InFrame = 1;
            s.FrameIndex = 1;
        }
        return;
    }

    // FrameIndex never passes MaxFrameLength + 1 here, so the byte and its NUL stay in Frame.
    s.Frame[s.FrameIndex] = c;
    s.Frame[s.FrameIndex + 1] = 0;
    if (s.FrameIndex == 1) {
        s.FrameLength = static_cast<signed char>(c) - 64;
        if (s.FrameLength < MinFrameLength || s.FrameLength > MaxFrameLength)
            s.InFrame = 0;
    }
    ++s.FrameIndex;
    if (s.InFrame == 0 || s.FrameIndex != s.FrameLength + 2)
        return;

    // The length decides where a frame ends, since bulk data may hold any byte; the line end
    // only confirms it.
    const uint8_t a = s.Frame[s.FrameIndex - 2];
    const uint8_t b = s.Frame[s.FrameIndex - 1];
    if ((a == '\r' && b == '\n') || (a == '\n' && b == '\r'))
        HandleFrame(s);
    else
        s.InFrame = 0;
}

bool ReadStep(CommsState& s) {
    if (!s.Port)
        return false;
    s.ReadPos = 0;
    if (s.Port->IsPipe() && s.Port->BytesWaiting() == 0) {
        s.ReadCount = 0;
        return false;
    }
    const int n = s.Port->Read(s.ReadBuffer, static_cast<int32_t>(sizeof s.ReadBuffer));
    s.ReadCount =
        n > 0 ? (n < static_cast<int>(sizeof s.ReadBuffer) ? n
                                                           : static_cast<int>(sizeof s.ReadBuffer))
              : 0;
    return s.ReadCount > 0;
}

void RunTimerTick(CommsState& s) {
    const bool heard = s.Heard != 0;
    s.Heard = 0;
    if (ReadStep(s)) {
        FeedReadBuffer(s);
        return;
    }
    // Only silent ticks count: a stream of bytes that never makes a frame holds the time-out off.
    if (heard)
        return;
    if (s.BusyTicks != 0 && --s.BusyTicks == 0)
        Post(s.QueuedListener != nullptr ? s.QueuedListener : s.Listener, CommsEvent::TimedOut);
}

void RunArrival(CommsState& s) {
    for (int reads = 0; reads < MaxArrivalReads && ReadStep(s); ++reads) {
        s.Heard = 1;
        FeedReadBuffer(s);
        if (s.ReadCount < static_cast<int>(sizeof s.ReadBuffer))
            return;
    }
}
