// The two runtime failures that CheckResultCode raises outside the ESioException family: a
// general input/output error with its error number, and running out of memory.
#pragma once
#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>

// An input/output failure of the kind files and devices report (result codes -2 to -162).
// ErrorCode is the positive error number.
class EInOutError : public std::runtime_error {
  public:
    EInOutError(const std::string& Msg, int32_t Code) : std::runtime_error(Msg), FErrorCode(Code) {}
    int32_t ErrorCode() const { return FErrorCode; }

  private:
    int32_t FErrorCode;
};

// Out of memory (result code -8). A std::bad_alloc, so that whoever handles allocation failure
// handles this one too.
class EOutOfMemory : public std::bad_alloc {
  public:
    const char* what() const noexcept override { return "Out of memory"; }
};
