#pragma once

#include <cstdio>
#include <string>
#include <vector>

class ProgressBoard;

// One line of progress on a terminal, redrawn in place. Disabled, it prints nothing, so that logs
// and pipes never fill with carriage returns. Several instruments downloaded at once each draw
// their line of one ProgressBoard.
class ProgressBar {
public:
    static constexpr int kWidth = 20;

    ProgressBar(std::FILE* out, bool enabled) : m_out(out), m_enabled(enabled) {}
    // Line `line` of `board`.
    ProgressBar(ProgressBoard& board, int line);

    // "label [#####...............] detail": done of total steps filled in.
    void Draw(const std::string& label, int done, int total, const std::string& detail);
    // Wipes the line (a board's every line), so that other output starts on a clean one.
    void Clear();
    bool Enabled() const { return m_enabled; }

    // The text of one bar line, without the leading carriage return.
    static std::string Line(const std::string& label, int done, int total,
                            const std::string& detail);

private:
    std::FILE* m_out = nullptr;
    bool m_enabled = false;
    size_t m_shown = 0; // characters of the line now on screen
    ProgressBoard* m_board = nullptr;
    int m_line = 0;
};

// The lines of several progress bars, one under the other, redrawn together. Each message that
// comes between wipes them, and the next bar drawn brings them back under it.
class ProgressBoard {
public:
    ProgressBoard(std::FILE* out, bool enabled, int lines);

    void Set(int line, const std::string& text);
    void Wipe();
    bool Enabled() const { return m_enabled; }

private:
    void Render();

    std::FILE* m_out;
    bool m_enabled;
    std::vector<std::string> m_lines;
    bool m_shown = false;
};
