#include "linkselect/StandardErrorPrompt.h"

#include <cstdio>

void StandardErrorPrompt::Show(const std::string& text, const std::string& caption) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}
