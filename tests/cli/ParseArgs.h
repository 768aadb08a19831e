#pragma once

#include <string>
#include <vector>

// Runs a subcommand's parser over `args` as the words that follow the subcommand's name.
template <typename Options, typename Parse>
bool ParseWith(Parse parse, std::vector<std::string> args, Options& options, std::string& message) {
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(&arg[0]);
    }
    return parse(static_cast<int>(argv.size()), argv.data(), options, message);
}
