#include "download/LinkChoice.h"

#include <cstdio>

#include "linkselect/LinkSelection.h"
#include "linkselect/PipeLink.h"
#include "linkselect/PortDialogLogic.h"
#include "linkselect/SerialLink.h"
#include "linkselect/Settings.h"
#include "session/LinkClaim.h"

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

// This download opens one link: the first one named, else the default choice.
enum class Choice { Default, Pipe, Port };

Choice ChoiceOf(const DownloadOptions& options) {
    if (options.links.empty()) {
        return Choice::Default;
    }
    return options.links.front().kind == DownloadLink::Kind::Pipe ? Choice::Pipe : Choice::Port;
}

std::string NameOf(const DownloadOptions& options) {
    return options.links.empty() ? std::string(kCompanionPipeName) : options.links.front().name;
}

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
    if (ChoiceOf(options) == Choice::Port) {
        m_oneDevice.AddKey(kPairedDevicesKey);
        m_oneDevice.AddKey(kBluetoothEnumKey);
        m_oneDevice.SetString(kSerialCommKey, kCableDevice, NameOf(options));
    }
}

void LinkChoice::Install(LinkSelection& select) {
    // A discovery that cannot run ends the attempt without a link, never the program; the
    // download then says what it tried.
    select.SetFatalEnd(nullptr);
    select.SetLinkOpener(&m_opener);
    switch (ChoiceOf(m_options)) {
    case Choice::Pipe:
        select.SetDialogHost(&m_noDialog);
        break;
    case Choice::Port:
        select.SetRegistry(&m_oneDevice);
        m_console = std::make_unique<ConsolePortDialogHost>(NameOf(m_options));
        select.SetDialogHost(m_console.get());
        break;
    case Choice::Default:
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
    if (!Holder().empty()) {
        return "held by " + Holder();
    }
    const std::string pipe = "no instrument: nothing serves the pipe \"";
    switch (ChoiceOf(m_options)) {
    case Choice::Pipe:
        return pipe + NameOf(m_options) + "\"";
    case Choice::Port:
        return "no instrument: the serial port " + NameOf(m_options) +
               " cannot be opened and brought up";
    case Choice::Default:
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
    return NameOf(m_options);
}

LinkPtr LinkChoice::Opener::OpenPipe() {
    if (ChoiceOf(m_options) == Choice::Port) {
        return nullptr;
    }
    const std::string name = NameOf(m_options);
    return Claimed(LinkClaim::LinkName(true, name), [&name] { return PipeLink::Open(name); });
}

LinkPtr LinkChoice::Opener::OpenSerial(const std::string& portName) {
    if (ChoiceOf(m_options) == Choice::Pipe) {
        return nullptr;
    }
    return Claimed(LinkClaim::LinkName(false, portName),
                   [&portName] { return SerialLink::Open(portName); });
}

LinkPtr LinkChoice::Opener::Claimed(const std::string& claim,
                                    const std::function<LinkPtr()>& open) {
    if (m_claim && claim == m_claimName) {
        return open(); // the same port brought up again, its second stage: still ours
    }
    LinkPtr link = LinkClaim::OpenClaimed(claim, open, m_claim, m_holder);
    if (link) {
        m_claimName = claim;
    }
    return link;
}

int LinkChoice::NoDialog::RunModal(PortDialogLogic& logic) {
    (void)logic;
    return PortDialogLogic::kIdCancel;
}
