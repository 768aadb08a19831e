#include "linkselect/PortDialogLogic.h"

#include "linkselect/LinkOpener.h"
#include "linkselect/Settings.h"

#include <algorithm>
#include <cctype>

const Link::LineSettings PortDialogLogic::kInitialSettings = {9600, 8, Link::Parity::None, 2};
const Link::LineSettings PortDialogLogic::kWorkingSettings = {115200, 8, Link::Parity::None, 1};

namespace {

char Lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool LessIgnoringCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(Lower(x)) < static_cast<unsigned char>(Lower(y));
    });
}

bool BeginsIgnoringCase(const std::string& text, const std::string& prefix) {
    if (prefix.size() > text.size()) {
        return false;
    }
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (Lower(text[i]) != Lower(prefix[i])) {
            return false;
        }
    }
    return true;
}

// The order in which the modem lines are wiggled before the switch to the working settings; the
// instrument's Bluetooth and cable adapters expect exactly this.
constexpr Link::ModemLine kLineToggleSequence[] = {
    Link::ModemLine::SetRts, Link::ModemLine::SetDtr, Link::ModemLine::ClrDtr,
    Link::ModemLine::SetDtr, Link::ModemLine::ClrRts, Link::ModemLine::SetRts,
    Link::ModemLine::ClrRts, Link::ModemLine::SetRts, Link::ModemLine::ClrRts,
    Link::ModemLine::SetRts,
};

} // namespace

PortDialogLogic::ControlState& PortDialogLogic::State(Control control) {
    return *const_cast<ControlState*>(static_cast<const PortDialogLogic*>(this)->Find(control));
}

const PortDialogLogic::ControlState* PortDialogLogic::Find(Control control) const {
    switch (control) {
    case kCancelButton:
        return &cancel_;
    case kSelectButton:
        return &select_;
    case kCaptionLine:
        return &captionLine_;
    case kPortList:
        return &list_;
    case kStatusLine:
        return &status_;
    }
    return &status_;
}

bool PortDialogLogic::IsVisible(Control control) const {
    return Find(control)->visible;
}
bool PortDialogLogic::IsEnabled(Control control) const {
    return Find(control)->enabled;
}

bool PortDialogLogic::TakeDropDownRequest() {
    const bool requested = dropDownRequested_;
    dropDownRequested_ = false;
    return requested;
}

void PortDialogLogic::Reset() {
    CloseLink();
    selection_.clear();
    keySuffix_.clear();
    captionText_.clear();
    portNameList_.clear();
    firstShow_ = true;
    switchCountdown_ = 0;
    autoConnectPending_ = false;
    timerRunning_ = false;
    result_ = kRunning;
    endedByFatal_ = false;
}

void PortDialogLogic::OnInitDialog() {
    // A fresh window from the template.
    cancel_ = select_ = list_ = status_ = ControlState();
    captionLine_ = ControlState{false, true};
    statusText_ = kTemplateStatus;
    captionLineText_ = kTemplateCaptionLine;
    items_.clear();
    selectedItem_ = -1;
    editText_.clear();
    dropDownRequested_ = false;
    result_ = kRunning;
    endedByFatal_ = false;
    autoConnectPending_ = false;
    // A switch left pending by an earlier showing (Enter during the wait) must not run on
    // whatever this showing opens.
    switchCountdown_ = 0;

    timerRunning_ = true;

    if (ReadSetting("Find Bluetooth") == "TRUE") {
        const PortDiscovery::Outcome outcome = discovery_.DiscoverBluetoothPorts();
        if (outcome != PortDiscovery::Outcome::Ok) {
            Fatal(outcome);
            return;
        }
    } else {
        discovery_.ClearBluetoothPorts();
        WriteSetting("Find Bluetooth", "FALSE");
    }

    const PortDiscovery::Outcome outcome = discovery_.EnumerateSerialPorts();
    if (outcome != PortDiscovery::Outcome::Ok) {
        timerRunning_ = false;
        Fatal(outcome);
        return;
    }
    FillPortList();

    if (firstShow_) {
        Show(kStatusLine, true);
        Show(kCaptionLine, false);
        Show(kPortList, false);
        Show(kSelectButton, false);
        Show(kCancelButton, false);
        autoConnectPending_ = true;
    }
    firstShow_ = false;
    PutIntoList(selection_);
}

void PortDialogLogic::OnTimer(int timerId) {
    if (timerId != kTimerId || !timerRunning_ || Ended()) {
        return;
    }
    if (autoConnectPending_) {
        autoConnectPending_ = false;
        State(kSelectButton).enabled = true;
        State(kCancelButton).enabled = true;
        State(kPortList).enabled = true;
        captionLineText_ = captionText_;

        selection_ = ReadSetting(ComPortKey());
        PutIntoList(selection_);
        const int entry = discovery_.FindPort(selection_);
        if (entry < 0) {
            ShowChoice();
            statusText_ = kSelectDevice;
        } else if (OpenEntry(entry)) {
            ApplyInitialSettings();
            switchCountdown_ = 5;
            return;
        } else {
            statusText_ = kSelectDevice;
            ShowChoice();
            dropDownRequested_ = true;
        }
    }
    if (switchCountdown_ != 0) {
        --switchCountdown_;
        if (switchCountdown_ == 0) {
            SwitchToWorkingSettings();
        }
    }
    ReadControls();
}

