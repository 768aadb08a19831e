#include "download/ProgressBar.h"

std::string ProgressBar::Line(const std::string& label, int done, int total,
                              const std::string& detail) {
    if (total < 1) {
        total = 1;
    }
    done = done < 0 ? 0 : (done > total ? total : done);
    const int filled = done * kWidth / total;
    std::string line = label + " [";
    line.append(static_cast<size_t>(filled), '#');
    line.append(static_cast<size_t>(kWidth - filled), '.');
    line += "] ";
    line += detail;
    return line;
}

ProgressBar::ProgressBar(ProgressBoard& board, int line)
    : m_enabled(board.Enabled()), m_board(&board), m_line(line) {}

void ProgressBar::Draw(const std::string& label, int done, int total, const std::string& detail) {
    if (!m_enabled) {
        return;
    }
    if (m_board != nullptr) {
        m_board->Set(m_line, Line(label, done, total, detail));
        return;
    }
    const std::string line = Line(label, done, total, detail);
    std::string text = "\r" + line;
    if (line.size() < m_shown) {
        text.append(m_shown - line.size(), ' '); // rub out the rest of a longer line
    } else {
        m_shown = line.size();
    }
    std::fputs(text.c_str(), m_out);
    std::fflush(m_out);
}

void ProgressBar::Clear() {
    if (m_board != nullptr) {
        m_board->Wipe();
        return;
    }
    if (!m_enabled || m_shown == 0) {
        return;
    }
    std::string text = "\r";
    text.append(m_shown, ' ');
    text += "\r";
    m_shown = 0;
    std::fputs(text.c_str(), m_out);
    std::fflush(m_out);
}

ProgressBoard::ProgressBoard(std::FILE* out, bool enabled, int lines)
    : m_out(out), m_enabled(enabled), m_lines(static_cast<size_t>(lines > 0 ? lines : 0)) {}

void ProgressBoard::Set(int line, const std::string& text) {
    if (!m_enabled || line < 0 || static_cast<size_t>(line) >= m_lines.size()) {
        return;
    }
    m_lines[static_cast<size_t>(line)] = text;
    Render();
}

void ProgressBoard::Render() {
    // Back to the first line of the board, each line written and the rest of it cleared, the
    // cursor left under the last one.
    std::string text;
    if (m_shown) {
        text += "\033[" + std::to_string(m_lines.size()) + "A";
    }
    for (const std::string& line : m_lines) {
        text += "\r" + line + "\033[K\n";
    }
    m_shown = true;
    std::fputs(text.c_str(), m_out);
    std::fflush(m_out);
}

void ProgressBoard::Wipe() {
    if (!m_enabled || !m_shown) {
        return;
    }
    const std::string text = "\033[" + std::to_string(m_lines.size()) + "A\r\033[J";
    m_shown = false;
    std::fputs(text.c_str(), m_out);
    std::fflush(m_out);
}
