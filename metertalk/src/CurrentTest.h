#pragma once

#include "CommsState.h"

// The fields of the current test that a command needs, read from the caller's test list. With no
// list there is no current test: the number reads as -1.
struct CurrentTest {
    int Number = -1;
    int Type = 0;
    int NoBytes = 0;
    int PerSensor = 0;
    int SensorNumber = 0;
    int InterfaceVersion = 0;
};

CurrentTest ReadCurrentTest(const CommsState& s);
