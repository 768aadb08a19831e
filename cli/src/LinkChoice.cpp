#include "LinkChoice.h"

#include <cstdio>
#include <cstdlib>

#include "ExitStatus.h"
#include "linkselect/LinkSelect.h"
#include "linkselect/PipeLink.h"
#include "linkselect/PortDialogLogic.h"
#include "linkselect/SerialLink.h"

namespace {

// The keys port discovery reads. The paired-device keys exist, empty, so that a Settings.ini
// that asks for Bluetooth discovery finds nothing instead of ending the program.
const char kSerialCommKey[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
const char kPairedDevicesKey[] =
    "SYSTEM\\CurrentControlSet\\services\\BTHPORT\\Parameters\\Devices";
const char kBluetoothEnumKey[] = "SYSTEM\\CurrentControlSet\\Enum\\BTHENUM";
// A cable converter's device name, so that discovery lists the port as "IrDA Port DEVICE".
const char kCableDevice[] = "\\Device\\VCP0";

void EndWithoutLink() {
    std::fflush(nullptr);
    std::_Exit(kExitNoLink);
}

} // namespace

void StderrPrompt::Show(const std::string& text, const std::string& caption) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

LinkChoice::LinkChoice(const DownloadOptions& options)
    : m_options(options), m_app{"tavon-datalog", std::string()}, m_opener(options) {
    if (options.link == DownloadOptions::LinkKind::Port) {
        m_oneDevice.AddKey(kPairedDevicesKey);
        m_oneDevice.AddKey(kBluetoothEnumKey);
        m_oneDevice.SetString(kSerialCommKey, kCableDevice, options.port);
    }
}

void LinkChoice::Install() {
    CLinkSelect select;
    // A discovery that cannot run ends the program, as in the dialog, but as a failure.
    select.SetProcessEnd(EndWithoutLink);
    select.SetLinkOpener(&m_opener);
    switch (m_options.link) {
    case DownloadOptions::LinkKind::Pipe:
        select.SetDialogHost(&m_noDialog);
        break;
    case DownloadOptions::LinkKind::Port:
        select.SetRegistry(&m_oneDevice);
        m_console = std::make_unique<ConsolePortDialogHost>(m_options.port);
        select.SetDialogHost(m_console.get());
        break;
    case DownloadOptions::LinkKind::Default:
        m_console = std::make_unique<ConsolePortDialogHost>();
        select.SetDialogHost(m_console.get());
        break;
    }
}

std::string LinkChoice::FailureHint() const {
    switch (m_options.link) {
    case DownloadOptions::LinkKind::Pipe:
        return "no instrument serves the pipe \"" + m_options.pipeName + "\"";
    case DownloadOptions::LinkKind::Port:
        return "cannot bring up the serial port " + m_options.port;
    case DownloadOptions::LinkKind::Default:
        return "no instrument on the pipe \"" + std::string(PipeLink::kServerName) +
               "\" nor on a remembered port (see --pipe and --port)";
    }
    return std::string();
}

LinkPtr LinkChoice::Opener::OpenPipe() {
    if (m_options.link == DownloadOptions::LinkKind::Port) {
        return nullptr;
    }
    return PipeLink::Open(m_options.pipeName);
}

LinkPtr LinkChoice::Opener::OpenSerial(const std::string& portName) {
    if (m_options.link == DownloadOptions::LinkKind::Pipe) {
        return nullptr;
    }
    return SerialLink::Open(portName);
}

int LinkChoice::NoDialog::RunModal(PortDialogLogic& logic) {
    (void)logic;
    return PortDialogLogic::kIdCancel;
}
