// The packet framer's enumerations and event types: start and end conditions, the matching mode,
// and the handlers a packet calls when it delivers or times out.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "serial/component/small_set.h"

class TComponent;

enum class TPacketStartCond : uint8_t { scString, scAnyData };
enum class TPacketEndCond : uint8_t { ecString, ecPacketSize };
// Empty: no end condition (only meaningful with a start string).
using TPacketEndSet = SmallSet<TPacketEndCond>;
enum class TPacketMode : uint8_t { dpIdle, dpWaitStart, dpCollecting };

// The packet's bytes in place, valid only during the call.
using TPacketNotifyEvent =
    std::function<void(TComponent* Sender, const uint8_t* Data, int32_t Size)>;
// A copy of the same bytes.
using TStringPacketNotifyEvent = std::function<void(TComponent* Sender, const std::string& Data)>;
using TPacketTimeoutEvent = std::function<void(TComponent* Sender)>;
