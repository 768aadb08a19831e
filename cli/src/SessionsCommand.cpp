// tavon-datalog sessions: the session tree of a saved dump.
#include <cstring>
#include <string>

#include "CommandLine.h"
#include "Commands.h"
#include "DumpData.h"
#include "ExitStatus.h"
#include "ReportOutput.h"
#include "TreeText.h"
#include "app/SessionTable.h"

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
    SessionBoxes boxes;
    std::string dump;
    bool haveDump = false;
    bool optionsEnded = false;
    for (int i = 0; i < argc;) {
        const char* arg = argv[i];
        std::string value;
        bool missing = false;
        if (!optionsEnded && std::strcmp(arg, "--") == 0) {
            optionsEnded = true;
            ++i;
        } else if (!optionsEnded && TakeValue(argc, argv, i, "--show", value, missing)) {
            if (missing) {
                return UsageError("--show needs a value: all, alarm, cal or alarm,cal");
            }
            if (!ParseSessionBoxes(value, boxes)) {
                return UsageError("--show takes all, alarm, cal or alarm,cal, not \"" + value +
                                  "\"");
            }
        } else if (!optionsEnded && arg[0] == '-' && arg[1] != '\0') {
            return UsageError(std::string("sessions: unknown option ") + arg);
        } else if (haveDump) {
            return UsageError(std::string("sessions takes one dump, not also \"") + arg + "\"");
        } else {
            dump = arg;
            haveDump = true;
            ++i;
        }
    }
    if (!haveDump) {
        return UsageError("sessions needs the dump to read");
    }
    if (!LoadDumpAndSessions(dump.c_str())) {
        return kExitUsage;
    }
    return WriteOutput(std::string(), SessionTreeText(Sessions(), boxes));
}
