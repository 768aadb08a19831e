#include "LinkDefaults.h"

#include "linkselect/LinkSelection.h"

LinkChooser& DefaultLinkChooser() {
    return ModuleLinkSelection();
}

UserPrompt& DefaultPrompt() {
    return SystemUserPrompt();
}
