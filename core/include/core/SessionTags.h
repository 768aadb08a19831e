#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The tags an index entry's name gives its session, told by one set of words everywhere a session
// is listed (the program's tree, the archive's tree, `archive list`) and explained by one tooltip.
struct SessionTags {
    bool fieldCalibration = false; // "FC": name position 9 is 'F'
    bool calibration = false;      // "C": position 12 is 'C'
    bool alarm = false;            // "Alm": position 10 is 'A'
    bool continuation = false;     // "(cont)": position 11 is 'C'

    // Either calibration tag: what the Cal box and `--cal` choose.
    bool AnyCalibration() const { return fieldCalibration || calibration; }
};

// The tags of a stored name of `size` bytes, looked at by position whatever comes before them; a
// name too short to reach a position has no tag there.
SessionTags TagsOfName(const char* name, size_t size);

// The words of the tags it has, in the order the session tree shows them: "FC", "C", "Alm",
// "(cont)".
std::vector<std::string> TagWords(const SessionTags& tags);

// The tags as the session tree's label carries them after the time: "FC " or three blanks, "C "
// or two, then "Alm " and "(cont) " where they apply.
std::string TagLabel(const SessionTags& tags);

// What a session node's tooltip says: a line for each tag it has ("FC: a field calibration was
// made in this session"), or that it has none, and then that a click reads its report.
std::string TagTip(const SessionTags& tags);
