#include "SessionFixture.h"

// Registered before gtest_main runs the tests.
static ::testing::Environment* const kPinnedTimeZone =
    ::testing::AddGlobalTestEnvironment(new PinnedTimeZone);
