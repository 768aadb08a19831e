#include "orvtime/TimeFormat.h"

#include <ctime>
#include <locale.h>

namespace {

// Qt sets the process locale from the environment; report texts must stay in the C locale.
#ifdef _WIN32
// msvcrt.dll, the C runtime that MinGW-w64 links by default, has no _strftime_l: the calling
// thread alone is switched to the C locale for the call.
size_t CLocaleStrftime(char* buffer, size_t size, const char* format, const std::tm& tm) {
    const int oldMode = _configthreadlocale(_ENABLE_PER_THREAD_LOCALE);
    const char* current = setlocale(LC_TIME, nullptr);
    const std::string previous = current != nullptr ? current : "C";
    setlocale(LC_TIME, "C");
    const size_t n = strftime(buffer, size, format, &tm);
    setlocale(LC_TIME, previous.c_str());
    _configthreadlocale(oldMode);
    return n;
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
    const size_t n = CLocaleStrftime(buffer, sizeof buffer, format, tm);
#else
    if (localtime_r(&t, &tm) == nullptr) {
        return std::string();
    }
    char buffer[128];
    const size_t n = strftime_l(buffer, sizeof buffer, format, &tm, CLocale());
#endif
    return std::string(buffer, n);
}
