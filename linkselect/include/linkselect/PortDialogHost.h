#pragma once

#include "linkselect/LinkSelectExport.h"

#include <string>

class PortDialogLogic;

// Shows the selection dialog modally: initialises the logic, delivers its 100 ms ticks and the
// user's actions until it has ended, and returns its result (1 OK, 2 Cancel).
class LINKSELECT_EXPORT PortDialogHost {
public:
    virtual ~PortDialogHost() = default;
    virtual int RunModal(PortDialogLogic& logic) = 0;
};

// The Qt widget dialog (CPort). Needs a QApplication.
class LINKSELECT_EXPORT WidgetPortDialogHost : public PortDialogHost {
public:
    int RunModal(PortDialogLogic& logic) override;
};

// The dialog without windows, for programs that have no display. It runs the same ticks; where
// the user would have to choose, it chooses preset (a list entry's text or its port name) or,
// without one, lists the entries on standard error and ends like Enter, without a link.
class LINKSELECT_EXPORT ConsolePortDialogHost : public PortDialogHost {
public:
    explicit ConsolePortDialogHost(std::string preset = std::string())
        : preset_(std::move(preset)) {}
    int RunModal(PortDialogLogic& logic) override;

private:
    std::string preset_;
};
