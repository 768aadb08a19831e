#pragma once

#include <cstdint>
#include <string>

namespace sim {

// Link faults the simulated instrument can inject, each with its own probability.
struct FaultPlan {
    double checksum = 0;  // corrupt the checksum of a frame
    double drop = 0;      // send nothing at all for a request
    double refuse = 0;    // answer a request with '?'
    double garbage = 0;   // put noise bytes before a frame
    long stallAfter = -1; // stop sending for good after this many frames; -1: never

    bool Any() const {
        return checksum > 0 || drop > 0 || refuse > 0 || garbage > 0 || stallAfter >= 0;
    }
};

// Parses "checksum:P,drop:P,refuse:P,garbage:P,stall-after:N" (any subset, any order).
// Returns false with a message naming the bad item.
bool ParseFaultPlan(const std::string& text, FaultPlan& plan, std::string& error);

// A small deterministic generator (splitmix64). Each fault kind draws from its own stream, so
// enabling one fault never shifts the decisions of another.
class Dice {
public:
    explicit Dice(uint64_t seed) : m_state(seed) {}
    uint64_t Next();
    // True with probability p (never for p <= 0, always for p >= 1).
    bool Chance(double p);
    // A value in [0, n).
    uint32_t Below(uint32_t n) { return n == 0 ? 0 : static_cast<uint32_t>(Next() % n); }

private:
    uint64_t m_state;
};

} // namespace sim
