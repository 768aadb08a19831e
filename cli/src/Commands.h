#pragma once

#include <cstdio>
#include <string>

// A subcommand of a command (archive list): what its own --help and its command's help say.
struct CommandPart {
    const char* name;         // "list"
    const char* synopsis;     // "archive list [--from YYYY-MM-DD] ..."
    const char* summary;      // what it does: one paragraph without line breaks
    std::string (*options)(); // its own options' help lines, from its option table; may be null
};

// One subcommand of tavon-datalog: its name, a one-line summary for the overview, the text of its
// own help, and the function that runs it with the arguments that follow its name.
struct Command {
    const char* name;
    const char* synopsis;
    // What it does and its options (their lines from its option table); with parts, what they
    // have in common.
    std::string (*help)();
    const char* exitStatus; // what its exit statuses mean, for its own --help
    int (*run)(int argc, char** argv);
    const CommandPart* parts;     // its subcommands, ending with a null name; nullptr: none
    std::string (*partOptions)(); // the help lines of the options every part takes
};

// The subcommands in the order the help lists them; ends with an entry whose name is null.
const Command* CommandTable();

// The whole help: every command with its options.
void PrintOverview(std::FILE* out);
// The help of one command, or of its part named `part` (nullptr, or a word that names none: the
// command's own).
void PrintCommandHelp(const Command& command, const char* part, std::FILE* out);

extern const char kSessionsSynopsis[];
std::string SessionsHelp();
extern const char kSessionsExitStatus[];
int RunSessions(int argc, char** argv);

extern const char kRenderSynopsis[];
std::string RenderHelp();
extern const char kRenderExitStatus[];
int RunRender(int argc, char** argv);

extern const char kDownloadSynopsis[];
std::string DownloadHelp();
extern const char kDownloadExitStatus[];
int RunDownload(int argc, char** argv);

extern const char kWatchSynopsis[];
std::string WatchHelp();
extern const char kWatchExitStatus[];
int RunWatch(int argc, char** argv);

extern const char kArchiveSynopsis[];
std::string ArchiveHelp();
extern const char kArchiveExitStatus[];
extern const CommandPart kArchiveParts[];
std::string ArchivePartOptions();
int RunArchive(int argc, char** argv);

extern const char kExportSynopsis[];
std::string ExportHelp();
extern const char kExportExitStatus[];
int RunExport(int argc, char** argv);

extern const char kPlotSynopsis[];
std::string PlotHelp();
extern const char kPlotExitStatus[];
int RunPlot(int argc, char** argv);

extern const char kMapSynopsis[];
std::string MapHelp();
extern const char kMapExitStatus[];
int RunMap(int argc, char** argv);

extern const char kSurveySynopsis[];
std::string SurveyHelp();
extern const char kSurveyExitStatus[];
int RunSurvey(int argc, char** argv);
