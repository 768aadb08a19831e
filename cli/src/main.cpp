// tavon-datalog: Tavon Datalogging without windows.
#include <cstdio>
#include <cstring>
#include <string>

#include "Commands.h"
#include "download/CommandArguments.h"
#include "download/ExitStatus.h"
#include "tavon/Version.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        return UsageError("a command is needed");
    }
    const Command* command = nullptr;
    for (const Command* c = CommandTable(); c->name != nullptr; ++c) {
        if (std::strcmp(argv[1], c->name) == 0) {
            command = c;
        }
    }
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) {
            break;
        }
        if (IsHelp(argv[i])) {
            if (command != nullptr && i > 1) {
                PrintCommandHelp(*command, argc > 2 ? argv[2] : nullptr, stdout);
            } else {
                PrintOverview(stdout);
            }
            return kExitOk;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("tavon-datalog %s\n", TAVON_VERSION);
            return kExitOk;
        }
    }
    if (command == nullptr) {
        return UsageError(std::string("unknown command \"") + argv[1] + "\"");
    }
    return command->run(argc - 2, argv + 2);
}
