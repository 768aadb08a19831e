#pragma once

#include "linkselect/LinkChooser.h"
#include "linkselect/LinkSelectExport.h"
#include "linkselect/Platform.h"

#include <functional>
#include <memory>
#include <string>

class LinkOpener;
class PortDialogHost;
class Registry;

// One choice of link: its selection dialog with the values the dialog keeps, and the platform it
// runs on (where ports are discovered, how links are opened, what shows the dialog and the boxes).
// CLinkSelect works on the module's one selection; a program that talks to several instruments
// makes one selection per link.
//
// Expected order: SetParentApp first, then AddStaticText / AddPortName in any order, then
// GetPort. GetPort may be called again later to choose anew; the dialog then closes the serial
// link it handed out before, which stays a valid object whose reads and writes fail.
class LINKSELECT_EXPORT LinkSelection : public LinkChooser {
public:
    LinkSelection();
    ~LinkSelection() override;
    LinkSelection(const LinkSelection&) = delete;
    LinkSelection& operator=(const LinkSelection&) = delete;

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
    bool Declined() const override;

    // Platform hooks. Each pointer stays owned by the caller and must outlive its use; null
    // restores the default.
    //
    // Message boxes, including the fatal discovery messages. Default: a QMessageBox when a
    // QApplication runs, standard error otherwise.
    void SetUserPrompt(UserPrompt* prompt);
    // Where ports are discovered. Default: the Windows registry, or sysfs and BlueZ on Linux.
    void SetRegistry(Registry* registry);
    // How the pipe and serial ports are opened. Default: QLocalSocket "RAK Pipe" and QSerialPort.
    void SetLinkOpener(LinkOpener* opener);
    // What shows the selection dialog modally. Default: the Qt widget dialog, or the dialog
    // without windows when no QApplication runs.
    void SetDialogHost(PortDialogHost* host);
    // What follows a fatal discovery message (no ports, no paired instrument), once its box has
    // been closed. The library never ends the process itself: by default the choice ends without
    // a link, and a program that must end there says so here.
    void SetFatalEnd(std::function<void()> end);

    // Back to the state of a new selection (first showing still to come, no selection, no link);
    // the hooks stay.
    void Reset();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// The selection behind CLinkSelect: every CLinkSelect in the process works on this one.
LINKSELECT_EXPORT LinkSelection& ModuleLinkSelection();

// The box shown when a program installed no prompt of its own: a QMessageBox when a QApplication
// runs, standard error otherwise. The libraries without Qt of their own fall back on it too.
LINKSELECT_EXPORT UserPrompt& SystemUserPrompt();
