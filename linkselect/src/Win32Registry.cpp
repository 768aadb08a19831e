#include "linkselect/Win32Registry.h"

#include <windows.h>

namespace {

class Win32Key : public RegistryKey {
public:
    explicit Win32Key(HKEY key) : key_(key) {}
    ~Win32Key() override { RegCloseKey(key_); }
    Win32Key(const Win32Key&) = delete;
    Win32Key& operator=(const Win32Key&) = delete;

    bool EnumKey(uint32_t index, char* name, size_t capacity) override {
        if (name == nullptr || capacity == 0) {
            return false;
        }
        return RegEnumKeyA(key_, index, name, static_cast<DWORD>(capacity)) == ERROR_SUCCESS;
    }

    bool EnumValue(uint32_t index, char* name, size_t nameCapacity, uint8_t* data,
                   size_t* dataSize) override {
        if (name == nullptr || nameCapacity == 0 || data == nullptr || dataSize == nullptr) {
            return false;
        }
        DWORD nameLength = static_cast<DWORD>(nameCapacity);
        DWORD dataLength = static_cast<DWORD>(*dataSize);
        if (RegEnumValueA(key_, index, name, &nameLength, nullptr, nullptr, data, &dataLength) !=
            ERROR_SUCCESS) {
            return false;
        }
        *dataSize = dataLength;
        return true;
    }

private:
    HKEY key_;
};

} // namespace

std::unique_ptr<RegistryKey> Win32Registry::OpenKey(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return nullptr;
    }
    return std::make_unique<Win32Key>(key);
}

std::unique_ptr<Registry> MakePlatformRegistry() {
    return std::make_unique<Win32Registry>();
}
