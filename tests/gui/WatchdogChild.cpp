// A stand-in program for the watchdog tests: its "tick" runs for a while and then either stops
// (the watchdog must end the process) or holds the counter at -1 (it must not).
#include "gui/Watchdog.h"

#include <chrono>
#include <cstring>
#include <thread>

int main(int argc, char** argv) {
    using namespace std::chrono;
    const bool hold = argc > 1 && std::strcmp(argv[1], "hold") == 0;
    // 20 ms period, limit 10: about 200 ms after the last tick.
    Watchdog watchdog(milliseconds(20), 10, &Watchdog::EndThisProcess);
    watchdog.Start();
    const auto tickUntil = steady_clock::now() + milliseconds(400);
    while (steady_clock::now() < tickUntil) {
        watchdog.Reset();
        std::this_thread::sleep_for(milliseconds(10));
    }
    if (hold) {
        watchdog.Hold();
    }
    std::this_thread::sleep_for(milliseconds(1500));
    return 42; // reached only when the watchdog left the process alone
}
