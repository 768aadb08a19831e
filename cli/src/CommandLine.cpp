#include "CommandLine.h"

#include <cstdio>
#include <cstring>

#include "ExitStatus.h"

void PrintError(const std::string& message) {
    std::fprintf(stderr, "tavon-datalog: %s\n", message.c_str());
}

int UsageError(const std::string& message) {
    PrintError(message + " (see tavon-datalog --help)");
    return kExitUsage;
}

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> words;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        if (comma == std::string::npos) {
            words.push_back(text.substr(start));
            return words;
        }
        words.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
}

bool TakeValue(int argc, char** argv, int& i, const char* name, std::string& value, bool& missing) {
    missing = false;
    const char* arg = argv[i];
    const size_t length = std::strlen(name);
    if (std::strncmp(arg, name, length) != 0) {
        return false;
    }
    if (arg[length] == '=') {
        value = arg + length + 1;
        ++i;
        return true;
    }
    if (arg[length] != '\0') {
        return false;
    }
    if (i + 1 >= argc) {
        missing = true;
        ++i;
        return true;
    }
    value = argv[i + 1];
    i += 2;
    return true;
}

bool IsHelp(const char* arg) {
    return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0;
}
