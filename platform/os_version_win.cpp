// OsVersionText for the running Windows: RtlGetVersion, which, unlike GetVersionEx, is not
// bent to the version named in the program's manifest.
#include <windows.h>

#include "platform/os_version.h"
#include "platform/text.h"

namespace platform {

std::string OsVersionText() {
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    auto rtlGetVersion = ntdll ? reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(
                                     GetProcAddress(ntdll, "RtlGetVersion")))
                               : nullptr;
    if (!rtlGetVersion || rtlGetVersion(&info) != 0) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        if (!GetVersionExW(&info)) return OsVersionText(0xFFFFFFFFu, 0, 0, 0, "");
#pragma GCC diagnostic pop
    }
    return OsVersionText(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion,
                         info.dwBuildNumber, WideToAnsi(info.szCSDVersion));
}

}  // namespace platform
