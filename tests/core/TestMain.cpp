#include <cstdlib>
#include <ctime>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Session labels are local times; the tests expect the same text in every time zone, so pin
    // one.
    setenv("TZ", "UTC0", 1);
    tzset();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
