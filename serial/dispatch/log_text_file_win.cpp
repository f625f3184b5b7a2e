// TLogTextFile on Windows: CreateFileW and WriteFile, so that the error numbers are the system's.
#include <windows.h>

#include <algorithm>

#include "platform/text.h"
#include "serial/dispatch/log_text_file.h"

int32_t TLogTextFile::Open(const std::string& Name, bool Append) {
    FError = 0;
    FPending.clear();
    FHadContent = false;
    std::wstring wide = platform::AnsiToWide(Name);
    HANDLE h = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           Append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return static_cast<int32_t>(GetLastError());
    if (Append) {
        LARGE_INTEGER size{};
        LARGE_INTEGER end{};
        if (!GetFileSizeEx(h, &size) || !SetFilePointerEx(h, LARGE_INTEGER{}, &end, FILE_END)) {
            auto err = static_cast<int32_t>(GetLastError());
            CloseHandle(h);
            return err;
        }
        FHadContent = size.QuadPart > 0;
    }
    FFile = TLogFileHandle(reinterpret_cast<intptr_t>(h));
    return 0;
}

int32_t TLogTextFile::WriteRaw(std::string_view bytes) {
    auto h = reinterpret_cast<HANDLE>(FFile.Native());
    while (!bytes.empty()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 20));
        DWORD written = 0;
        if (!WriteFile(h, bytes.data(), chunk, &written, nullptr))
            return static_cast<int32_t>(GetLastError());
        if (written == 0) return ERROR_WRITE_FAULT;
        bytes.remove_prefix(written);
    }
    return 0;
}

int32_t TLogFileHandle::Close() {
    if (!IsOpen()) return 0;
    const intptr_t native = Release();
    if (!CloseHandle(reinterpret_cast<HANDLE>(native))) return static_cast<int32_t>(GetLastError());
    return 0;
}
