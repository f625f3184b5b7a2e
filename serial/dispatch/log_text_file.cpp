// TLogTextFile: buffering and error keeping shared by both builds; the system calls are in
// log_text_file_win.cpp and log_text_file_host.cpp.
#include "serial/dispatch/log_text_file.h"

namespace {
constexpr size_t kFlushSize = 64 * 1024;
}

TLogTextFile::~TLogTextFile() {
    if (file_ != -1) (void)Close();
}

void TLogTextFile::Write(std::string_view text) {
    if (file_ == -1 || error_ != 0) return;
    pending_.append(text);
    if (pending_.size() >= kFlushSize) Flush();
}

void TLogTextFile::Flush() {
    if (!pending_.empty() && error_ == 0) error_ = WriteRaw(pending_);
    pending_.clear();
}

int32_t TLogTextFile::Close() {
    if (file_ == -1) return error_;
    Flush();
    int32_t closeError = CloseRaw();
    file_ = -1;
    return error_ != 0 ? error_ : closeError;
}
