#include "Commands.h"

#include <cstddef>

const Command* CommandTable() {
    static const Command commands[] = {
        {"sessions", kSessionsSynopsis, kSessionsHelp, RunSessions},
        {"render", kRenderSynopsis, kRenderHelp, RunRender},
        {nullptr, nullptr, nullptr, nullptr},
    };
    return commands;
}
