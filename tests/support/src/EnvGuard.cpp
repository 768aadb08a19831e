#include "testsupport/EnvGuard.h"

#include <cstdlib>
#include <ctime>

namespace testsupport {

EnvGuard::EnvGuard(const char* name, const char* value) : m_name(name) {
    if (const char* old = std::getenv(name)) {
        m_had = true;
        m_old = old;
    }
    if (value != nullptr)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

void EnvGuard::Restore() {
    if (m_restored)
        return;
    m_restored = true;
    if (m_had)
        setenv(m_name.c_str(), m_old.c_str(), 1);
    else
        unsetenv(m_name.c_str());
}

ZoneGuard::ZoneGuard(const char* zone) : m_tz("TZ", zone) {
    tzset();
}

ZoneGuard::~ZoneGuard() {
    m_tz.Restore();
    tzset();
}

} // namespace testsupport
