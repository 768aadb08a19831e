#include "download/OptionTable.h"

#include "download/CommandArguments.h"
#include "download/TextArgument.h"

namespace {

bool LooksLikeOption(const std::string& arg) {
    return arg.size() > 1 && arg[0] == '-';
}

const OptionSpec* Find(const std::vector<const OptionSpec*>& specs, const std::string& name) {
    for (const OptionSpec* spec : specs) {
        for (const char* known : {spec->name, spec->alias}) {
            if (known != nullptr && name == known) {
                return spec;
            }
        }
    }
    return nullptr;
}

bool Acceptable(const OptionSpec& spec, const std::string& value) {
    return spec.accepts != nullptr ? spec.accepts(value) : !value.empty();
}

// The same three sentences for every command, whatever the option.
std::string Unknown(const char* command, const std::string& arg) {
    return std::string(command) + ": unknown option " + arg;
}

std::string Needs(const char* command, const std::string& spelled, const OptionSpec& spec) {
    return std::string(command) + ": " + spelled + " needs " + spec.value;
}

std::string Refused(const char* command, const std::string& spelled, const OptionSpec& spec,
                    const std::string& value) {
    if (value.empty()) {
        return Needs(command, spelled, spec);
    }
    return std::string(command) + ": " + spelled + " takes " + spec.value + ", not \"" + value +
           "\"";
}

// A name or text: its bytes text, on one line (the value itself is not shown: it may not be).
bool TextRefused(const char* command, const std::string& spelled, const OptionSpec& spec,
                 const std::string& value, std::string& message) {
    QString text;
    std::string why;
    if (spec.takes != OptionSpec::Takes::Text || ReadTextArgument(value, text, why)) {
        return false;
    }
    message = std::string(command) + ": " + spelled + " " + why;
    return true;
}

} // namespace

bool ParseArguments(const std::vector<std::string>& args,
                    const std::vector<const OptionSpec*>& specs, const char* command,
                    bool numbersArePositional, ParsedArguments& parsed, std::string& message) {
    bool optionsEnded = false;
    // Bare words after an option that takes several values are more of its values.
    const OptionSpec* list = nullptr;
    std::string listSpelled;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool option = !optionsEnded && LooksLikeOption(arg) &&
                            !(numbersArePositional && LooksLikeNumber(arg.c_str()));
        if (!option) {
            if (list == nullptr) {
                parsed.positional.push_back(arg);
                continue;
            }
            if (!Acceptable(*list, arg)) {
                message = Refused(command, listSpelled, *list, arg);
                return false;
            }
            parsed.options.push_back({list, true, arg});
            continue;
        }
        list = nullptr;
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const size_t equals = arg.find('=');
        const std::string spelled = arg.substr(0, equals);
        const OptionSpec* spec = Find(specs, spelled);
        if (spec == nullptr ||
            (equals != std::string::npos && spec->takes == OptionSpec::Takes::Nothing)) {
            message = Unknown(command, arg);
            return false;
        }
        OptionUse use{spec, false, std::string()};
        if (equals != std::string::npos) {
            use.hasValue = true;
            use.value = arg.substr(equals + 1);
        } else if (spec->takes == OptionSpec::Takes::Value ||
                   spec->takes == OptionSpec::Takes::Text ||
                   spec->takes == OptionSpec::Takes::Values) {
            if (i + 1 >= args.size()) {
                message = Needs(command, spelled, *spec);
                return false;
            }
            use.hasValue = true;
            use.value = args[++i];
        } else if (spec->takes == OptionSpec::Takes::OptionalValue && i + 1 < args.size() &&
                   !LooksLikeOption(args[i + 1])) {
            use.hasValue = true;
            use.value = args[++i];
        }
        if (use.hasValue && !Acceptable(*spec, use.value)) {
            message = Refused(command, spelled, *spec, use.value);
            return false;
        }
        if (use.hasValue && TextRefused(command, spelled, *spec, use.value, message)) {
            return false;
        }
        if (spec->takes == OptionSpec::Takes::Values) {
            list = spec;
            listSpelled = spelled;
        }
        parsed.options.push_back(use);
    }
    return true;
}

std::string OptionShownAs(const OptionSpec& spec, const char* placeholder) {
    if (spec.name == nullptr) {
        return placeholder;
    }
    const std::string value = *placeholder != '\0' ? std::string(" ") + placeholder : std::string();
    const std::string alias = spec.alias != nullptr ? spec.alias + value + ", " : std::string();
    return alias + spec.name + value;
}

std::string OptionHelpLines(const std::vector<std::pair<std::string, const char*>>& rows) {
    // Where the descriptions start; a longer left column has two blanks after it instead.
    constexpr size_t kColumn = 24;
    std::string out;
    for (const auto& row : rows) {
        std::string line = row.first.empty() ? std::string() : "  " + row.first;
        line.append(line.size() + 2 <= kColumn ? kColumn - line.size() : 2, ' ');
        for (const char* c = row.second; *c != '\0'; ++c) {
            line += *c;
            if (*c == '\n') {
                line.append(kColumn, ' ');
            }
        }
        out += line + '\n';
    }
    return out;
}
