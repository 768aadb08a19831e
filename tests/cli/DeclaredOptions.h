#pragma once

#include <string>
#include <vector>

#include "download/OptionTable.h"

// Every spelling a subcommand's table declares: names and short aliases.
template <typename Options>
std::vector<std::string> DeclaredOptions(const OptionTable<Options>& table) {
    std::vector<std::string> names;
    for (const Option<Options>& option : table) {
        for (const char* name : {option.spec.name, option.spec.alias}) {
            if (name != nullptr) {
                names.push_back(name);
            }
        }
    }
    return names;
}

// Whether a help lists the option on a line of its own: at the start of an option line ("  --dump
// FILE", "  -o FILE, ...") or after an alias ("-q, --quiet"), never as part of a longer word.
inline bool HelpListsOption(const std::string& help, const std::string& name) {
    for (const std::string& before : {std::string("\n  "), std::string(", ")}) {
        for (size_t at = help.find(before + name); at != std::string::npos;
             at = help.find(before + name, at + 1)) {
            const size_t end = at + before.size() + name.size();
            if (end < help.size() && std::string(" ,\n").find(help[end]) != std::string::npos) {
                return true;
            }
        }
    }
    return false;
}
