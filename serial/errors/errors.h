// Everything a user of the serial layer's errors needs: the exception classes, the runtime
// failures, CheckResultCode and the messages.
#pragma once
#include "serial/errors/check_result_code.h"
#include "serial/errors/error_messages.h"
#include "serial/errors/runtime_errors.h"
#include "serial/errors/sio_exception.h"
