#include "testsupport/TempDir.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

// The Qt tests need an application object, no display and a temporary directory of their own, so
// that their "RAK Pipe" never meets a real one.
int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const testsupport::PrivateTmpDir pipes("linkselect-pipes-");
    if (!pipes.Ok()) {
        return 1;
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
