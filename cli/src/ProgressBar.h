#pragma once

#include <cstdio>
#include <string>

// One line of progress on a terminal, redrawn in place. Disabled, it prints nothing, so that logs
// and pipes never fill with carriage returns.
class ProgressBar {
public:
    static constexpr int kWidth = 20;

    ProgressBar(std::FILE* out, bool enabled) : m_out(out), m_enabled(enabled) {}

    // "label [#####...............] detail": done of total steps filled in.
    void Draw(const std::string& label, int done, int total, const std::string& detail);
    // Wipes the line, so that other output starts on a clean one.
    void Clear();
    bool Enabled() const { return m_enabled; }

    // The text of one bar line, without the leading carriage return.
    static std::string Line(const std::string& label, int done, int total,
                            const std::string& detail);

private:
    std::FILE* m_out;
    bool m_enabled;
    size_t m_shown = 0; // characters of the line now on screen
};
