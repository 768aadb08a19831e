#include "linkselect/LinkSelect.h"

#include "linkselect/LinkSelection.h"

void CLinkSelect::SetParentApp(const AppInfo& app) {
    ModuleLinkSelection().SetParentApp(app);
}

void CLinkSelect::AddStaticText(const std::string& text) {
    ModuleLinkSelection().AddStaticText(text);
}

void CLinkSelect::AddPortName(const std::string& name) {
    ModuleLinkSelection().AddPortName(name);
}

LinkPtr CLinkSelect::GetPort() {
    return ModuleLinkSelection().GetPort();
}

LinkPtr CLinkSelect::SetPort() {
    return ModuleLinkSelection().SetPort();
}

void CLinkSelect::SetUserPrompt(UserPrompt* prompt) {
    ModuleLinkSelection().SetUserPrompt(prompt);
}

void CLinkSelect::SetRegistry(Registry* registry) {
    ModuleLinkSelection().SetRegistry(registry);
}

void CLinkSelect::SetLinkOpener(LinkOpener* opener) {
    ModuleLinkSelection().SetLinkOpener(opener);
}

void CLinkSelect::SetDialogHost(PortDialogHost* host) {
    ModuleLinkSelection().SetDialogHost(host);
}

void CLinkSelect::SetProcessEnd(void (*end)()) {
    ModuleLinkSelection().SetFatalEnd(end != nullptr ? std::function<void()>(end) : nullptr);
}

void CLinkSelect::ResetModuleState() {
    ModuleLinkSelection().Reset();
}
