#include "metertalk/Comms.h"

#include "LinkDefaults.h"
#include "ModulePrompt.h"
#include "metertalk/CommsEngine.h"

int CComms::InitCom(const AppInfo* app, const std::string& name, const std::string& portNames) {
    if (app == nullptr) {
        ModuleCommsEngine().Close();
        return 0;
    }
    return ModuleCommsEngine().Open(DefaultLinkChooser(), *app, name, portNames) ? 1 : 0;
}

void CComms::SetTestList(CTestList* list) {
    ModuleCommsEngine().SetTestList(list);
}

void CComms::SetProperties() {
    ModuleCommsEngine().ChooseAgain(DefaultLinkChooser());
}

void CComms::ReOpen() {
    ModuleCommsEngine().Reopen(DefaultLinkChooser());
}

bool CComms::LinkOpen() const {
    return ModuleCommsEngine().LinkOpen();
}

bool CComms::LinkIsPipe() const {
    return ModuleCommsEngine().LinkIsPipe();
}

void CComms::SetDTR(unsigned long function) {
    ModuleCommsEngine().SetDTR(function);
}

int CComms::Ask(CommandTarget* target, int index) {
    return ModuleCommsEngine().Ask(target, index);
}

int CComms::Set(CommandTarget* target, unsigned int value) {
    return ModuleCommsEngine().Set(target, value);
}

int CComms::Set(CommandTarget* target, const std::string& text) {
    return ModuleCommsEngine().Set(target, text);
}

int32_t CComms::GetNewValue() const {
    return ModuleCommsEngine().GetNewValue();
}

const char* CComms::GetNewString() const {
    return ModuleCommsEngine().GetNewString();
}

void CComms::SetStringLength(int length) {
    ModuleCommsEngine().SetStringLength(length);
}

void CComms::SetFileSize(int size, const std::string& caption) {
    ModuleCommsEngine().SetFileSize(size, caption);
}

void CComms::GetUploadedData(char* buffer, int& length) const {
    ModuleCommsEngine().GetUploadedData(buffer, length);
}

int CComms::GetUploadedData(char* buffer, int room, int& length) const {
    return ModuleCommsEngine().GetUploadedData(buffer, room, length);
}

int CComms::GetUploadOverflow() const {
    return ModuleCommsEngine().GetUploadOverflow();
}

void CComms::OnTimer() {
    ModuleCommsEngine().OnTimer();
}

void CComms::OnArrival() {
    ModuleCommsEngine().OnArrival();
}

void CComms::SetUserPrompt(UserPrompt* prompt) {
    // The module's prompt: the boxes of every CComms and CTestList of the process.
    SetModulePrompt(prompt);
}

void CComms::SetProgressFactory(ProgressFactory factory) {
    ModuleCommsEngine().SetProgressFactory(std::move(factory));
}
