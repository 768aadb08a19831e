#include "CommsState.h"

#include <utility>

namespace {

CommsState state;

} // namespace

CommsState& Comms() {
    return state;
}

void ResetCommsState() {
    CComms::ProgressFactory factory = std::move(state.MakeProgress);
    state = CommsState{};
    state.MakeProgress = std::move(factory);
}
