// Fast uploads change when bytes are read, never what is said: the same instrument, with the same
// faults, sees the same command lines, and the program the same notifications, at both paces.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "SimulatedDownload.h"

namespace {

using simdownload::Download;
using simdownload::Outcome;

struct Case {
    const char* faults;
    uint64_t seed;
    std::optional<CommsEvent> seen; // an event the faults must have brought
};

class PaceTest : public ::testing::TestWithParam<Case> {};

TEST_P(PaceTest, FastSaysWhatTheDesignedPaceSays) {
    const Outcome designed = Download(false, GetParam().faults, GetParam().seed);
    const Outcome fast = Download(true, GetParam().faults, GetParam().seed);
    EXPECT_EQ(designed.sectors, 10);
    EXPECT_EQ(designed.pieces, 4);
    if (GetParam().seen) {
        EXPECT_NE(std::count(designed.notifications.begin(), designed.notifications.end(),
                             *GetParam().seen),
                  0);
    }
    EXPECT_EQ(fast.wire, designed.wire);
    EXPECT_EQ(fast.notifications, designed.notifications);
    EXPECT_EQ(fast.sectors, designed.sectors);
    EXPECT_EQ(fast.pieces, designed.pieces);
    EXPECT_LT(fast.ticks * 3, designed.ticks) << "fast mode took as many ticks as the design";
}

// Refusals are resent, dropped answers and spoilt checksums end in time-outs and re-asks, noise
// before a frame is skipped: each at both paces alike. Time-outs are waited in real time at both
// paces, so each seed is one whose faults cost a few of them rather than many.
INSTANTIATE_TEST_SUITE_P(Faults, PaceTest,
                         ::testing::Values(Case{"", 1, {}},
                                           Case{"refuse:0.2", 2, CommsEvent::TimedOut},
                                           Case{"drop:0.1", 3, CommsEvent::TimedOut},
                                           Case{"checksum:0.01", 1, CommsEvent::ChecksumError},
                                           Case{"garbage:0.5", 5, {}}));

} // namespace
