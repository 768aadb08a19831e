#include "CurrentTest.h"
#include "Engine.h"
#include "HexScan.h"

#include "metertalk/TestList.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int TextPartLimit = 16;
constexpr int NewStringChars = static_cast<int>(sizeof(CommsState::NewString)) - 1;

int HexDigit(uint8_t c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The two checksum characters: blanks skipped, then one or two uppercase hexadecimal digits;
// anything else reads as 0.
int ReadChecksum(const uint8_t* p) {
    int i = 0;
    while (i < 2 && p[i] == ' ')
        ++i;
    int value = 0;
    int digits = 0;
    for (; i < 2 && HexDigit(p[i]) >= 0; ++i, ++digits)
        value = value * 16 + HexDigit(p[i]);
    return digits > 0 ? value : 0;
}

void ResetAssembler(CommsState& s) {
    s.FrameIndex = 0;
    s.FrameLength = 0;
    s.InFrame = 0;
}

// Text characters go into NewString at StringPos; whatever would pass its 39 characters is
// dropped, while the read itself still runs to its end.
void PutText(CommsState& s, const char* text, int count, bool stopAtNul) {
    bool ended = false;
    for (int k = 0; k < count; ++k) {
        char c = text[k];
        if (stopAtNul && (ended || c == '\0')) {
            ended = true;
            c = '\0';
        }
        const int pos = s.StringPos + k;
        if (pos >= 0 && pos < NewStringChars)
            s.NewString[pos] = c;
    }
    const int end = s.StringPos + count;
    if (end >= 0)
        s.NewString[std::min(end, NewStringChars)] = '\0';
    s.StringPos += count;
}

void SendQueued(CommsState& s) {
    CommsListener* listener = s.QueuedListener;
    if (s.QueuedIsSet == 0) {
        SendAsk(s, listener, s.AskIndex);
    } else if (!s.QueuedText.Empty()) {
        SendSetText(s, listener, s.QueuedText.Data, s.QueuedText.Length, TextSource::Queued);
    } else {
        SendSetValue(s, listener, s.QueuedValue);
    }
}

void InterpretSetAnswer(CommsState& s) {
    if (std::strchr(s.Reply, '?') != nullptr) {
        // Refused: the instrument is asked again, as often as it refuses.
        s.BusyTicks = 0;
        if (!s.RetryText.Empty())
            SendSetText(s, s.Listener, s.RetryText.Data, s.RetryText.Length, TextSource::Retry);
        else
            SendSetValue(s, s.Listener, s.RetryValue);
        return;
    }
    if (!s.ContinuationText.Empty()) {
        // The acknowledged chunk ends the request, so the next one goes out at once rather than
        // queueing behind it.
        s.BusyTicks = 0;
        SendSetText(s, s.Listener, s.ContinuationText.Data, s.ContinuationText.Length,
                    TextSource::Continuation);
        return;
    }
    s.BusyTicks = s.UploadMode != 0 ? RequestTicks : 0;
    Post(s.Listener, CommsEvent::SetDone);
    s.PendingKind = PendingNone;
}

// Returns false while a text read still has parts to fetch.
bool InterpretAskAnswer(CommsState& s) {
    const CurrentTest t = ReadCurrentTest(s);
    uint32_t v[4];
    switch (t.Type) {
    case KindWord: {
        ScanHexList(s.Reply, v, 2);
        uint32_t value = v[0] + 256u * v[1];
        if ((value & 0x8000u) != 0)
            value |= 0xffff0000u;
        s.NewValue = static_cast<int32_t>(value);
        return true;
    }
    case KindLong:
        ScanHexList(s.Reply, v, 4);
        s.NewValue = static_cast<int32_t>(v[0] + (v[1] << 8) + (v[2] << 16) + (v[3] << 24));
        return true;
    case KindSwappedLong:
        ScanHexList(s.Reply, v, 4);
        s.NewValue = static_cast<int32_t>(v[2] + (v[3] << 8) + (v[0] << 16) + (v[1] << 24));
        return true;
    case KindText:
        if (t.InterfaceVersion >= 11) {
            const int n = std::max(0, std::min(s.StringRemaining, TextPartLimit));
            PutText(s, s.Reply, n, true);
            if (s.StringPos < s.StringRemaining) {
                s.StringRemaining -= TextPartLimit;
                s.BusyTicks = 0;
                SendAsk(s, nullptr, s.StringPos);
                return false;
            }
        } else {
            ScanHexList(s.Reply, v, 4);
            const char characters[4] = {static_cast<char>(v[0]), static_cast<char>(v[1]),
                                        static_cast<char>(v[2]), static_cast<char>(v[3])};
            PutText(s, characters, 4, false);
            if (s.StringPos < s.StringRemaining) {
                s.BusyTicks = 0;
                SendAsk(s, nullptr, s.StringPos);
                return false;
            }
        }
        s.StringPos = 0;
        return true;
    default: {
        const char* p = s.Reply;
        uint32_t value = 0;
        if (ScanHex(p, value))
            s.NewValue = static_cast<int32_t>(value);
        return true;
    }
    }
}

void InterpretAnswer(CommsState& s) {
    switch (s.PendingKind) {
    case PendingNone:
        Post(s.Listener, CommsEvent::UploadDone);
        return;
    case PendingSet:
        InterpretSetAnswer(s);
        return;
    default:
        // A refused read is not answered: a leading '?' leaves the countdown to end in a
        // time-out, one further in ends the request silently. A caller that takes a refusal for
        // an answer hears of it at once.
        if (std::strchr(s.Reply, '?') != nullptr) {
            if (s.RefusalAnswers != 0) {
                s.BusyTicks = 0;
                s.PendingKind = PendingNone;
                s.StringPos = 0;
                Post(s.Listener, CommsEvent::Refused);
            }
            return;
        }
        if (InterpretAskAnswer(s)) {
            s.BusyTicks = 0;
            Post(s.Listener, CommsEvent::AskDone);
            s.PendingKind = PendingNone;
        }
        return;
    }
}

} // namespace

void HandleFrame(CommsState& s) {
    const int length = s.FrameLength;
    unsigned int sum = 0;
    for (int i = 0; i <= length - 3; ++i)
        sum += s.Frame[i];
    if (((static_cast<unsigned int>(ReadChecksum(s.Frame + length - 2)) + sum) & 0xffu) != 0) {
        ResetAssembler(s);
        Post(s.Listener, CommsEvent::ChecksumError);
        return;
    }

    // Frames of length 4 and 5 are shorter than the layout: they carry no payload.
    const int payload = std::max(0, length - 6);
    if (s.Frame[2] == 'M') {
        StoreBulkFrame(s, s.Frame + 3, payload);
        ResetAssembler(s);
        return;
    }

    s.UploadStarted = 0;
    std::memcpy(s.Reply, s.Frame + 3, static_cast<size_t>(payload));
    s.Reply[payload] = '\0';

    if (s.QueuedListener != nullptr) {
        // The answer belongs to a request the caller has since replaced: send the new one.
        s.BusyTicks = 0;
        SendQueued(s);
    } else {
        InterpretAnswer(s);
    }

    if (s.UploadMode > 1) {
        s.UploadMode = 1;
        s.BusyTicks = RequestTicks;
    } else {
        s.UploadMode = 0;
        if (s.Reply[0] != '?')
            s.BusyTicks = 0;
    }
    ResetAssembler(s);
}
