#pragma once

#include "CommsState.h"

#include <cstdint>

// The protocol engine's steps, each on the module's state record.

// Silent ticks a request waits for its answer (or a bulk run for its next frame) before
// CommsEvent::TimedOut.
constexpr int RequestTicks = 20;

// Where the text of a text Set comes from decides how it is sent: a caller's text, and a queued
// one when it is finally sent, is fitted to the current test's length and starts at offset 0; a
// continuation goes on at the running offset; a retry goes back to the offset of the chunk that
// was refused.
enum class TextSource { Caller, Queued, Continuation, Retry };

int SendAsk(CommsState& s, CommsListener* listener, int index);
int SendSetValue(CommsState& s, CommsListener* listener, unsigned int value);
int SendSetText(CommsState& s, CommsListener* listener, const char* text, int length,
                TextSource source);

// Reads what the link has received into ReadBuffer; true when bytes came.
bool ReadStep(CommsState& s);
// One received byte into the frame assembler; a frame it completes is handled at once.
void FeedByte(CommsState& s, uint8_t c);
void HandleFrame(CommsState& s);
void StoreBulkFrame(CommsState& s, const uint8_t* data, int length);
void RunTimerTick(CommsState& s);
void RunArrival(CommsState& s);

inline void Post(CommsListener* listener, CommsEvent event) {
    if (listener != nullptr)
        listener->OnCommsEvent(event);
}
