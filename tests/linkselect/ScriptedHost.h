#pragma once

#include "linkselect/PortDialogHost.h"
#include "linkselect/PortDialogLogic.h"

#include <string>

// Runs the dialog's logic without windows or waiting: ticks until it ends; where the user would
// choose, types `choice` and presses Select, or presses Enter when there is no choice.
class ScriptedHost : public PortDialogHost {
public:
    int RunModal(PortDialogLogic& logic) override {
        ++runs;
        logic.OnInitDialog();
        bool chosen = false;
        for (int tick = 0; tick < 100 && !logic.Ended(); ++tick) {
            logic.OnTimer(PortDialogLogic::kTimerId);
            if (!chosen && !logic.Ended() && logic.IsVisible(PortDialogLogic::kPortList)) {
                chosen = true;
                if (choice.empty()) {
                    logic.OnOk();
                } else {
                    logic.SetEditText(choice);
                    logic.OnSelect();
                }
            }
        }
        return logic.Result();
    }

    std::string choice;
    int runs = 0;
};
