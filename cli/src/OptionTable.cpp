#include "OptionTable.h"

#include <cstring>

#include "CommandLine.h"

namespace {

bool LooksLikeOption(const char* arg) {
    return arg[0] == '-' && arg[1] != '\0';
}

const OptionSpec* Find(const OptionSpec* table, size_t count, const char* arg, size_t length) {
    for (size_t k = 0; k < count; ++k) {
        const OptionSpec& spec = table[k];
        for (const char* name : {spec.name, spec.alias}) {
            if (name != nullptr && std::strlen(name) == length &&
                std::strncmp(name, arg, length) == 0) {
                return &spec;
            }
        }
    }
    return nullptr;
}

} // namespace

bool ParseArguments(int argc, char** argv, const OptionSpec* table, size_t count,
                    const char* command, bool numbersArePositional, ParsedArguments& parsed,
                    std::string& message) {
    bool optionsEnded = false;
    // Bare words after an option that takes several values are more of its values.
    const OptionSpec* list = nullptr;
    for (int i = 0; i < argc; ++i) {
        const char* arg = argv[i];
        const bool option = !optionsEnded && LooksLikeOption(arg) &&
                            !(numbersArePositional && LooksLikeNumber(arg));
        if (!option) {
            if (list != nullptr) {
                parsed.options.push_back({list, true, arg});
            } else {
                parsed.positional.push_back(arg);
            }
            continue;
        }
        list = nullptr;
        if (std::strcmp(arg, "--") == 0) {
            optionsEnded = true;
            continue;
        }
        const char* equals = std::strchr(arg, '=');
        const size_t length =
            equals != nullptr ? static_cast<size_t>(equals - arg) : std::strlen(arg);
        const OptionSpec* spec = Find(table, count, arg, length);
        if (spec == nullptr || (equals != nullptr && spec->takes == OptionSpec::Takes::Nothing)) {
            message = std::string(command) + ": unknown option " + arg;
            return false;
        }
        OptionUse use{spec, false, std::string()};
        if (equals != nullptr) {
            use.hasValue = true;
            use.value = equals + 1;
        } else if (spec->takes == OptionSpec::Takes::Value ||
                   spec->takes == OptionSpec::Takes::Values) {
            if (i + 1 >= argc) {
                message = spec->missing;
                return false;
            }
            use.hasValue = true;
            use.value = argv[++i];
        } else if (spec->takes == OptionSpec::Takes::OptionalValue && i + 1 < argc &&
                   !LooksLikeOption(argv[i + 1])) {
            use.hasValue = true;
            use.value = argv[++i];
        }
        if (spec->takes == OptionSpec::Takes::Values) {
            list = spec;
        }
        parsed.options.push_back(use);
    }
    return true;
}
