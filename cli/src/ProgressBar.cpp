#include "ProgressBar.h"

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

void ProgressBar::Draw(const std::string& label, int done, int total, const std::string& detail) {
    if (!m_enabled) {
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
