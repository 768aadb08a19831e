#include "LinkChoice.h"

#include <cstdio>

#include "linkselect/LinkSelection.h"
#include "linkselect/PipeLink.h"
#include "linkselect/PortDialogLogic.h"
#include "linkselect/SerialLink.h"
#include "linkselect/Settings.h"

namespace {

// The keys port discovery reads. The paired-device keys exist, empty, so that a Settings.ini
// that asks for Bluetooth discovery finds nothing instead of ending the program.
const char kSerialCommKey[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
const char kPairedDevicesKey[] =
    "SYSTEM\\CurrentControlSet\\services\\BTHPORT\\Parameters\\Devices";
const char kBluetoothEnumKey[] = "SYSTEM\\CurrentControlSet\\Enum\\BTHENUM";
// A cable converter's device name, so that discovery lists the port as "IrDA Port DEVICE".
const char kCableDevice[] = "\\Device\\VCP0";
// The port the connection dialog remembers, under the program's own key (no command-line suffix).
const char kComPortKey[] = "Com Port";

} // namespace

void StderrPrompt::Show(const std::string& text, const std::string& caption) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

void HeldPrompt::Show(const std::string& text, const std::string& caption) {
    m_held.emplace_back(text, caption);
}

void HeldPrompt::PassOn(UserPrompt& to) {
    for (const auto& [text, caption] : m_held) {
        to.Show(text, caption);
    }
    m_held.clear();
}

LinkChoice::LinkChoice(const DownloadOptions& options)
    : m_options(options), m_app{"tavon-datalog", std::string()}, m_opener(options) {
    if (options.link == DownloadOptions::LinkKind::Port) {
        m_oneDevice.AddKey(kPairedDevicesKey);
        m_oneDevice.AddKey(kBluetoothEnumKey);
        m_oneDevice.SetString(kSerialCommKey, kCableDevice, options.port);
    }
}

void LinkChoice::Install(LinkSelection& select) {
    // A discovery that cannot run ends the attempt without a link, never the program; the
    // download then says what it tried.
    select.SetFatalEnd(nullptr);
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
        // With no port remembered there is nothing to bring up without asking; the dialog is
        // not run, so a machine without an instrument is left as it was.
        m_remembered = ReadSetting(kComPortKey);
        if (m_remembered.empty()) {
            select.SetDialogHost(&m_noDialog);
        } else {
            m_console = std::make_unique<ConsolePortDialogHost>();
            select.SetDialogHost(m_console.get());
        }
        break;
    }
}

std::string LinkChoice::FailureHint() const {
    const std::string pipe = "no instrument: nothing serves the pipe \"";
    switch (m_options.link) {
    case DownloadOptions::LinkKind::Pipe:
        return pipe + m_options.pipeName + "\"";
    case DownloadOptions::LinkKind::Port:
        return "no instrument: the serial port " + m_options.port +
               " cannot be opened and brought up";
    case DownloadOptions::LinkKind::Default:
        if (m_remembered.empty()) {
            return pipe + kCompanionPipeName +
                   "\" and no serial port is remembered in Settings.ini (name one with --port)";
        }
        return pipe + kCompanionPipeName + "\" and the port \"" + m_remembered +
               "\" remembered in Settings.ini cannot be opened";
    }
    return std::string();
}

std::string LinkChoice::LinkName() const {
    return m_options.link == DownloadOptions::LinkKind::Port ? m_options.port : m_options.pipeName;
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
