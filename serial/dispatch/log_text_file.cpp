// TLogTextFile: buffering and error keeping shared by both builds; the system calls are in
// log_text_file_win.cpp and log_text_file_host.cpp.
#include "serial/dispatch/log_text_file.h"

namespace {
constexpr size_t kFlushSize = 64 * 1024;
}

TLogFileHandle& TLogFileHandle::operator=(TLogFileHandle&& Other) noexcept {
    if (this != &Other) {
        (void)Close();  // as on destruction: nobody to report a failure to
        FNative = Other.Release();
    }
    return *this;
}

intptr_t TLogFileHandle::Release() {
    const intptr_t native = FNative;
    FNative = -1;
    return native;
}

TLogTextFile::~TLogTextFile() {
    if (FFile.IsOpen()) (void)Close();
}

void TLogTextFile::Write(std::string_view text) {
    if (!FFile.IsOpen() || FError != 0) return;
    FPending.append(text);
    if (FPending.size() >= kFlushSize) Flush();
}

void TLogTextFile::Flush() {
    if (!FPending.empty() && FError == 0) FError = WriteRaw(FPending);
    FPending.clear();
}

int32_t TLogTextFile::Close() {
    if (!FFile.IsOpen()) return FError;
    Flush();
    const int32_t closeError = FFile.Close();
    return FError != 0 ? FError : closeError;
}
