#pragma once

#include "linkselect/LinkChooser.h"

#include <memory>
#include <string>

class LinkClaim;

// The program's link choice, claimed as a watcher claims its links: the link chosen is kept
// only when no other process holds it, so that the program never talks over a watcher's
// conversation. A link found held is closed again at once, the choice counts as declined (no
// "Cannot open" box), and Holder() says who holds it. The claim lasts until Release or the next
// choice of another link.
class ClaimingChooser : public LinkChooser {
public:
    // `keySuffix`: the program's command line, which suffixes the "Com Port" setting that the
    // selection dialog records its port under.
    ClaimingChooser(LinkChooser& inner, std::string keySuffix);
    ~ClaimingChooser() override;

    void SetParentApp(const AppInfo& app) override;
    void AddStaticText(const std::string& text) override;
    void AddPortName(const std::string& name) override;
    LinkPtr GetPort() override;
    LinkPtr SetPort() override;
    bool Declined() const override;

    // After a choice: who holds the link chosen ("tavon-datalog, process 4242") when another
    // process does; empty otherwise.
    const std::string& Holder() const { return m_holder; }
    // The link of the last choice for the user: "the pipe "RAK Pipe"", "ttyUSB0"; empty when
    // it is not known (a Bluetooth entry, or nothing chosen).
    const std::string& LinkText() const { return m_linkText; }
    // Who holds the port of the dialog's current selection, when another process does: asked
    // after a choice that could not open its port.
    std::string PortHolder();
    // The program has closed its link.
    void Release();

private:
    LinkPtr Claimed(LinkPtr link);
    // The claim's name of a serial port chosen in the dialog, and its text; false for an entry
    // that is not a cable port.
    bool ChosenPort(std::string& claim, std::string& text) const;

    LinkChooser& m_inner;
    std::string m_keySuffix;
    std::unique_ptr<LinkClaim> m_claim;
    std::string m_claimName;
    std::string m_holder;
    std::string m_linkText;
};
