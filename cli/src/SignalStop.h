#pragma once

#include "archive/SyncStop.h"

// While it lives, Ctrl-C (SIGINT) and SIGTERM ask a long archive command to stop between two of
// its batches instead of ending the program; a second one ends it at once, as it would have
// without this (what was committed stays either way).
class SignalStop final : public archive::SyncStop {
public:
    SignalStop();
    ~SignalStop() override;
    SignalStop(const SignalStop&) = delete;
    SignalStop& operator=(const SignalStop&) = delete;

    bool Asked() const override;
};
