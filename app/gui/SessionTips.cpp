#include "SessionTips.h"

#include <QStringList>

namespace {

struct Tag {
    const char* text;
    const char* meaning;
};

const Tag kTags[] = {
    {"FC", "FC: a field calibration was made in this session"},
    {"C", "C: the instrument was calibrated in this session"},
    {"Alm", "Alm: an alarm went off in this session"},
    {"(cont)", "(cont): continues the session before it, whose memory was full"},
};

} // namespace

QString SessionTip(const std::string& label) {
    // The label is the time and then the tags, each followed by a blank.
    const QStringList words = QString::fromLatin1(label.c_str()).split(' ', Qt::SkipEmptyParts);
    QStringList lines;
    for (const Tag& tag : kTags) {
        if (words.size() > 1 && words.indexOf(tag.text, 1) > 0) {
            lines << tag.meaning;
        }
    }
    if (lines.isEmpty()) {
        lines << "No tags: a session without alarms or calibrations";
    }
    lines << "Click to read its report";
    return lines.join('\n');
}
