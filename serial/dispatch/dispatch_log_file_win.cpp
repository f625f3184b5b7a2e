// The dispatch log's date and time on Windows: local time with the user's locale separators.
#include <windows.h>

#include <ctime>

#include "serial/dispatch/dispatch_log_file.h"

namespace {
char LocaleSeparator(LCTYPE what, char fallback) {
    wchar_t sep[8] = {};
    if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, what, sep, 8) > 0 && sep[0] > 0 && sep[0] < 0x80)
        return static_cast<char>(sep[0]);
    return fallback;
}
}  // namespace

std::string LogDateTimeNow() {
    SYSTEMTIME st{};
    GetLocalTime(&st);
    std::tm t{};
    t.tm_year = st.wYear - 1900;
    t.tm_mon = st.wMonth - 1;
    t.tm_mday = st.wDay;
    t.tm_hour = st.wHour;
    t.tm_min = st.wMinute;
    t.tm_sec = st.wSecond;
    return LogDateTimeText(t, LocaleSeparator(LOCALE_SDATE, '/'),
                           LocaleSeparator(LOCALE_STIME, ':'));
}
