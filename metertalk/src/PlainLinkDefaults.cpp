#include "LinkDefaults.h"

#include "linkselect/StandardErrorPrompt.h"

namespace {

// No dialog and no port to open: opening reports "Cannot open serial port" and the engine stays
// idle, as it does when the user cancels the dialog.
class NoLinkChooser : public LinkChooser {
public:
    void SetParentApp(const AppInfo&) override {}
    void AddStaticText(const std::string&) override {}
    void AddPortName(const std::string&) override {}
    LinkPtr GetPort() override { return nullptr; }
    LinkPtr SetPort() override { return nullptr; }
};

} // namespace

LinkChooser& DefaultLinkChooser() {
    static NoLinkChooser chooser;
    return chooser;
}

UserPrompt& DefaultPrompt() {
    static StandardErrorPrompt prompt;
    return prompt;
}
