#pragma once

#include "linkselect/Link.h"
#include "linkselect/LinkChooser.h"
#include "linkselect/LinkSelectExport.h"
#include "linkselect/LinkSelection.h"
#include "linkselect/Platform.h"

#include <string>

class LinkOpener;
class PortDialogHost;
class Registry;

// The connection-selection library's documented interface. It has no state of its own: every
// method, on any instance, works on the one module-wide selection (ModuleLinkSelection,
// LinkSelection.h), so a caller may create a CLinkSelect wherever it needs one.
//
// Expected order: SetParentApp first, then AddStaticText / AddPortName in any order, then
// GetPort. GetPort may be called again later to choose anew; the dialog then closes the serial
// link it handed out before, which stays a valid object whose reads and writes fail.
class LINKSELECT_EXPORT CLinkSelect : public LinkChooser {
public:
    // The application's name decides whether GetPort tries the companion pipe (not when it
    // contains "RAK"); its command line suffixes the "Com Port" and "Connect To" settings keys.
    void SetParentApp(const AppInfo& app) override;
    // Text handed to the dialog's hidden caption line.
    void AddStaticText(const std::string& text) override;
    // Recorded only; the ports offered come from discovery, never from these names.
    void AddPortName(const std::string& name) override;
    // The companion pipe when it can be opened (warning "data in pipe" when bytes already wait),
    // otherwise the link chosen in the selection dialog. Null when there is no link.
    LinkPtr GetPort() override;
    // Opens without showing the dialog: the pipe whatever the application's name, else the port
    // of the current selection, brought up to its working settings at once. Null on failure.
    LinkPtr SetPort() override;
    int GetDllVersion() const { return 102; }

    // Platform hooks, module-wide like everything else here. Each pointer stays owned by the
    // caller and must outlive its use; null restores the default.
    //
    // Message boxes, including the fatal discovery messages. Default: a QMessageBox when a
    // QApplication runs, standard error otherwise.
    void SetUserPrompt(UserPrompt* prompt);
    // Where ports are discovered. Default: the Windows registry, or sysfs and BlueZ on Linux.
    void SetRegistry(Registry* registry);
    // How the pipe and serial ports are opened. Default: QLocalSocket "RAK Pipe" and QSerialPort.
    void SetLinkOpener(LinkOpener* opener);
    // What shows the selection dialog modally. Default: the Qt widget dialog.
    void SetDialogHost(PortDialogHost* host);
    // What follows a fatal discovery message once its box is closed: the program that ends
    // there installs its end here. Default (and null): the choice ends without a link.
    void SetProcessEnd(void (*end)());

    // Back to the state the library had when it was loaded (first showing still to come, no
    // selection, no link); the hooks stay. For tests that need several first showings.
    void ResetModuleState();
};
