#include "testsupport/EnvGuard.h"

#include <cstdlib>
#include <ctime>

namespace testsupport {

namespace {

// The C runtime of Windows has no setenv; _putenv_s with an empty value removes the variable, so
// "set to the empty text" cannot be told from "not set" there.
void SetVariable(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value != nullptr ? value : "");
#else
    if (value != nullptr)
        setenv(name, value, 1);
    else
        unsetenv(name);
#endif
}

void ReadZone() {
#ifdef _WIN32
    _tzset();
#else
    tzset();
#endif
}

} // namespace

EnvGuard::EnvGuard(const char* name, const char* value) : m_name(name) {
    if (const char* old = std::getenv(name)) {
        m_had = true;
        m_old = old;
    }
    SetVariable(name, value);
}

void EnvGuard::Restore() {
    if (m_restored)
        return;
    m_restored = true;
    SetVariable(m_name.c_str(), m_had ? m_old.c_str() : nullptr);
}

ZoneGuard::ZoneGuard(const char* zone) : m_tz("TZ", zone) {
    ReadZone();
}

ZoneGuard::~ZoneGuard() {
    m_tz.Restore();
    ReadZone();
}

} // namespace testsupport
