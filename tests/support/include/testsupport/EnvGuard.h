#pragma once

#include <string>

namespace testsupport {

// Sets (or unsets) one environment variable for the life of the object and puts back what was
// there before, including "not set at all" and "set to the empty text".
class EnvGuard {
public:
    EnvGuard(const char* name, const char* value); // nullptr unsets it
    EnvGuard(const char* name, const std::string& value) : EnvGuard(name, value.c_str()) {}
    ~EnvGuard() { Restore(); }
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;

    // Puts the old value back now; later calls (and the destructor) do nothing.
    void Restore();

private:
    std::string m_name;
    std::string m_old;
    bool m_had = false;
    bool m_restored = false;
};

// Pins TZ (and calls tzset) for the life of the object: shown times must not depend on the
// machine's zone, and some tests prove it with a zone that has summer time.
class ZoneGuard {
public:
    explicit ZoneGuard(const char* zone);
    ~ZoneGuard();
    ZoneGuard(const ZoneGuard&) = delete;
    ZoneGuard& operator=(const ZoneGuard&) = delete;

private:
    EnvGuard m_tz;
};

} // namespace testsupport
