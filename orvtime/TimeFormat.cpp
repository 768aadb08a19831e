#include "orvtime/TimeFormat.h"

#include <ctime>
#include <locale.h>

namespace {

// Qt sets the process locale from the environment on POSIX systems; report texts must stay in the
// C locale. A Windows process starts in the C locale and Qt leaves it there, so plain strftime
// does there (MinGW's run-time library lacks _strftime_l).
#ifndef _WIN32
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
    const size_t n = std::strftime(buffer, sizeof buffer, format, &tm);
#else
    if (localtime_r(&t, &tm) == nullptr) {
        return std::string();
    }
    char buffer[128];
    const size_t n = strftime_l(buffer, sizeof buffer, format, &tm, CLocale());
#endif
    return std::string(buffer, n);
}
