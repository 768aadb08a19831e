// tavon-datalog sessions: the session tree of a saved dump.
#include <cstring>
#include <string>

#include "CommandLine.h"
#include "Commands.h"
#include "DumpData.h"
#include "ExitStatus.h"
#include "OfflineOptions.h"
#include "ReportOutput.h"
#include "TreeText.h"
#include "core/SessionTable.h"

const char kSessionsSynopsis[] = "sessions DUMP [--show all|alarm|cal|alarm,cal]";

const char kSessionsHelp[] =
    "Prints the session tree of a FlashData.txt dump: each month on a line of its own, each day\n"
    "indented by two blanks, each session as four blanks, its slot number, a colon, a blank and\n"
    "its label (time and tags).\n"
    "\n"
    "  --show LIST   which sessions the tree lists, like the session boxes of the program:\n"
    "                a comma-separated choice of all, alarm (sessions with an alarm) and cal\n"
    "                (sessions with a calibration). Default: all. Months and days are listed\n"
    "                for every dated session whatever the choice.\n";

int RunSessions(int argc, char** argv) {
    SessionsOptions options;
    std::string message;
    if (!ParseSessionsOptions(argc, argv, options, message)) {
        return UsageError(message);
    }
    if (!LoadDumpAndSessions(options.dump.c_str())) {
        return kExitUsage;
    }
    return WriteOutput(std::string(), SessionTreeText(Sessions(), options.boxes));
}
