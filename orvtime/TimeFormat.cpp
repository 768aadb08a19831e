#include "orvtime/TimeFormat.h"

#include <ctime>
#include <locale.h>

namespace {

// Qt sets the process locale from the environment; report texts must stay in the C locale.
#ifdef _WIN32
_locale_t CLocale() {
    static const _locale_t loc = _create_locale(LC_ALL, "C");
    return loc;
}
#else
locale_t CLocale() {
    static const locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return loc;
}
#endif

} // namespace

std::string FormatTime(int64_t time, const char* format) {
    if (format == nullptr) {
        return std::string();
    }
    const std::time_t t = static_cast<std::time_t>(time);
    if (static_cast<int64_t>(t) != time) {
        return std::string();
    }
    std::tm tm{};
#ifdef _WIN32
    if (_localtime64_s(&tm, &t) != 0) {
        return std::string();
    }
    char buffer[128];
    const size_t n = _strftime_l(buffer, sizeof buffer, format, &tm, CLocale());
#else
    if (localtime_r(&t, &tm) == nullptr) {
        return std::string();
    }
    char buffer[128];
    const size_t n = strftime_l(buffer, sizeof buffer, format, &tm, CLocale());
#endif
    return std::string(buffer, n);
}
