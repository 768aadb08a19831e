#include "LinkDefaults.h"

#include "linkselect/LinkSelect.h"

LinkChooser& DefaultLinkChooser() {
    // Stateless: every instance works on the selection library's one dialog.
    static CLinkSelect selector;
    return selector;
}

UserPrompt& DefaultPrompt() {
    return SystemUserPrompt();
}
