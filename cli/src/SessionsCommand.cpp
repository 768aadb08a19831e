// tavon-datalog sessions: the session tree of a saved dump.
#include <cstring>
#include <string>

#include "Commands.h"
#include "core/SessionTable.h"
#include "download/CommandArguments.h"
#include "download/DumpData.h"
#include "download/ExitStatus.h"
#include "download/OfflineOptions.h"
#include "download/ReportOutput.h"
#include "download/TreeText.h"

const char kSessionsSynopsis[] = "sessions DUMP [--show all|alarm|cal|alarm,cal]";

namespace {

// What sessions does, before its options.
const char kSessionsIntro[] =
    "Prints the session tree of a FlashData.txt dump on standard output, as the program's tree\n"
    "lists it: each month on a line of its own, each day indented by two blanks, each session\n"
    "as four blanks, the word slot and its slot number, a colon, a blank and its label (time and\n"
    "tags): \"    slot 12: 10:15:00FC   \". Sessions without a date are not listed (render takes\n"
    "their slots all the same).\n"
    "\n";

} // namespace

std::string SessionsHelp() {
    return kSessionsIntro + OptionHelp(SessionsOptionTable());
}

const char kSessionsExitStatus[] =
    "Exit status: 0 done; 1 standard output could not be written; 2 bad arguments, or an\n"
    "unreadable or malformed dump (the message names its bad line).\n";

int RunSessions(int argc, char** argv) {
    SessionsOptions options;
    std::string message;
    if (!ParseSessionsOptions(argc, argv, options, message)) {
        return UsageError(message, "sessions");
    }
    if (!LoadDumpAndSessions(options.dump.c_str())) {
        return kExitUsage;
    }
    return WriteOutput(std::string(), SessionTreeText(Sessions(), options.boxes));
}
