// The process-wide exception display.
#include "platform/exception_display.h"

#include <cstdio>
#include <mutex>

#ifdef _WIN32
#include <windows.h>
#include "platform/text.h"
#endif

namespace platform {
namespace {
std::mutex& DisplayLock() {
    static std::mutex lock;
    return lock;
}
std::function<void(const std::string&)>& Display() {  // guarded by DisplayLock
    static std::function<void(const std::string&)> display;
    return display;
}
}  // namespace

void ShowExceptionMessage(const std::string& message) {
    std::function<void(const std::string&)> display;
    {
        std::lock_guard lock(DisplayLock());
        display = Display();
    }
    if (display) {
        display(message);
        return;
    }
#ifdef _WIN32
    std::wstring text = AnsiToWide(message);
    MessageBoxW(nullptr, text.c_str(), L"Pelkan", MB_OK | MB_ICONERROR | MB_TASKMODAL);
#else
    std::fprintf(stderr, "%s\n", message.c_str());
#endif
}

void ShowException(const std::exception& e) { ShowExceptionMessage(e.what()); }

void SetExceptionDisplay(std::function<void(const std::string& message)> display) {
    std::lock_guard lock(DisplayLock());
    Display() = std::move(display);
}

}  // namespace platform
