#pragma once

#include "linkselect/Platform.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// Message boxes recorded instead of shown: the test process never blocks on one.
class RecordingPrompt : public UserPrompt {
public:
    void Show(const std::string& text, const std::string& caption) override {
        shown.emplace_back(text, caption);
        if (onShow)
            onShow(text, caption);
    }
    // True when a box with this text was shown.
    bool Saw(const std::string& text) const {
        for (const auto& box : shown) {
            if (box.first == text)
                return true;
        }
        return false;
    }

    std::vector<std::pair<std::string, std::string>> shown; // text, caption
    std::function<void(const std::string&, const std::string&)> onShow;
};

} // namespace testsupport
