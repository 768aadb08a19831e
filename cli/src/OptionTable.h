#pragma once

#include <cstddef>
#include <string>
#include <vector>

// One option of a subcommand, as the one parser of tavon-datalog's command lines reads it. A value
// is given as "--name VALUE" or "--name=VALUE".
struct OptionSpec {
    enum class Takes {
        Nothing,       // --graph
        Value,         // --dump FILE: the next argument, whatever it is
        OptionalValue, // --pipe [NAME]: the next argument unless it is an option
        Values,        // --slot N ...: the next argument and the bare words that follow it
    };
    const char* name;  // "--dump"
    const char* alias; // "-o", "-q", or nullptr
    Takes takes;
    const char* missing; // the message when a value is missing
};

// One use of an option, with one value (an option that takes several gives one use per value).
struct OptionUse {
    const OptionSpec* option;
    bool hasValue;
    std::string value;
};

struct ParsedArguments {
    std::vector<OptionUse> options; // in command-line order
    std::vector<std::string> positional;
};

// Reads the arguments that follow a subcommand's name against its table. "--" ends the options;
// any other word that starts with '-' must be an option of the table, except a negative number
// where `numbersArePositional`. Returns false with a one-line message for the user.
bool ParseArguments(int argc, char** argv, const OptionSpec* table, size_t count,
                    const char* command, bool numbersArePositional, ParsedArguments& parsed,
                    std::string& message);
