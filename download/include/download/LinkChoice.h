#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "download/DownloadOptions.h"
#include "linkselect/LinkOpener.h"
#include "linkselect/MemoryRegistry.h"
#include "linkselect/Platform.h"
#include "linkselect/PortDialogHost.h"
#include "session/LinkClaim.h"

class LinkSelection;

// How the download reaches the instrument, set up as the hooks of its own link selection so that
// the selection's steps run unchanged: the companion pipe tried first, a serial port brought up in
// two stages with the toggle sequence between them, and the port remembered in Settings.ini.
//   --pipe NAME: only that pipe; no dialog, no serial port.
//   --port DEVICE: only that device, offered as the one port found and chosen in a dialog
//                  without windows, which then opens and configures it exactly as a click on
//                  Select would.
//   neither: the pipe "RAK Pipe", then the remembered port through the same dialog without
//            windows; with no port remembered, the pipe only.
class LinkChoice {
public:
    explicit LinkChoice(const DownloadOptions& options);
    // Installs the hooks into `selection`, which must not outlive this object.
    void Install(LinkSelection& selection);
    // The application the libraries are given. The command line stays empty: the settings keys
    // are then those of the program, so a port remembered by one is found by the other.
    const AppInfo& App() const { return m_app; }
    // A hint for the user after a failed opening; empty when there is nothing to add.
    std::string FailureHint() const;
    // The link as the user named it: the port's device, else the pipe's name.
    std::string LinkName() const;
    // Who holds the link this choice would have opened, when another process did ("tavon-watch,
    // process 4242"); empty otherwise.
    const std::string& Holder() const { return m_opener.Holder(); }
    // The link is closed: its claim ends.
    void Release() { m_opener.Release(); }

private:
    // Opens each link only once it is claimed, as the program and every watcher claim theirs:
    // a link another process holds is left alone (never opened, so its lines are not toggled
    // under a conversation), and the claim lasts while the link is open.
    class Opener : public LinkOpener {
    public:
        explicit Opener(const DownloadOptions& options) : m_options(options) {}
        LinkPtr OpenPipe() override;
        LinkPtr OpenSerial(const std::string& portName) override;
        const std::string& Holder() const { return m_holder; }
        void Release() {
            m_claim.reset();
            m_claimName.clear();
        }

    private:
        LinkPtr Claimed(const std::string& claim, const std::function<LinkPtr()>& open);

        const DownloadOptions& m_options;
        std::unique_ptr<LinkClaim> m_claim;
        std::string m_claimName;
        std::string m_holder;
    };
    class NoDialog : public PortDialogHost {
    public:
        int RunModal(PortDialogLogic& logic) override;
    };

    const DownloadOptions& m_options;
    AppInfo m_app;
    Opener m_opener;
    NoDialog m_noDialog;
    std::unique_ptr<ConsolePortDialogHost> m_console;
    MemoryRegistry m_oneDevice;
    std::string m_remembered; // the port in Settings.ini, for the default choice
};

// Message boxes of the libraries: "caption: text" on standard error.
class StderrPrompt : public UserPrompt {
public:
    void Show(const std::string& text, const std::string& caption) override;
};

// Holds the libraries' boxes while the link is being opened: when none can be opened the download
// says in one line what it tried instead, and when one is, the held boxes are passed on.
class HeldPrompt : public UserPrompt {
public:
    void Show(const std::string& text, const std::string& caption) override;
    void PassOn(UserPrompt& to);

private:
    std::vector<std::pair<std::string, std::string>> m_held;
};
