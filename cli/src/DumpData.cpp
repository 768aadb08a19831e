#include "DumpData.h"

#include <string>

#include "CommandLine.h"
#include "core/LogImage.h"
#include "core/SessionTable.h"

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
