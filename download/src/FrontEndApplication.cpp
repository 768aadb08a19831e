#include "download/FrontEndApplication.h"

#include <QApplication>

std::unique_ptr<QCoreApplication> MakeApplication(int& argc, char** argv, bool drawing) {
    if (!drawing) {
        return std::make_unique<QCoreApplication>(argc, argv);
    }
    // Qt would end the process at the first widget without a display; charts need none.
    const bool display =
        !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (!display && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    return std::make_unique<QApplication>(argc, argv);
}
