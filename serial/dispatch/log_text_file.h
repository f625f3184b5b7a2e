// The 8-bit text file that the trace and the dispatch log are written to: created or appended,
// written in large pieces, and every failure kept as the system's error number.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// The open file's system handle (Windows) or descriptor (host), owned: closed when the owner goes,
// or by Close, which tells whether the system closed it. Move-only.
class TLogFileHandle {
  public:
    TLogFileHandle() = default;
    explicit TLogFileHandle(intptr_t Native) : FNative(Native) {}
    // A failure to close met here has nobody left to report it to; Close reports it.
    ~TLogFileHandle() { (void)Close(); }
    TLogFileHandle(TLogFileHandle&& Other) noexcept : FNative(Other.Release()) {}
    TLogFileHandle& operator=(TLogFileHandle&& Other) noexcept;
    TLogFileHandle(const TLogFileHandle&) = delete;
    TLogFileHandle& operator=(const TLogFileHandle&) = delete;

    bool IsOpen() const { return FNative != -1; }
    intptr_t Native() const { return FNative; }
    intptr_t Release();
    // Closes the file. Returns 0 (also when none was open) or the system's error number.
    [[nodiscard]] int32_t Close();

  private:
    intptr_t FNative = -1;  // -1 when not open (INVALID_HANDLE_VALUE on Windows)
};

class TLogTextFile {
  public:
    TLogTextFile() = default;
    // Writes what is buffered and closes the file; a failure then has nobody to report it to.
    ~TLogTextFile();
    TLogTextFile(const TLogTextFile&) = delete;
    TLogTextFile& operator=(const TLogTextFile&) = delete;

    // Opens Name (8-bit text, the system's ANSI code page on Windows): appending when Append is set
    // and the file exists, else created empty. Returns 0 or the system's error number (2 file
    // not found, 3 path not found, 5 access denied, ...).
    [[nodiscard]] int32_t Open(const std::string& Name, bool Append);
    // Whether the file held anything before it was opened (only when appending).
    bool HadContent() const { return FHadContent; }
    // Buffers the text; the first failure of a write is kept and later writes are dropped.
    void Write(std::string_view text);
    // Writes what is buffered and closes the file. Returns 0, or the error number of the first
    // failed write or of the close.
    [[nodiscard]] int32_t Close();

  private:
    void Flush();
    [[nodiscard]] int32_t WriteRaw(std::string_view bytes);  // 0 or the system's error number

    TLogFileHandle FFile;
    bool FHadContent = false;
    int32_t FError = 0;  // the system's error number of the first failed write
    std::string FPending;
};
