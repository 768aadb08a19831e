#include "download/CommandArguments.h"

#include <cstdio>
#include <cstring>

#include "core/LogImage.h"
#include "core/SessionTable.h"
#include "download/ExitStatus.h"

void PrintError(const std::string& message) {
    std::fprintf(stderr, "tavon-datalog: %s\n", message.c_str());
}

int UsageError(const std::string& message, const std::string& command) {
    PrintError(message + " (see tavon-datalog " + (command.empty() ? "" : command + " ") +
               "--help)");
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

bool IsHelp(const char* arg) {
    return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0;
}

bool LooksLikeNumber(const char* text) {
    const char* p = text[0] == '-' ? text + 1 : text;
    if (*p == '\0') {
        return false;
    }
    for (; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') {
            return false;
        }
    }
    return true;
}

bool ParseSlot(const char* text, int16_t& slot, std::string& message) {
    if (!LooksLikeNumber(text)) {
        message = std::string("not a slot number: \"") + text + "\"";
        return false;
    }
    long value = 0;
    for (const char* p = text[0] == '-' ? text + 1 : text; *p != '\0'; ++p) {
        value = value * 10 + (*p - '0');
        if (value >= LogImage::kSlotCount) {
            break; // out of range already; keeps long numbers from overflowing
        }
    }
    if (text[0] == '-' || value >= LogImage::kSlotCount) {
        message = std::string("slot ") + text + " is outside 0 to 499";
        return false;
    }
    slot = static_cast<int16_t>(value);
    return true;
}

std::string ModeName(std::string name) {
    for (char& c : name) {
        if (c == '[') {
            c = static_cast<char>(0xE9);
        } else if (c == ']') {
            c = static_cast<char>(0xEA);
        }
    }
    return name;
}

bool ParseSessionBoxes(const std::string& text, SessionBoxes& boxes) {
    boxes.all = boxes.alarm = boxes.cal = false;
    for (const std::string& word : SplitList(text)) {
        if (word == "all") {
            boxes.all = true;
        } else if (word == "alarm") {
            boxes.alarm = true;
        } else if (word == "cal") {
            boxes.cal = true;
        } else {
            return false;
        }
    }
    return true;
}
