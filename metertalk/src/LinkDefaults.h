#pragma once

#include "linkselect/LinkChooser.h"
#include "linkselect/Platform.h"

// What the engine falls back on when the program installed nothing of its own. The build with Qt
// hands over the selection library; the build without it has no dialog to choose a link with.
LinkChooser& DefaultLinkChooser();
UserPrompt& DefaultPrompt();