void PortDialogLogic::OnSelect() {
    if (Ended()) {
        return;
    }
    ReadControls();
    Show(kCaptionLine, false);
    Show(kPortList, false);
    Show(kSelectButton, false);
    Show(kCancelButton, false);
    statusText_ = kInitialising;
    Show(kStatusLine, true);
    CloseLink();
    const int entry = discovery_.FindPort(selection_);
    if (entry >= 0 && OpenEntry(entry)) {
        ApplyInitialSettings();
        return;
    }
    link_.reset();
    OnOk();
}

void PortDialogLogic::OnCancel() {
    if (Ended()) {
        return;
    }
    CloseLink();
    // Only the Bluetooth part of the list is searched; without a match the entry just after it
    // is tried, which with Bluetooth discovery off is the first entry in table order.
    const int searched = std::min(discovery_.BluetoothPortCount(), discovery_.PortCount());
    int entry = 0;
    while (entry < searched && discovery_.Port(entry).DisplayText != selection_) {
        ++entry;
    }
    if (entry == searched) {
        entry = discovery_.BluetoothPortCount();
    }
    if (entry < discovery_.PortCount() && OpenEntry(entry)) {
        ApplyInitialSettings();
        return;
    }
    link_.reset();
    EndDialog(kIdCancel);
}

void PortDialogLogic::OnOk() {
    if (Ended()) {
        return;
    }
    ReadControls();
    EndDialog(kIdOk);
}

void PortDialogLogic::SetEditText(const std::string& text) {
    editText_ = text;
    selectedItem_ = -1;
    for (size_t i = 0; i < items_.size(); ++i) {
        if (items_[i] == text) {
            selectedItem_ = static_cast<int>(i);
            break;
        }
    }
}

LinkPtr PortDialogLogic::OpenSelectionNow() {
    CloseLink();
    const int entry = discovery_.FindPort(selection_);
    const std::string port = entry >= 0 ? discovery_.Port(entry).PortName : selection_;
    link_ = opener_ ? opener_->OpenSerial(port) : nullptr;
    if (!link_) {
        return nullptr;
    }
    ApplyInitialSettings();
    switchCountdown_ = 0;
    return BringToWorkingSettings() ? link_ : nullptr;
}

void PortDialogLogic::ShowChoice() {
    Show(kSelectButton, true);
    Show(kCancelButton, true);
    Show(kPortList, true);
}

void PortDialogLogic::FillPortList() {
    CloseLink();
    items_.clear();
    for (int i = 0; i < discovery_.PortCount(); ++i) {
        const std::string& text = discovery_.Port(i).DisplayText;
        items_.insert(std::upper_bound(items_.begin(), items_.end(), text, LessIgnoringCase), text);
    }
    selectedItem_ = -1;
}

void PortDialogLogic::PutIntoList(const std::string& text) {
    for (size_t i = 0; i < items_.size(); ++i) {
        if (BeginsIgnoringCase(items_[i], text)) {
            selectedItem_ = static_cast<int>(i);
            editText_ = items_[i];
            return;
        }
    }
    selectedItem_ = -1;
    editText_ = text;
}

void PortDialogLogic::CloseLink() {
    if (link_) {
        link_->Close();
        link_.reset();
    }
}

bool PortDialogLogic::OpenEntry(int index) {
    link_ = opener_ ? opener_->OpenSerial(discovery_.Port(index).PortName) : nullptr;
    return link_ != nullptr;
}

void PortDialogLogic::ApplyInitialSettings() {
    if (!link_) {
        return;
    }
    // The time-outs need no call: a link's reads never wait.
    link_->Configure(kInitialSettings);
    link_->SetQueueSizes(kInputQueue, kOutputQueue);
    link_->SetModemLine(Link::ModemLine::SetRts);
    link_->SetModemLine(Link::ModemLine::SetDtr);
    switchCountdown_ = 2;
}

bool PortDialogLogic::BringToWorkingSettings() {
    if (link_) {
        for (Link::ModemLine line : kLineToggleSequence) {
            link_->SetModemLine(line);
        }
    }
    if (link_ && link_->Configure(kWorkingSettings)) {
        link_->SetQueueSizes(kInputQueue, kOutputQueue);
        WriteSetting(ComPortKey(), selection_);
        return true;
    }
    CloseLink();
    // Forget the entry so that the next start does not try it again by itself.
    WriteSetting(ComPortKey(), "");
    WriteSetting(ConnectToKey(), "");
    return false;
}

void PortDialogLogic::SwitchToWorkingSettings() {
    BringToWorkingSettings();
    OnOk();
}

void PortDialogLogic::EndDialog(int result) {
    result_ = result;
    timerRunning_ = false;
    switchCountdown_ = 0;
}

void PortDialogLogic::Fatal(PortDiscovery::Outcome outcome) {
    CloseLink();
    if (fatal_) {
        fatal_(PortDiscovery::FatalMessage(outcome));
    }
    endedByFatal_ = true;
    EndDialog(kIdCancel);
}
