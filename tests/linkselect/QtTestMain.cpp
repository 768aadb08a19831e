#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

// The Qt tests need an application object, no display and a temporary directory of their own, so
// that their "RAK Pipe" never meets a real one.
int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    char pattern[] = "/tmp/linkselect-pipes-XXXXXX";
    const char* pipes = mkdtemp(pattern);
    if (pipes == nullptr) {
        return 1;
    }
    setenv("TMPDIR", pipes, 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    const std::string cleanup = std::string("rm -rf '") + pipes + "'";
    if (std::system(cleanup.c_str()) != 0) {
        return result == 0 ? 1 : result;
    }
    return result;
}
