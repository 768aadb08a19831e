// tavon-datalog: the Tavon Datalogging session browser without windows.
#include <cstdio>
#include <cstring>
#include <string>

#include "CommandLine.h"
#include "Commands.h"
#include "ExitStatus.h"
#include "tavon/Version.h"

namespace {

void PrintHelp(std::FILE* out) {
    std::fprintf(out, "Usage: tavon-datalog COMMAND ARGUMENTS...\n"
                      "\n"
                      "Reads the log memory of a Tavon instrument, saved as a FlashData.txt dump,\n"
                      "without an instrument or a window, or downloads it from the instrument.\n"
                      "\n"
                      "Commands:\n");
    for (const Command* c = CommandTable(); c->name != nullptr; ++c) {
        std::fprintf(out, "  tavon-datalog %s\n", c->synopsis);
    }
    for (const Command* c = CommandTable(); c->name != nullptr; ++c) {
        std::fprintf(out, "\n%s:\n%s", c->name, c->help);
    }
    std::fprintf(out, "\n"
                      "  -h, --help    this text (also after a command)\n"
                      "  --version     the program's version\n"
                      "\n"
                      "Exit status: 0 done; 1 the output could not be written; 2 bad arguments,\n"
                      "an unreadable or malformed dump, or a slot outside 0 to 499; download\n"
                      "adds 3, 4 and 5 (see above).\n");
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return UsageError("a command is needed");
    }
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) {
            break;
        }
        if (IsHelp(argv[i])) {
            PrintHelp(stdout);
            return kExitOk;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("tavon-datalog %s\n", TAVON_VERSION);
            return kExitOk;
        }
    }
    for (const Command* c = CommandTable(); c->name != nullptr; ++c) {
        if (std::strcmp(argv[1], c->name) == 0) {
            return c->run(argc - 2, argv + 2);
        }
    }
    return UsageError(std::string("unknown command \"") + argv[1] + "\"");
}
