#include "SignalStop.h"

#include <csignal>

namespace {

volatile std::sig_atomic_t g_asked = 0;

extern "C" void OnStopSignal(int signal) {
    g_asked = 1;
    std::signal(signal, SIG_DFL);
}

} // namespace

SignalStop::SignalStop() {
    g_asked = 0;
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
}

SignalStop::~SignalStop() {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

bool SignalStop::Asked() const {
    return g_asked != 0;
}
