// CheckResultCode: where a negative result code of the serial layer becomes an exception.
#pragma once
#include <cstdint>

class TComponent;

// Returns ErrorCode when it is 0 or positive, or when Sender is being loaded (csLoading), so
// that a stored form can be read without a device. Otherwise raises, in this order:
//   - the ESioException class mapped to the code, with ErrorCode = the code;
//   - for -2 to -162, EOutOfMemory for -8, else EInOutError with the code's message and the
//     code's magnitude as its number;
//   - for any other code, ESioException with ErrorCode 0 and "Serial I/O exception".
// Sender may be null (not loading).
int32_t CheckResultCode(const TComponent* Sender, int32_t ErrorCode);
