// Exit codes of a device layer's reader, writer and status threads, shared by every device layer.
#pragma once
#include <cstdint>

inline constexpr int32_t ecDeviceWriteError = -160;
inline constexpr int32_t ecDeviceReadError = -161;
inline constexpr int32_t ecNoMemory = -13868;
