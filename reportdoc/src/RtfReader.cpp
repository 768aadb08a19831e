#include "reportdoc/RtfReader.h"

#include "textcodec/Cp1252.h"

#include <QColor>
#include <QFont>
#include <QFontDatabase>
#include <QString>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <cstdint>
#include <map>
#include <vector>

namespace {

// Groups nest only a few levels in a report; anything deeper is hostile input and is read flat.
constexpr size_t kMaxGroupDepth = 200;
constexpr int kDefaultHalfPoints = 20;

enum class Destination { Text, ColourTable, FontTable, Skip };

struct GroupState {
    Destination destination = Destination::Text;
    int colour = -1;    // index into the colour table; -1: the default text colour
    int highlight = -1; // -1 or 0: no highlight
    int font = -1;
    int halfPoints = kDefaultHalfPoints;
    bool fixedPitchFont = true;
};

struct FontEntry {
    QString name;
    bool symbol = false;
};

class RtfParser {
public:
    RtfParser(const std::string& rtf, QTextDocument& document, RtfTextPlaces* places)
        : rtf_(rtf), document_(document), cursor_(&document), places_(places) {}

    void Run() {
        document_.clear();
        cursor_ = QTextCursor(&document_);
        stack_.clear();
        stack_.push_back(GroupState{});
        if (places_ != nullptr) {
            places_->Clear();
        }
        size_t i = 0;
        while (i < rtf_.size()) {
            const unsigned char c = static_cast<unsigned char>(rtf_[i]);
            // A text byte written as an escape belongs to the place of its backslash.
            token_ = i;
            if (c == '{') {
                FlushText();
                if (stack_.size() < kMaxGroupDepth) {
                    stack_.push_back(stack_.back());
                } else {
                    ++flattenedGroups_;
                }
                ++i;
            } else if (c == '}') {
                FlushText();
                CloseGroup();
                ++i;
            } else if (c == '\\') {
                i = ReadControl(i + 1);
            } else if (c == '\r' || c == '\n') {
                ++i; // line ends in RTF source carry no meaning
            } else {
                AddByte(c);
                ++i;
            }
        }
        FlushText();
    }

private:
    GroupState& Top() { return stack_.back(); }

    void CloseGroup() {
        if (flattenedGroups_ > 0) {
            --flattenedGroups_;
            return;
        }
        if (stack_.size() > 1) {
            const Destination closing = Top().destination;
            stack_.pop_back();
            if (closing == Destination::FontTable && Top().destination != Destination::FontTable) {
                pendingFontName_.clear();
            }
        }
        // A '}' without its '{' is ignored.
    }

    // Reads a control word or symbol that starts just after the backslash; returns the index of
    // the first byte after it.
    size_t ReadControl(size_t i) {
        if (i >= rtf_.size()) {
            return i;
        }
        const unsigned char c = static_cast<unsigned char>(rtf_[i]);
        if (c == '\\' || c == '{' || c == '}') {
            AddByte(c);
            return i + 1;
        }
        if (c == '\'') {
            return ReadHexByte(i + 1);
        }
        if (c == '*') {
            FlushText();
            Top().destination = Destination::Skip;
            return i + 1;
        }
        if (c == '~') {
            AddByte(0xA0);
            return i + 1;
        }
        if (c == '\r' || c == '\n') {
            FlushText();
            if (Top().destination == Destination::Text) {
                cursor_.insertBlock();
            }
            return i + 1;
        }
        if (!IsLetter(c)) {
            return i + 1; // other control symbols (\-, \_, \|, ...) show nothing here
        }
        size_t end = i;
        while (end < rtf_.size() && IsLetter(static_cast<unsigned char>(rtf_[end])) &&
               end - i < 32) {
            ++end;
        }
        const std::string word = rtf_.substr(i, end - i);
        bool hasNumber = false;
        bool negative = false;
        int64_t number = 0;
        if (end < rtf_.size() && rtf_[end] == '-') {
            negative = true;
            ++end;
        }
        while (end < rtf_.size() && rtf_[end] >= '0' && rtf_[end] <= '9') {
            hasNumber = true;
            if (number < 100000000) {
                number = number * 10 + (rtf_[end] - '0');
            }
            ++end;
        }
        if (end < rtf_.size() && rtf_[end] == ' ') {
            ++end; // the blank that ends a control word belongs to it
        }
        const int value = static_cast<int>(negative ? -number : number);
        ApplyWord(word, hasNumber, value);
        return end;
    }

    size_t ReadHexByte(size_t i) {
        int value = 0;
        size_t digits = 0;
        while (digits < 2 && i + digits < rtf_.size()) {
            const int d = HexDigit(static_cast<unsigned char>(rtf_[i + digits]));
            if (d < 0) {
                break;
            }
            value = value * 16 + d;
            ++digits;
        }
        if (digits == 2) {
            AddByte(static_cast<unsigned char>(value));
        }
        return i + digits;
    }

