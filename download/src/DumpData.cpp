#include "download/DumpData.h"

#include <string>

#include "core/LogImage.h"
#include "core/SessionTable.h"
#include "download/CommandLine.h"

LogImage& Image() {
    static LogImage image;
    return image;
}

SessionTable& Sessions() {
    static SessionTable table;
    return table;
}

bool LoadDumpAndSessions(const char* path) {
    std::string message;
    if (!Image().LoadDump(path, message)) {
        PrintError(message);
        return false;
    }
    Sessions().Build(Image());
    return true;
}

bool DumpHoldsSessions(const std::vector<int16_t>& sessionSlots) {
    bool held = true;
    for (int16_t slot : sessionSlots) {
        if (!Image().SessionHeld(slot)) {
            PrintError("slot " + std::to_string(slot) +
                       ": the dump does not hold this session (it was never uploaded into it)");
            held = false;
        }
    }
    return held;
}
