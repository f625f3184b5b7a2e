// ESioException: a result code and the message of its magnitude.
#include "serial/errors/sio_exception.h"

#include <limits>

#include "serial/errors/error_messages.h"

ESioException::ESioException(int32_t EC, bool /*PassThru*/)
    : std::runtime_error(ErrorMessageText(EC)), FErrorCode(EC) {}

ESioException::ESioException(UnknownTag, const std::string& Msg)
    : std::runtime_error(Msg), FErrorCode(0) {}

ESioException ESioException::CreateUnknown(const std::string& Msg, uint8_t /*Dummy*/) {
    return ESioException(UnknownTag{}, Msg);
}

int32_t ESioException::MapCodeToStringID(int32_t Code) {
    if (Code == std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::max();
    return Code < 0 ? -Code : Code;
}
