#pragma once

#include "linkselect/LinkSelectExport.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// One open key of the local machine's registry (or of what stands in for it).
class LINKSELECT_EXPORT RegistryKey {
public:
    virtual ~RegistryKey() = default;
    // Name of subkey number index, zero-terminated, into name[capacity]. false when there is no
    // such subkey or its name and the terminating zero do not fit.
    virtual bool EnumKey(uint32_t index, char* name, size_t capacity) = 0;
    // Name (zero-terminated, into name[nameCapacity]) and raw data (into data[*dataSize], the
    // count of bytes stored back into *dataSize) of value number index. false when there is no
    // such value or the name or the data do not fit.
    virtual bool EnumValue(uint32_t index, char* name, size_t nameCapacity, uint8_t* data,
                           size_t* dataSize) = 0;
};

// Read-only access to the local machine's registry: the three calls that port discovery makes.
class LINKSELECT_EXPORT Registry {
public:
    virtual ~Registry() = default;
    // path is relative to the local machine root, with backslashes; compared ignoring case as
    // Windows does. Null when the key does not exist or cannot be read.
    virtual std::unique_ptr<RegistryKey> OpenKey(const std::string& path) = 0;
};

// The registry of the platform the library runs on: Win32Registry on Windows, LinuxRegistry
// with its default roots elsewhere.
LINKSELECT_EXPORT std::unique_ptr<Registry> MakePlatformRegistry();
