// TLogTextFile on the host: POSIX files, with errno turned into the Windows error numbers that
// the serial layer reports on every platform.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "serial/dispatch/log_text_file.h"

namespace {
int32_t WindowsErrorFromErrno(int e) {
    switch (e) {
        case ENOENT:
        case ENOTDIR:
            return 3;  // ERROR_PATH_NOT_FOUND: creating a file names its folder
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
            return 5;  // ERROR_ACCESS_DENIED
        case EMFILE:
        case ENFILE:
            return 4;  // ERROR_TOO_MANY_OPEN_FILES
        case ENOSPC:
            return 112;  // ERROR_DISK_FULL
        case ENAMETOOLONG:
            return 206;  // ERROR_FILENAME_EXCED_RANGE
        default:
            return 29;  // ERROR_WRITE_FAULT
    }
}
}  // namespace

int32_t TLogTextFile::Open(const std::string& Name, bool Append) {
    FError = 0;
    FPending.clear();
    FHadContent = false;
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (Append ? O_APPEND : O_TRUNC);
    int fd = ::open(Name.c_str(), flags, 0644);
    if (fd < 0) return WindowsErrorFromErrno(errno);
    if (Append) {
        struct stat st {};
        if (::fstat(fd, &st) != 0) {
            int e = errno;
            ::close(fd);
            return WindowsErrorFromErrno(e);
        }
        FHadContent = st.st_size > 0;
    }
    FFile = TLogFileHandle(fd);
    return 0;
}

int32_t TLogTextFile::WriteRaw(std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(static_cast<int>(FFile.Native()), bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return WindowsErrorFromErrno(errno);
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return 0;
}

int32_t TLogFileHandle::Close() {
    if (!IsOpen()) return 0;
    const intptr_t native = Release();
    if (::close(static_cast<int>(native)) != 0) return WindowsErrorFromErrno(errno);
    return 0;
}
