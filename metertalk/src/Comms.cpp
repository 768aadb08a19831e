#include "metertalk/Comms.h"

#include "Engine.h"
#include "LinkDefaults.h"
#include "ModulePrompt.h"
#include "metertalk/engine/PortNameList.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

// The progress bar's range travels in 16 bits.
constexpr int ProgressRangeLimit = 65535;

// A replaced pipe would otherwise stay connected for the rest of the run; the selection library
// closes the serial ports it replaces itself.
void ReplacePort(CommsState& s, LinkPtr link) {
    LinkPtr old = std::move(s.Port);
    s.Port = std::move(link);
    if (old && old != s.Port && old->IsPipe())
        old->Close();
}

} // namespace

int CComms::InitCom(const AppInfo* app, const std::string& name, const std::string& portNames) {
    CommsState& s = Comms();
    if (app == nullptr) {
        // Nothing is said to the instrument; the link object stays, closed.
        if (s.Port)
            s.Port->Close();
        return 0;
    }

    LinkChooser& chooser = DefaultLinkChooser();
    chooser.SetParentApp(*app);
    chooser.AddStaticText("Select connection for " + name);
    SplitPortNames(portNames, [&chooser](const std::string& item) { chooser.AddPortName(item); });

    ReplacePort(s, chooser.GetPort());
    if (!s.Port) {
        ShowModulePrompt("Cannot open serial port\nIt may be in use by another application,\nor "
                         "it may have been disabled",
                         "Error");
        return 0;
    }

    s.ProgressDialog = s.MakeProgress ? s.MakeProgress() : nullptr;
    if (s.ProgressDialog)
        s.ProgressDialog->Hide();
    s.BusyTicks = 0;
    s.Heard = 0;
    s.ReadPos = 0;
    s.ReadCount = 0;
    s.FrameLength = 0;
    s.InFrame = 0;
    s.FrameIndex = 0;
    s.StringRemaining = 4;
    s.StringPos = 0;
    s.QueuedIsSet = 0;
    s.QueuedWindow = nullptr;
    return 1;
}

void CComms::SetTestList(CTestList* list) {
    Comms().TestList = list;
}

void CComms::SetProperties() {
    CommsState& s = Comms();
    ReplacePort(s, DefaultLinkChooser().GetPort());
}

void CComms::ReOpen() {
    CommsState& s = Comms();
    ReplacePort(s, DefaultLinkChooser().SetPort());
}

void CComms::SetDTR(unsigned long function) {
    CommsState& s = Comms();
    if (!s.Port)
        return;
    switch (function) {
    case SETRTS:
        s.Port->SetModemLine(Link::ModemLine::SetRts);
        break;
    case CLRRTS:
        s.Port->SetModemLine(Link::ModemLine::ClrRts);
        break;
    case SETDTR:
        s.Port->SetModemLine(Link::ModemLine::SetDtr);
        break;
    case CLRDTR:
        s.Port->SetModemLine(Link::ModemLine::ClrDtr);
        break;
    default:
        break;
    }
}

int CComms::Ask(CommandTarget* target, int index) {
    return SendAsk(Comms(), target, index);
}

int CComms::Set(CommandTarget* target, unsigned int value) {
    return SendSetValue(Comms(), target, value);
}

int CComms::Set(CommandTarget* target, const std::string& text) {
    return SendSetText(Comms(), target, text.c_str(), static_cast<int>(text.size()),
                       TextSource::Caller);
}

int32_t CComms::GetNewValue() const {
    return Comms().NewValue;
}

bool CComms::LinkOpen() const {
    const LinkPtr& port = Comms().Port;
    return port && port->IsOpen();
}

bool CComms::LinkIsPipe() const {
    const LinkPtr& port = Comms().Port;
    return port && port->IsPipe();
}

const char* CComms::GetNewString() const {
    return Comms().NewString;
}

void CComms::SetStringLength(int length) {
    if (length < 1 || length > 32)
        return;
    CommsState& s = Comms();
    s.StringRemaining = length;
    s.SensorStride = length;
}

void CComms::SetFileSize(int size, const std::string& caption) {
    CommsState& s = Comms();
    s.ExpectedFrames = size / 12;
    if (!s.ProgressDialog)
        return;
    s.ProgressDialog->SetRange(std::clamp(s.ExpectedFrames, 0, ProgressRangeLimit));
    s.ProgressDialog->SetCaption(caption);
}

void CComms::GetUploadedData(char* buffer, int& length) const {
    const CommsState& s = Comms();
    if (buffer == nullptr)
        return;
    std::memcpy(buffer, s.UploadBuffer, static_cast<size_t>(s.UploadLength));
    buffer[s.UploadLength] = '\0';
    length = s.UploadLength;
}

int CComms::GetUploadedData(char* buffer, int room, int& length) const {
    const CommsState& s = Comms();
    length = 0;
    if (buffer == nullptr || room <= 0)
        return 0;
    const int copied = std::min(s.UploadLength, room - 1);
    std::memcpy(buffer, s.UploadBuffer, static_cast<size_t>(copied));
    buffer[copied] = '\0';
    length = copied;
    return copied == s.UploadLength ? 1 : 0;
}

int CComms::GetUploadOverflow() const {
    return Comms().UploadOverflow;
}

void CComms::OnTimer() {
    RunTimerTick(Comms());
}

void CComms::OnArrival() {
    RunArrival(Comms());
}

void CComms::SetUserPrompt(UserPrompt* prompt) {
    SetModulePrompt(prompt);
}

void CComms::SetProgressFactory(ProgressFactory factory) {
    Comms().MakeProgress = std::move(factory);
}
