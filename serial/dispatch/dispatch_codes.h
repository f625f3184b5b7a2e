// The result codes the dispatcher returns itself (their messages and exceptions live with the
// serial layer's errors).
#pragma once
#include <cstdint>

inline constexpr int32_t ecOutOfMemory = -8;
inline constexpr int32_t ecBadArgument = -1002;
inline constexpr int32_t ecCommNotOpen = -2007;
inline constexpr int32_t ecPutBlockFail = -3004;
inline constexpr int32_t ecOutputBufferTooSmall = -3006;
inline constexpr int32_t ecBufferIsEmpty = -3007;
inline constexpr int32_t ecNoMoreTriggers = -5001;
inline constexpr int32_t ecTriggerTooLong = -5002;
inline constexpr int32_t ecBadTriggerHandle = -5003;
