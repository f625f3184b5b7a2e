// The 8-bit text file that the trace and the dispatch log are written to: created or appended,
// written in large pieces, and every failure kept as the system's error number.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

class TLogTextFile {
  public:
    TLogTextFile() = default;
    ~TLogTextFile();
    TLogTextFile(const TLogTextFile&) = delete;
    TLogTextFile& operator=(const TLogTextFile&) = delete;

    // Opens Name (8-bit text, the system's ANSI code page on Windows): appending when Append is set
    // and the file exists, else created empty. Returns 0 or the system's error number (2 file
    // not found, 3 path not found, 5 access denied, ...).
    [[nodiscard]] int32_t Open(const std::string& Name, bool Append);
    // Whether the file held anything before it was opened (only when appending).
    bool HadContent() const { return hadContent_; }
    // Buffers the text; the first failure of a write is kept and later writes are dropped.
    void Write(std::string_view text);
    // Writes what is buffered and closes the file. Returns 0, or the error number of the first
    // failed write or of the close.
    [[nodiscard]] int32_t Close();

  private:
    void Flush();
    [[nodiscard]] int32_t WriteRaw(std::string_view bytes);  // 0 or the system's error number
    [[nodiscard]] int32_t CloseRaw();                        // 0 or the system's error number

    intptr_t file_ = -1;  // the system's file handle or descriptor; -1 when not open
    bool hadContent_ = false;
    int32_t error_ = 0;  // first write error
    std::string pending_;
};
