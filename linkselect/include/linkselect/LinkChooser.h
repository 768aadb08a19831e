#pragma once

#include "linkselect/Link.h"
#include "linkselect/Platform.h"

#include <string>

// Whatever hands the protocol engine its link: the selection dialog in the programs, nothing at
// all where there is no dialog to show. Plain C++, so that the engine needs no Qt.
class LinkChooser {
public:
    virtual ~LinkChooser() = default;
    virtual void SetParentApp(const AppInfo& app) = 0;
    virtual void AddStaticText(const std::string& text) = 0;
    virtual void AddPortName(const std::string& name) = 0;
    // The link chosen, possibly after asking the user. Null when there is no link.
    virtual LinkPtr GetPort() = 0;
    // The link of the current choice, opened without asking. Null on failure.
    virtual LinkPtr SetPort() = 0;
    // After a GetPort without a link: true when no link was chosen at all (the user cancelled,
    // or there was nothing to choose), false when one was chosen and could not be opened.
    virtual bool Declined() const { return false; }
};
