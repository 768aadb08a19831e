#pragma once

#include "linkselect/Registry.h"

#include <map>
#include <set>
#include <string>
#include <vector>

// A registry held in memory: keys in the order they were added, values in the order they were
// set. LinuxRegistry fills one from the system; tests fill one by hand (FakeRegistry).
class LINKSELECT_EXPORT MemoryRegistry : public Registry {
public:
    // Creates the key and every missing key above it.
    void AddKey(const std::string& path);
    // Creates the key when needed; a value of the same name is replaced in its place.
    void SetValue(const std::string& path, const std::string& name, const std::string& data);
    // A string value as Windows stores it: the text and a terminating zero.
    void SetString(const std::string& path, const std::string& name, const std::string& text);
    // The key stays listed under its parent but opening it fails, like a key without access.
    void MakeUnopenable(const std::string& path);
    bool HasKey(const std::string& path) const;

    std::unique_ptr<RegistryKey> OpenKey(const std::string& path) override;

private:
    struct Node {
        std::string name;
        std::vector<std::string> children; // full folded paths, in order of addition
        std::vector<std::pair<std::string, std::string>> values;
    };
    static std::string Fold(const std::string& path);
    Node* Find(const std::string& path);
    Node& Make(const std::string& path);

    std::map<std::string, Node> nodes_; // by folded path
    std::set<std::string> unopenable_;
};

// The registry that tests describe by hand.
using FakeRegistry = MemoryRegistry;
