#include "linkselect/MemoryRegistry.h"

#include <cctype>
#include <cstring>

namespace {

// A snapshot of one key: later changes to the registry do not affect an open key, which is all
// that discovery needs and keeps the key valid whatever happens to the registry.
class MemoryKey : public RegistryKey {
public:
    MemoryKey(std::vector<std::string> subkeys,
              std::vector<std::pair<std::string, std::string>> values)
        : subkeys_(std::move(subkeys)), values_(std::move(values)) {}

    bool EnumKey(uint32_t index, char* name, size_t capacity) override {
        if (index >= subkeys_.size() || name == nullptr) {
            return false;
        }
        return CopyName(subkeys_[index], name, capacity);
    }

    bool EnumValue(uint32_t index, char* name, size_t nameCapacity, uint8_t* data,
                   size_t* dataSize) override {
        if (index >= values_.size() || name == nullptr || data == nullptr || dataSize == nullptr) {
            return false;
        }
        const auto& value = values_[index];
        if (value.second.size() > *dataSize || !CopyName(value.first, name, nameCapacity)) {
            return false;
        }
        std::memcpy(data, value.second.data(), value.second.size());
        *dataSize = value.second.size();
        return true;
    }

private:
    static bool CopyName(const std::string& text, char* name, size_t capacity) {
        if (text.size() + 1 > capacity) {
            return false;
        }
        std::memcpy(name, text.c_str(), text.size() + 1);
        return true;
    }

    std::vector<std::string> subkeys_;
    std::vector<std::pair<std::string, std::string>> values_;
};

std::string LastPart(const std::string& path) {
    const size_t slash = path.rfind('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

std::string MemoryRegistry::Fold(const std::string& path) {
    std::string folded = path;
    for (char& c : folded) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return folded;
}

MemoryRegistry::Node* MemoryRegistry::Find(const std::string& path) {
    auto it = nodes_.find(Fold(path));
    return it == nodes_.end() ? nullptr : &it->second;
}

MemoryRegistry::Node& MemoryRegistry::Make(const std::string& path) {
    const std::string folded = Fold(path);
    auto it = nodes_.find(folded);
    if (it != nodes_.end()) {
        return it->second;
    }
    const size_t slash = path.rfind('\\');
    if (slash != std::string::npos) {
        Node& parent = Make(path.substr(0, slash));
        parent.children.push_back(folded);
    }
    Node& node = nodes_[folded];
    node.name = LastPart(path);
    return node;
}

void MemoryRegistry::AddKey(const std::string& path) {
    Make(path);
}

void MemoryRegistry::SetValue(const std::string& path, const std::string& name,
                              const std::string& data) {
    Node& node = Make(path);
    for (auto& value : node.values) {
        if (value.first == name) {
            value.second = data;
            return;
        }
    }
    node.values.emplace_back(name, data);
}

void MemoryRegistry::SetString(const std::string& path, const std::string& name,
                               const std::string& text) {
    SetValue(path, name, text + std::string(1, '\0'));
}

void MemoryRegistry::MakeUnopenable(const std::string& path) {
    Make(path);
    unopenable_.insert(Fold(path));
}

bool MemoryRegistry::HasKey(const std::string& path) const {
    return nodes_.count(Fold(path)) != 0;
}

std::unique_ptr<RegistryKey> MemoryRegistry::OpenKey(const std::string& path) {
    Node* node = Find(path);
    if (node == nullptr || unopenable_.count(Fold(path)) != 0) {
        return nullptr;
    }
    std::vector<std::string> subkeys;
    subkeys.reserve(node->children.size());
    for (const std::string& child : node->children) {
        subkeys.push_back(nodes_[child].name);
    }
    return std::make_unique<MemoryKey>(std::move(subkeys), node->values);
}
