// The dispatch log's date and time on the host: local time with "/" and ":".
#include <ctime>

#include "serial/dispatch/dispatch_log_file.h"

std::string LogDateTimeNow() {
    std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    return LogDateTimeText(t, '/', ':');
}
