#include "testsupport/EnvGuard.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Session labels are local times; the tests expect the same text in every time zone, so pin
    // one.
    const testsupport::ZoneGuard zone("UTC0");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
