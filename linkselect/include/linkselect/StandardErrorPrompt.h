#pragma once

#include "linkselect/Platform.h"

#include <string>

// The message box of a program without a window: "caption: text" on standard error.
class StandardErrorPrompt : public UserPrompt {
public:
    void Show(const std::string& text, const std::string& caption) override;
};
