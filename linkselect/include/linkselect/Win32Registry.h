#pragma once

#ifdef _WIN32

#include "linkselect/Registry.h"

// The Windows registry of the local machine, opened for reading only.
class LINKSELECT_EXPORT Win32Registry : public Registry {
public:
    std::unique_ptr<RegistryKey> OpenKey(const std::string& path) override;
};

#endif
