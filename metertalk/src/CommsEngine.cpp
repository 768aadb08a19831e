#include "metertalk/CommsEngine.h"

#include "CommsState.h"
#include "Engine.h"
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

CommsEngine::CommsEngine() : m_state(new CommsState) {}

CommsEngine::~CommsEngine() = default;

bool CommsEngine::Open(LinkChooser& chooser, const AppInfo& app, const std::string& name,
                       const std::string& portNames, FailureBox box) {
    CommsState& s = *m_state;
    chooser.SetParentApp(app);
    chooser.AddStaticText("Select connection for " + name);
    SplitPortNames(portNames, [&chooser](const std::string& item) { chooser.AddPortName(item); });

    ReplacePort(s, chooser.GetPort());
    if (!s.Port && box == FailureBox::UnlessDeclined && chooser.Declined()) {
        return false;
    }
    if (!s.Port) {
        const char* const text = "Cannot open serial port\nIt may be in use by another "
                                 "application,\nor it may have been disabled";
        if (s.Prompt != nullptr)
            s.Prompt->Show(text, "Error");
        else
            ShowModulePrompt(text, "Error");
        return false;
    }
    Start();
    return true;
}

void CommsEngine::Attach(LinkPtr link) {
    ReplacePort(*m_state, std::move(link));
    Start();
}

void CommsEngine::Start() {
    CommsState& s = *m_state;
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
    s.QueuedListener = nullptr;
}

void CommsEngine::Close() {
    if (m_state->Port)
        m_state->Port->Close();
}

void CommsEngine::ChooseAgain(LinkChooser& chooser) {
    ReplacePort(*m_state, chooser.GetPort());
}

void CommsEngine::Reopen(LinkChooser& chooser) {
    ReplacePort(*m_state, chooser.SetPort());
}

void CommsEngine::SetDTR(unsigned long function) {
    CommsState& s = *m_state;
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

bool CommsEngine::LinkOpen() const {
    const LinkPtr& port = m_state->Port;
    return port && port->IsOpen();
}

bool CommsEngine::LinkIsPipe() const {
    const LinkPtr& port = m_state->Port;
    return port && port->IsPipe();
}

void CommsEngine::SetTestList(CTestList* list) {
    m_state->TestList = list;
}

int CommsEngine::Ask(CommsListener* listener, int index) {
    return Ask(listener, index, Refusal::TimesOut);
}

int CommsEngine::Ask(CommsListener* listener, int index, Refusal refusal) {
    // A continuation goes on as its read began.
    if (listener != nullptr)
        m_state->RefusalAnswers = refusal == Refusal::Answers ? 1 : 0;
    return SendAsk(*m_state, listener, index);
}

int CommsEngine::Set(CommsListener* listener, unsigned int value) {
    return SendSetValue(*m_state, listener, value);
}

int CommsEngine::Set(CommsListener* listener, const std::string& text) {
    return SendSetText(*m_state, listener, text.c_str(), static_cast<int>(text.size()),
                       TextSource::Caller);
}

int32_t CommsEngine::GetNewValue() const {
    return m_state->NewValue;
}

const char* CommsEngine::GetNewString() const {
    return m_state->NewString;
}

void CommsEngine::SetStringLength(int length) {
    if (length < 1 || length > 32)
        return;
    m_state->StringRemaining = length;
    m_state->SensorStride = length;
}

void CommsEngine::SetFileSize(int size, const std::string& caption) {
    CommsState& s = *m_state;
    s.ExpectedFrames = size / 12;
    if (!s.ProgressDialog)
        return;
    s.ProgressDialog->SetRange(std::clamp(s.ExpectedFrames, 0, ProgressRangeLimit));
    s.ProgressDialog->SetCaption(caption);
}

void CommsEngine::GetUploadedData(char* buffer, int& length) const {
    const CommsState& s = *m_state;
    if (buffer == nullptr)
        return;
    std::memcpy(buffer, s.UploadBuffer, static_cast<size_t>(s.UploadLength));
    buffer[s.UploadLength] = '\0';
    length = s.UploadLength;
}

int CommsEngine::GetUploadedData(char* buffer, int room, int& length) const {
    const CommsState& s = *m_state;
    length = 0;
    if (buffer == nullptr || room <= 0)
        return 0;
    const int copied = std::min(s.UploadLength, room - 1);
    std::memcpy(buffer, s.UploadBuffer, static_cast<size_t>(copied));
    buffer[copied] = '\0';
    length = copied;
    return copied == s.UploadLength ? 1 : 0;
}

int CommsEngine::GetUploadOverflow() const {
    return m_state->UploadOverflow;
}

void CommsEngine::OnTimer() {
    RunTimerTick(*m_state);
}

void CommsEngine::OnArrival() {
    RunArrival(*m_state);
}

void CommsEngine::ForgetListener(CommsListener* listener) {
    CommsState& s = *m_state;
    if (s.Listener == listener)
        s.Listener = nullptr;
    if (s.QueuedListener == listener)
        s.QueuedListener = nullptr;
}

void CommsEngine::SetUserPrompt(UserPrompt* prompt) {
    m_state->Prompt = prompt;
}

void CommsEngine::SetProgressFactory(ProgressFactory factory) {
    m_state->MakeProgress = std::move(factory);
}

CommsEngine& ModuleCommsEngine() {
    // Never destroyed: the link and the progress dialog are Qt objects, which must not be torn
    // down by static destruction after the application object has gone.
    static CommsEngine* const engine = new CommsEngine;
    return *engine;
}
