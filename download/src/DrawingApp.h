#pragma once

#include <QCoreApplication>

#include <memory>

#include "download/ChartOutput.h"
#include "download/FrontEndApplication.h"

// The application object of a command that did not make one itself (plot, map, render --pdf):
// made for as long as this lives when there is none yet.
class DrawingApp {
public:
    DrawingApp() {
        if (QCoreApplication::instance() == nullptr) {
            app_ = MakeApplication(argc_, argv_, true);
        }
    }

private:
    int argc_ = 1;
    char name_[14] = "tavon-datalog";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QCoreApplication> app_;
};
