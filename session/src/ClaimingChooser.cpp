#include "session/ClaimingChooser.h"

#include "linkselect/Link.h"
#include "linkselect/Settings.h"
#include "session/LinkClaim.h"

namespace {

// The program's pipe; a watcher names it the same way.
const char* const kPipeName = "RAK Pipe";

} // namespace

ClaimingChooser::ClaimingChooser(LinkChooser& inner, std::string keySuffix)
    : m_inner(inner), m_keySuffix(std::move(keySuffix)) {}

ClaimingChooser::~ClaimingChooser() = default;

void ClaimingChooser::SetParentApp(const AppInfo& app) {
    m_inner.SetParentApp(app);
}

void ClaimingChooser::AddStaticText(const std::string& text) {
    m_inner.AddStaticText(text);
}

void ClaimingChooser::AddPortName(const std::string& name) {
    m_inner.AddPortName(name);
}

LinkPtr ClaimingChooser::GetPort() {
    return Claimed(m_inner.GetPort());
}

LinkPtr ClaimingChooser::SetPort() {
    return Claimed(m_inner.SetPort());
}

bool ClaimingChooser::Declined() const {
    return !m_holder.empty() || m_inner.Declined();
}

void ClaimingChooser::Release() {
    m_claim.reset();
    m_claimName.clear();
}

bool ClaimingChooser::ChosenPort(std::string& claim, std::string& text) const {
    claim = LinkClaim::RememberedPortName(ReadSetting("Com Port" + m_keySuffix), &text);
    return !claim.empty();
}

std::string ClaimingChooser::PortHolder() {
    std::string claim;
    if (!ChosenPort(claim, m_linkText)) {
        m_linkText.clear();
        return std::string();
    }
    std::string holder;
    bool held = false;
    const std::unique_ptr<LinkClaim> free = LinkClaim::Take(claim, holder, &held);
    return held ? holder : std::string();
}

LinkPtr ClaimingChooser::Claimed(LinkPtr link) {
    m_holder.clear();
    m_linkText.clear();
    if (!link) {
        return link;
    }
    std::string claim;
    if (link->IsPipe()) {
        claim = LinkClaim::LinkName(true, kPipeName);
        m_linkText = std::string("the pipe \"") + kPipeName + "\"";
    } else if (!ChosenPort(claim, m_linkText)) {
        Release();
        return link;
    }
    if (claim == m_claimName && m_claim) {
        return link; // the same link chosen again: still ours
    }
    std::string holder;
    bool held = false;
    std::unique_ptr<LinkClaim> taken = LinkClaim::Take(claim, holder, &held);
    if (held) {
        link->Close();
        m_holder = holder;
        Release();
        return nullptr;
    }
    // Without a lock file the link cannot be claimed, but it is free as far as anyone can tell:
    // the program uses it unclaimed rather than not at all.
    m_claim = std::move(taken);
    m_claimName = m_claim ? claim : std::string();
    return link;
}
