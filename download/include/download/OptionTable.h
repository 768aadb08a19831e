#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <utility>
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
        Text,          // --meaning TEXT: the same, a name or text read as TextArgument.h reads one
        OptionalValue, // --pipe [NAME]: the next argument unless it is an option
        Values,        // --slot N ...: the next argument and the bare words that follow it
    };
    const char* name;  // "--dump"; nullptr: a line of the help that is no option
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
// against its options. "--" ends the options; any other word that starts with '-' must be one of
// them, except a negative number where `numbersArePositional`. Every value is checked against its
// option. Returns false with a one-line message for the user in one of four forms:
//   "COMMAND: unknown option ARG"
//   "COMMAND: OPTION needs VALUE"                (no value, or an empty one that is refused)
//   "COMMAND: OPTION takes VALUE, not \"ARG\""   (a value the option does not accept)
//   "COMMAND: OPTION is not UTF-8 text", "COMMAND: OPTION holds a line break (\n): ..."
//                                                (Takes::Text: a value that is no one-line text)
bool ParseArguments(const std::vector<std::string>& args,
                    const std::vector<const OptionSpec*>& specs, const char* command,
                    bool numbersArePositional, ParsedArguments& parsed, std::string& message);

// What a use of an option does to a subcommand's options; its value has been checked.
template <typename Options> using OptionSetter = std::function<void(Options&, const OptionUse&)>;

// An option as a subcommand declares it: its spelling and check, its line in the subcommand's
// --help, and what it sets. A table of them is all there is to a subcommand's options: the parser
// applies the setters, and the help lists the lines.
template <typename Options> struct Option {
    OptionSpec spec;
    // What follows the name on the help line ("FILE", "[NAME]", "N ..."); "" for a switch. For a
    // line that is no option, the whole left column ("" to go on under the option before).
    const char* placeholder;
    // The description, '\n' between its lines as they are to be read; nullptr: described elsewhere
    // (the options every archive command takes).
    const char* help;
    OptionSetter<Options> set;
};

template <typename Options> using OptionTable = std::vector<Option<Options>>;

// A line of a subcommand's help between its options that is no option: a remark on the options
// above it, or one more form of the option above (left: "--format gpx").
template <typename Options> Option<Options> HelpNote(const char* left, const char* help) {
    return {{nullptr, nullptr, OptionSpec::Takes::Nothing, "", nullptr}, left, help, nullptr};
}

// The option's left column on the help: "--dump FILE", "-o FILE, --output FILE", "-q, --quiet".
std::string OptionShownAs(const OptionSpec& spec, const char* placeholder);

// The option lines of a help, each left column at two blanks and each description at column 24,
// its further lines under it.
std::string OptionHelpLines(const std::vector<std::pair<std::string, const char*>>& rows);

template <typename Options> std::string OptionHelp(const OptionTable<Options>& table) {
    std::vector<std::pair<std::string, const char*>> rows;
    for (const Option<Options>& option : table) {
        if (option.help != nullptr) {
            rows.emplace_back(OptionShownAs(option.spec, option.placeholder), option.help);
        }
    }
    return OptionHelpLines(rows);
}

// Parses `args` against the table and applies each use's setter to `options` in command-line
// order; the words that are no option go to `positional`. False with the parser's message.
template <typename Options>
bool ParseOptions(const std::vector<std::string>& args, const OptionTable<Options>& table,
                  const char* command, bool numbersArePositional, Options& options,
                  std::vector<std::string>& positional, std::string& message) {
    std::vector<const OptionSpec*> specs;
    for (const Option<Options>& option : table) {
        if (option.spec.name != nullptr) {
            specs.push_back(&option.spec);
        }
    }
    ParsedArguments parsed;
    if (!ParseArguments(args, specs, command, numbersArePositional, parsed, message)) {
        return false;
    }
    for (const OptionUse& use : parsed.options) {
        for (const Option<Options>& option : table) {
            if (&option.spec == use.option) {
                option.set(options, use);
            }
        }
    }
    positional = std::move(parsed.positional);
    return true;
}

// The option of a part of a command's options (the download's within the watcher's) as the
// whole's, with the whole command's description.
template <typename Whole, typename Part>
Option<Whole> Lift(const Option<Part>& option, Part Whole::*part, const char* help) {
    const OptionSetter<Part> set = option.set;
    return {option.spec, option.placeholder, help,
            [set, part](Whole& whole, const OptionUse& use) { set(whole.*part, use); }};
}

// An option that sets one more thing besides what it sets.
template <typename Options>
Option<Options> AlsoSetting(Option<Options> option, const OptionSetter<Options>& also) {
    const OptionSetter<Options> set = option.set;
    option.set = [set, also](Options& options, const OptionUse& use) {
        set(options, use);
        also(options, use);
    };
    return option;
}

// The common setters: a value taken as written, a switch turned on.
template <typename Options> OptionSetter<Options> SetsText(std::string Options::*field) {
    return [field](Options& options, const OptionUse& use) { options.*field = use.value; };
}
template <typename Options> OptionSetter<Options> SetsFlag(bool Options::*field) {
    return [field](Options& options, const OptionUse&) { options.*field = true; };
}
