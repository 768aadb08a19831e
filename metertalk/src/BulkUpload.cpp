#include "Engine.h"

#include <algorithm>
#include <cstring>

namespace {

// The dialog is worth showing only for runs longer than this many frames.
constexpr int ShowDialogAbove = 100;
constexpr int ProgressStep = 10;

} // namespace

void StoreBulkFrame(CommsState& s, const uint8_t* data, int length) {
    ++s.FrameCount;
    if (s.FrameCount % ProgressStep == 0 && s.ProgressDialog)
        s.ProgressDialog->SetPosition(s.FrameCount);

    int offset = s.UploadLength;
    if (s.UploadStarted == 0) {
        if (s.ExpectedFrames > ShowDialogAbove && s.ProgressDialog)
            s.ProgressDialog->Show();
        s.UploadStarted = 1;
        s.UploadOverflow = 0;
        offset = 0;
    }

    // A run longer than the buffer keeps what fits and remembers that the rest was lost.
    const int capacity = static_cast<int>(sizeof s.UploadBuffer);
    offset = std::clamp(offset, 0, capacity);
    const int stored = std::min(std::max(length, 0), capacity - offset);
    if (stored < length)
        s.UploadOverflow = 1;
    std::memcpy(s.UploadBuffer + offset, data, static_cast<size_t>(stored));
    s.UploadLength = offset + stored;
    if (s.UploadLength < capacity)
        s.UploadBuffer[s.UploadLength] = 0;

    s.BusyTicks = RequestTicks;
}
