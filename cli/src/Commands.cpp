#include "Commands.h"

#include <cstddef>
#include <cstring>
#include <string>

namespace {

constexpr size_t kWidth = 95;  // the help's lines, as its texts are written
constexpr size_t kColumn = 24; // where an option's description starts

// `first` and then the words of `text`, broken at blanks outside brackets so that no line is wider
// than kWidth; further lines start at `indent`.
std::string Wrap(const std::string& first, const std::string& text, size_t indent) {
    std::string out = first;
    const size_t lastBreak = first.rfind('\n');
    size_t column = lastBreak == std::string::npos ? first.size() : first.size() - lastBreak - 1;
    bool fresh = true; // no word of `text` on this line yet
    auto put = [&](const std::string& word) {
        if (word.empty()) {
            return;
        }
        if (!fresh && column + 1 + word.size() > kWidth) {
            out += '\n';
            out.append(indent, ' ');
            column = indent;
            fresh = true;
        }
        if (!fresh) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        fresh = false;
    };
    std::string word;
    size_t depth = 0;
    for (const char c : text) {
        if (c == '[') {
            ++depth;
        } else if (c == ']' && depth > 0) {
            --depth;
        }
        if (c == ' ' && depth == 0) {
            put(word);
            word.clear();
        } else {
            word += c;
        }
    }
    put(word);
    return out + '\n';
}

// Where a synopsis goes on after its line is full: under its first argument, after the command's
// name and the part's ("archive list").
std::string Synopsis(const std::string& prefix, const char* synopsis, int names) {
    size_t nameLength = 0;
    for (int k = 0; k < names; ++k) {
        const char* blank = std::strchr(synopsis + nameLength, ' ');
        if (blank == nullptr) {
            break;
        }
        nameLength = static_cast<size_t>(blank - synopsis) + 1;
    }
    return Wrap(prefix, synopsis, prefix.size() + nameLength);
}

// A summary's first sentence: the list of parts stays short enough to read, and each part's own
// help gives the whole of it.
std::string FirstSentence(const char* summary) {
    const std::string text(summary);
    const size_t end = text.find(". ");
    return end == std::string::npos ? text : text.substr(0, end + 1);
}

// The list of a command's parts: each synopsis, its first sentence below it at the options'
// column.
void PrintParts(const Command& command, std::FILE* out) {
    if (command.parts == nullptr) {
        return;
    }
    std::fputc('\n', out);
    for (const CommandPart* part = command.parts; part->name != nullptr; ++part) {
        std::string synopsis = Synopsis("  ", part->synopsis, 2);
        // A short synopsis has its summary beside it, as an option has its description.
        if (synopsis.size() < kColumn) {
            synopsis.pop_back();
            synopsis.append(kColumn - synopsis.size(), ' ');
        } else {
            synopsis.append(kColumn, ' ');
        }
        std::fputs(Wrap(synopsis, FirstSentence(part->summary).c_str(), kColumn).c_str(), out);
    }
    std::fprintf(out, "\n%s", command.partOptions().c_str());
}

const char kHelpLine[] = "  -h, --help            this text\n";

} // namespace

const Command* CommandTable() {
    static const Command commands[] = {
        {"sessions", kSessionsSynopsis, SessionsHelp, kSessionsExitStatus, RunSessions, nullptr,
         nullptr},
        {"render", kRenderSynopsis, RenderHelp, kRenderExitStatus, RunRender, nullptr, nullptr},
        {"export", kExportSynopsis, ExportHelp, kExportExitStatus, RunExport, nullptr, nullptr},
        {"download", kDownloadSynopsis, DownloadHelp, kDownloadExitStatus, RunDownload, nullptr,
         nullptr},
        {"watch", kWatchSynopsis, WatchHelp, kWatchExitStatus, RunWatch, nullptr, nullptr},
        {"archive", kArchiveSynopsis, ArchiveHelp, kArchiveExitStatus, RunArchive, kArchiveParts,
         ArchivePartOptions},
        {"plot", kPlotSynopsis, PlotHelp, kPlotExitStatus, RunPlot, nullptr, nullptr},
        {"map", kMapSynopsis, MapHelp, kMapExitStatus, RunMap, nullptr, nullptr},
        {"survey", kSurveySynopsis, SurveyHelp, kSurveyExitStatus, RunSurvey, nullptr, nullptr},
        {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
    };
    return commands;
}

void PrintOverview(std::FILE* out) {
    std::fprintf(out, "Usage: tavon-datalog COMMAND ARGUMENTS...\n"
                      "\n"
                      "Reads the log memory of a Tavon instrument, saved as a FlashData.txt dump,\n"
                      "without an instrument or a window, or downloads it from the instrument.\n"
                      "\n"
                      "Commands:\n");
    for (const Command* c = CommandTable(); c->name != nullptr; ++c) {
        std::fputs(Synopsis("  tavon-datalog ", c->synopsis, 1).c_str(), out);
    }
    for (const Command* c = CommandTable(); c->name != nullptr; ++c) {
        std::fprintf(out, "\n%s:\n%s", c->name, c->help().c_str());
        PrintParts(*c, out);
    }
    std::fprintf(out, "\n"
                      "  -h, --help            this text; after a command, that command's help\n"
                      "  --version             the program's version\n"
                      "\n"
                      "Exit status: 0 done; 1 the output could not be written; 2 bad arguments,\n"
                      "an unreadable or malformed dump, or a slot outside 0 to 499; download\n"
                      "adds 3, 4, 5 and 130; download and archive 6, the archive could not be\n"
                      "opened or written. Each command's help says what they mean for it.\n");
}

void PrintCommandHelp(const Command& command, const char* part, std::FILE* out) {
    for (const CommandPart* p = command.parts;
         p != nullptr && p->name != nullptr && part != nullptr; ++p) {
        if (std::strcmp(p->name, part) == 0) {
            std::fputs(Synopsis("Usage: tavon-datalog ", p->synopsis, 2).c_str(), out);
            std::fputs(Wrap("\n", p->summary, 0).c_str(), out);
            const std::string options = p->options != nullptr ? p->options() : std::string();
            std::fprintf(out, "\n%s%s%s\n%s", options.c_str(), command.partOptions().c_str(),
                         kHelpLine, command.exitStatus);
            return;
        }
    }
    std::fputs(Synopsis("Usage: tavon-datalog ", command.synopsis, 1).c_str(), out);
    std::fprintf(out, "\n%s", command.help().c_str());
    PrintParts(command, out);
    std::fprintf(out, "%s\n%s", kHelpLine, command.exitStatus);
}
