#include "linkselect/PortDialogHost.h"
#include "linkselect/PortDialogLogic.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

// The preset as the list knows it: a port name stands for the entry that opens that port.
std::string PresetText(const PortDialogLogic& logic, const std::string& preset) {
    const PortDiscovery& ports = logic.Discovery();
    if (ports.FindPort(preset) >= 0) {
        return preset;
    }
    for (int i = 0; i < ports.PortCount(); ++i) {
        if (ports.Port(i).PortName == preset) {
            return ports.Port(i).DisplayText;
        }
    }
    return preset;
}

void Choose(PortDialogLogic& logic, const std::string& preset) {
    if (!preset.empty()) {
        logic.SetEditText(PresetText(logic, preset));
        logic.OnSelect();
        return;
    }
    std::fprintf(stderr, "%s:", PortDialogLogic::kSelectDevice);
    if (logic.ListItems().empty()) {
        std::fprintf(stderr, " no port found");
    }
    for (const std::string& item : logic.ListItems()) {
        std::fprintf(stderr, " \"%s\"", item.c_str());
    }
    std::fprintf(stderr, "\n");
    logic.OnOk();
}

} // namespace

int ConsolePortDialogHost::RunModal(PortDialogLogic& logic) {
    logic.OnInitDialog();
    bool chosen = false;
    while (!logic.Ended() && logic.TimerRunning()) {
        // The same pace as the window's timer, so the port sees the same timing between stages.
        if (QCoreApplication::instance() != nullptr) {
            QEventLoop loop;
            QTimer::singleShot(PortDialogLogic::kTimerPeriodMs, &loop, &QEventLoop::quit);
            loop.exec();
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(PortDialogLogic::kTimerPeriodMs));
        }
        logic.OnTimer(PortDialogLogic::kTimerId);
        if (!chosen && !logic.Ended() && logic.IsVisible(PortDialogLogic::kPortList)) {
            chosen = true;
            Choose(logic, preset_);
        }
    }
    return logic.Result() == PortDialogLogic::kRunning ? PortDialogLogic::kIdCancel
                                                       : logic.Result();
}
