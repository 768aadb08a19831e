#include "core/SessionTags.h"

namespace {

struct Tag {
    bool SessionTags::*has;
    const char* word;
    const char* meaning;
    bool keepsItsPlace; // the label holds blanks of its width when the session lacks it
};

// In the order the designed tree label appends them.
const Tag kTags[] = {
    {&SessionTags::fieldCalibration, "FC", "a field calibration was made in this session", true},
    {&SessionTags::calibration, "C", "the instrument was calibrated in this session", true},
    {&SessionTags::alarm, "Alm", "an alarm went off in this session", false},
    {&SessionTags::continuation, "(cont)", "continues the session before it, whose memory was full",
     false},
};

bool At(const char* name, size_t size, size_t position, char mark) {
    return position < size && name[position] == mark;
}

} // namespace

SessionTags TagsOfName(const char* name, size_t size) {
    SessionTags tags;
    tags.fieldCalibration = At(name, size, 9, 'F');
    tags.alarm = At(name, size, 10, 'A');
    tags.continuation = At(name, size, 11, 'C');
    tags.calibration = At(name, size, 12, 'C');
    return tags;
}

std::vector<std::string> TagWords(const SessionTags& tags) {
    std::vector<std::string> words;
    for (const Tag& tag : kTags) {
        if (tags.*tag.has) {
            words.emplace_back(tag.word);
        }
    }
    return words;
}

std::string TagLabel(const SessionTags& tags) {
    std::string label;
    for (const Tag& tag : kTags) {
        if (tags.*tag.has) {
            label += std::string(tag.word) + " ";
        } else if (tag.keepsItsPlace) {
            label += std::string(std::char_traits<char>::length(tag.word) + 1, ' ');
        }
    }
    return label;
}

std::string TagTip(const SessionTags& tags) {
    std::string tip;
    for (const Tag& tag : kTags) {
        if (tags.*tag.has) {
            tip += std::string(tag.word) + ": " + tag.meaning + "\n";
        }
    }
    if (tip.empty()) {
        tip = "No tags: a session without alarms or calibrations\n";
    }
    return tip + "Click to read its report";
}
