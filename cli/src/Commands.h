#pragma once

// One subcommand of tavon-datalog: its name, a one-line summary for the overview, the text of its
// own help, and the function that runs it with the arguments that follow its name.
struct Command {
    const char* name;
    const char* synopsis;
    const char* help;
    int (*run)(int argc, char** argv);
};

// The subcommands in the order the help lists them; ends with an entry whose name is null.
const Command* CommandTable();

extern const char kSessionsSynopsis[];
extern const char kSessionsHelp[];
int RunSessions(int argc, char** argv);

extern const char kRenderSynopsis[];
extern const char kRenderHelp[];
int RunRender(int argc, char** argv);

extern const char kDownloadSynopsis[];
extern const char kDownloadHelp[];
int RunDownload(int argc, char** argv);

extern const char kArchiveSynopsis[];
extern const char kArchiveHelp[];
int RunArchive(int argc, char** argv);

extern const char kExportSynopsis[];
extern const char kExportHelp[];
int RunExport(int argc, char** argv);

extern const char kPlotSynopsis[];
extern const char kPlotHelp[];
int RunPlot(int argc, char** argv);
