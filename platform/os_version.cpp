// OsVersionText from version numbers; the query of the running system is in os_version_win.cpp
// and os_version_host.cpp.
#include "platform/os_version.h"

namespace platform {
namespace {

std::string Trimmed(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

std::string Win9xName(uint32_t Minor, uint32_t Build, const std::string& ServicePack) {
    std::string sp = Trimmed(ServicePack);
    char second = sp.size() >= 2 ? sp[1] : 0;
    switch (Minor) {
        case 0:
            return second == 'B' ? "Win32 on Windows 95 OSR 2 " : "Win32 on Windows 95 OSR 1 ";
        case 10:
            return second == 'A' ? "Win32 on Windows 98 OSR 2 " : "Win32 on Windows 98 OSR 1 ";
        case 90:
            // Windows ME keeps 4.90.3000 in the build field: major, minor, then the build.
            return Build == ((4u << 24) | (90u << 16) | 3000u) ? "Win32 on Windows ME " : "";
        default:
            return "Win32 on Windows 9x";
    }
}

std::string WinNTName(uint32_t Major, uint32_t Minor) {
    switch (Major) {
        case 2:
            return Minor == 6 ? "Window CE " : "";
        case 3:
            return "Windows NT 3.5 ";
        case 4:
            return "Windows NT 4 ";
        case 5:
            switch (Minor) {
                case 0:
                    return "Windows 2000 ";
                case 1:
                    return "Windows XP ";
                case 2:
                    return "Windows 2003 ";
                default:
                    return "";
            }
        case 6:
            switch (Minor) {
                case 0:
                    return "Windows Vista ";
                case 1:
                    return "Windows 7 ";
                default:
                    return "";
            }
        default:
            return "WinNT ";  // 0, 1 and everything after 6
    }
}

}  // namespace

std::string OsVersionText(uint32_t PlatformId, uint32_t Major, uint32_t Minor, uint32_t Build,
                          const std::string& ServicePack) {
    std::string name;
    bool withServicePack = false;
    switch (PlatformId) {
        case kPlatformWin32s:
            name = "Win32s on Windows ";
            withServicePack = true;
            break;
        case kPlatformWin9x:
            name = Win9xName(Minor, Build, ServicePack);
            break;
        case kPlatformWinNT:
            name = WinNTName(Major, Minor);
            withServicePack = true;
            break;
        default:
            name = "Unknown";
            break;
    }
    return name + std::to_string(Major) + "." + std::to_string(Minor) + " " +
           (withServicePack ? ServicePack : std::string());
}

}  // namespace platform
