#pragma once

#include <cstddef>
#include <string>
#include <vector>

class QTextDocument;

// Which block (paragraph) of the document each run of the RTF's text went into, so that a place in
// the RTF (a byte offset) can be found on screen. Filled by ReadRtfIntoDocument.
class RtfTextPlaces {
public:
    // The block that shows the first text at or after byte `offset` of the RTF; -1 when no text
    // follows it.
    int BlockAt(size_t offset) const;

    void Clear() { m_runs.clear(); }
    // A run of text whose last byte stands at `lastByte`, put into `block`; runs come in the
    // order of the RTF.
    void Add(size_t lastByte, int block) { m_runs.push_back(Run{lastByte, block}); }

private:
    struct Run {
        size_t lastByte;
        int block;
    };
    std::vector<Run> m_runs;
};

// Reads the small RTF vocabulary that the session report uses into a QTextDocument:
// groups, \par, \cfN, \highlightN, \fN, \fsN, the colour and font tables, \'hh and the escaped
// \\ \{ \}. Everything else is skipped. Text bytes are Windows-1252 and are shown as Unicode.
// Malformed input (unbalanced braces, truncated escapes, huge numbers) never stops the reading.
// `places`, when given, learns where the text went.
void ReadRtfIntoDocument(const std::string& rtf, QTextDocument& document,
                         RtfTextPlaces* places = nullptr);
