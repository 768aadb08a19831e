#pragma once

#include <cstddef>
#include <string>
#include <vector>

// One option of a subcommand, as the one parser of every tavon-datalog command line reads it. A
// value is given as "--name VALUE" or "--name=VALUE".
//
// Qt's QCommandLineParser cannot carry these forms: an optional value (--pipe [NAME]), an option
// followed by several bare values (--slot 7 3), the order of different repeated options relative
// to each other (--pipe a --port b --pipe c), and negative numbers that are slots rather than
// options.
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
    // What a value must be, as the messages put it: "--dump needs a file name", "--plot takes
    // pdf or png, not \"svg\"". Empty for an option that takes no value.
    const char* value;
    // Whether a value is acceptable; nullptr: any value but an empty one.
    bool (*accepts)(const std::string& value);
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

// Reads the arguments that follow a subcommand's name (`command`: "render", "archive list")
// against its table. "--" ends the options; any other word that starts with '-' must be an option
// of the table, except a negative number where `numbersArePositional`. Every value is checked
// against its option. Returns false with a one-line message for the user in one of three forms:
//   "COMMAND: unknown option ARG"
//   "COMMAND: OPTION needs VALUE"                (no value, or an empty one that is refused)
//   "COMMAND: OPTION takes VALUE, not \"ARG\""   (a value the option does not accept)
bool ParseArguments(const std::vector<std::string>& args, const OptionSpec* table, size_t count,
                    const char* command, bool numbersArePositional, ParsedArguments& parsed,
                    std::string& message);
bool ParseArguments(int argc, char** argv, const OptionSpec* table, size_t count,
                    const char* command, bool numbersArePositional, ParsedArguments& parsed,
                    std::string& message);

// The position of the option a use names in its table.
inline size_t IndexIn(const OptionSpec* table, const OptionUse& use) {
    return static_cast<size_t>(use.option - table);
}
