// OsVersionText on the host: not a Windows platform, so "Unknown" with the kernel's release
// numbers.
#include <sys/utsname.h>

#include <cstdio>

#include "platform/os_version.h"

namespace platform {

std::string OsVersionText() {
    utsname u{};
    unsigned major = 0, minor = 0;
    if (uname(&u) == 0) std::sscanf(u.release, "%u.%u", &major, &minor);
    return OsVersionText(0xFFFFFFFFu, major, minor, 0, "");
}

}  // namespace platform
