#include "metertalk/engine/CommsState.h"

#include <utility>

namespace {

// Never destroyed: the link and the progress dialog are Qt objects, which must not be torn down
// by static destruction after the application object has gone.
CommsState& State() {
    static CommsState* const state = new CommsState;
    return *state;
}

} // namespace

CommsState& Comms() {
    return State();
}

void ResetCommsState() {
    CommsState& state = State();
    CComms::ProgressFactory factory = std::move(state.MakeProgress);
    state = CommsState{};
    state.MakeProgress = std::move(factory);
}
