#pragma once

#include <memory>

class QCoreApplication;

// The application object of a command or of the watcher: a QApplication when it draws
// (offscreen when this machine has no display), otherwise a QCoreApplication. argc and argv
// must outlive it.
std::unique_ptr<QCoreApplication> MakeApplication(int& argc, char** argv, bool drawing);
