#include "linkselect/LinkSelect.h"

// Thin start: the module-wide state and the dialog follow.
void CLinkSelect::SetParentApp(const AppInfo&) {}
void CLinkSelect::AddStaticText(const std::string&) {}
void CLinkSelect::AddPortName(const std::string&) {}
LinkPtr CLinkSelect::GetPort() {
    return nullptr;
}
LinkPtr CLinkSelect::SetPort() {
    return nullptr;
}
void CLinkSelect::SetUserPrompt(UserPrompt*) {}
void CLinkSelect::SetRegistry(Registry*) {}
void CLinkSelect::SetLinkOpener(LinkOpener*) {}
void CLinkSelect::SetDialogHost(PortDialogHost*) {}
void CLinkSelect::SetProcessEnd(void (*)()) {}