    void ApplyWord(const std::string& word, bool hasNumber, int value) {
        GroupState& g = Top();
        if (word == "colortbl") {
            FlushText();
            g.destination = Destination::ColourTable;
            colours_.clear();
            pendingColour_ = PendingColour{};
            return;
        }
        if (word == "fonttbl") {
            FlushText();
            g.destination = Destination::FontTable;
            return;
        }
        if (word == "info" || word == "stylesheet" || word == "pict" || word == "header" ||
            word == "footer" || word == "object") {
            FlushText();
            g.destination = Destination::Skip;
            return;
        }
        if (g.destination == Destination::ColourTable) {
            const int component = std::max(0, std::min(255, value));
            if (word == "red") {
                pendingColour_.red = component;
            } else if (word == "green") {
                pendingColour_.green = component;
            } else if (word == "blue") {
                pendingColour_.blue = component;
            }
            return;
        }
        if (g.destination == Destination::FontTable) {
            if (word == "f" && hasNumber) {
                pendingFont_ = value;
                pendingFontName_.clear();
                pendingSymbol_ = false;
            } else if (word == "fcharset" && value == 2) {
                pendingSymbol_ = true;
            }
            return;
        }
        if (g.destination == Destination::Skip) {
            return;
        }
        if (word == "par" || word == "line") {
            FlushText();
            cursor_.insertBlock();
        } else if (word == "tab") {
            AddByte('\t');
        } else if (word == "cf") {
            FlushText();
            g.colour = hasNumber ? value : 0;
        } else if (word == "highlight" || word == "cb") {
            FlushText();
            g.highlight = hasNumber ? value : 0;
        } else if (word == "f") {
            FlushText();
            g.font = hasNumber ? value : -1;
        } else if (word == "fs") {
            FlushText();
            g.halfPoints = (hasNumber && value > 0) ? std::min(value, 400) : kDefaultHalfPoints;
        } else if (word == "plain") {
            FlushText();
            g.colour = -1;
            g.highlight = -1;
            g.halfPoints = kDefaultHalfPoints;
        }
    }

    void AddByte(unsigned char byte) {
        GroupState& g = Top();
        switch (g.destination) {
        case Destination::Text:
            pendingText_.append(QChar(static_cast<char16_t>(Cp1252ToUnicode(byte))));
            pendingLast_ = token_;
            break;
        case Destination::ColourTable:
            if (byte == ';') {
                colours_.push_back(pendingColour_);
                pendingColour_ = PendingColour{};
            }
            break;
        case Destination::FontTable:
            if (byte == ';') {
                if (pendingFont_ >= 0) {
                    fonts_[pendingFont_] = FontEntry{pendingFontName_.trimmed(), pendingSymbol_};
                }
                pendingFontName_.clear();
            } else if (pendingFontName_.size() < 64) {
                pendingFontName_.append(QChar(static_cast<char16_t>(Cp1252ToUnicode(byte))));
            }
            break;
        case Destination::Skip:
            break;
        }
    }

    void FlushText() {
        if (pendingText_.isEmpty()) {
            return;
        }
        // A run is placed by the block it begins in; only a line end written as \'0a (never in
        // a report of ours) takes the rest of a run into the next block.
        if (places_ != nullptr) {
            places_->Add(pendingLast_, cursor_.blockNumber());
        }
        cursor_.insertText(pendingText_, CurrentFormat());
        pendingText_.clear();
    }

    QTextCharFormat CurrentFormat() const {
        const GroupState& g = stack_.back();
        QTextCharFormat format;
        // Reading lines are laid out in columns by blanks, so every run is set in a fixed-pitch
        // font whatever face the report names.
        QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        const auto named = fonts_.find(g.font);
        if (named != fonts_.end() && !named->second.symbol && !named->second.name.isEmpty()) {
            font.setFamilies({named->second.name, font.family()});
        }
        font.setStyleHint(QFont::TypeWriter);
        font.setFixedPitch(true);
        font.setPointSizeF(g.halfPoints / 2.0);
        format.setFont(font);
        if (g.colour >= 0 && static_cast<size_t>(g.colour) < colours_.size()) {
            const PendingColour& c = colours_[g.colour];
            format.setForeground(QColor(c.red, c.green, c.blue));
        }
        if (g.highlight > 0 && static_cast<size_t>(g.highlight) < colours_.size()) {
            const PendingColour& c = colours_[g.highlight];
            format.setBackground(QColor(c.red, c.green, c.blue));
        }
        return format;
    }

    static bool IsLetter(unsigned char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    }

    static int HexDigit(unsigned char c) {
        if (c >= '0' && c <= '9') {
            return c - '0';
        }
        if (c >= 'a' && c <= 'f') {
            return c - 'a' + 10;
        }
        if (c >= 'A' && c <= 'F') {
            return c - 'A' + 10;
        }
        return -1;
    }

    struct PendingColour {
        int red = 0;
        int green = 0;
        int blue = 0;
    };

    const std::string& rtf_;
    QTextDocument& document_;
    QTextCursor cursor_;
    std::vector<GroupState> stack_;
    size_t flattenedGroups_ = 0;
    std::vector<PendingColour> colours_;
    PendingColour pendingColour_;
    std::map<int, FontEntry> fonts_;
    int pendingFont_ = -1;
    bool pendingSymbol_ = false;
    QString pendingFontName_;
    QString pendingText_;
    RtfTextPlaces* places_;
    size_t token_ = 0;       // where the control word or byte being read begins
    size_t pendingLast_ = 0; // where the last byte of pendingText_ came from
};

} // namespace

void ReadRtfIntoDocument(const std::string& rtf, QTextDocument& document, RtfTextPlaces* places) {
    RtfParser parser(rtf, document, places);
    parser.Run();
}

int RtfTextPlaces::BlockAt(size_t offset) const {
    const auto run = std::lower_bound(m_runs.begin(), m_runs.end(), offset,
                                      [](const Run& r, size_t at) { return r.lastByte < at; });
    return run == m_runs.end() ? -1 : run->block;
}
