// The port component's enumerations, sets, events, user callbacks and message numbers. The
// ordinals of the enumerations are what stored forms hold, so their order is fixed.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "serial/component/small_set.h"

class TSioCustomComPort;
class TSioBaseDispatcher;
class TComponent;

enum class TPortState { psClosed, psShuttingDown, psOpen };
enum class TDeviceLayer { dlWin32, dlWinsock };
using TDeviceLayers = SmallSet<TDeviceLayer>;
enum class TParity { pNone, pOdd, pEven, pMark, pSpace };
enum class THWFlowOptions { hwfUseDTR, hwfUseRTS, hwfRequireDSR, hwfRequireCTS };
using THWFlowOptionSet = SmallSet<THWFlowOptions>;
enum class TSWFlowOptions { swfNone, swfReceive, swfTransmit, swfBoth };
enum class TTraceLogState { tlOff, tlOn, tlDump, tlAppend, tlClear, tlPause, tlAppendAndContinue };
enum class TTapiMode { tmNone, tmAuto, tmOn, tmOff };
enum class TSioCallbackType { ctOpen, ctClosing, ctClosed };

// Messages the port sends to the windows of its users (wParam 0, lParam 0); PortClosingMsg is
// also what the port posts to its own hidden window to finish a deferred close.
inline constexpr uint32_t PortOpenedMsg = 0x7E08;
inline constexpr uint32_t PortClosedMsg = 0x7E09;
inline constexpr uint32_t PortClosingMsg = 0x7E0A;

// Creates the dispatcher for a port instead of the device-layer choice; the port owns the result.
using TActivationProcedure = std::function<std::unique_ptr<TSioBaseDispatcher>(TComponent* Owner)>;
// Asks the user for a port: its number, or none when the user chose none.
using TPortPrompt = std::function<std::optional<uint16_t>()>;

// Trigger events (CP is always the port).
using TTriggerEvent =
    std::function<void(TSioCustomComPort* CP, uint16_t Msg, uint16_t TriggerHandle, uint16_t Data)>;
using TTriggerAvailEvent = std::function<void(TSioCustomComPort* CP, uint16_t Count)>;
using TTriggerDataEvent = std::function<void(TSioCustomComPort* CP, uint16_t TriggerHandle)>;
using TTriggerStatusEvent = std::function<void(TSioCustomComPort* CP, uint16_t TriggerHandle)>;
using TTriggerTimerEvent = std::function<void(TSioCustomComPort* CP, uint16_t TriggerHandle)>;
using TTriggerLineErrorEvent =
    std::function<void(TSioCustomComPort* CP, uint16_t Error, bool LineBreak)>;
using TWaitCharEvent = std::function<void(TSioCustomComPort* CP, char C)>;

// A registered user's callback: a code pointer and the object it runs on, so that the same
// method and object can be found again to deregister it.
template <typename... Args>
struct TPortCallbackOf {
    void (*Code)(void* Object, TSioCustomComPort* CP, Args... args) = nullptr;
    void* Object = nullptr;  // not owned

    explicit operator bool() const { return Code != nullptr; }
    void operator()(TSioCustomComPort* CP, Args... args) const { Code(Object, CP, args...); }
    friend bool operator==(const TPortCallbackOf& a, const TPortCallbackOf& b) {
        return a.Code == b.Code && a.Object == b.Object;
    }
};
// Plain user: Opening is true once the port has opened, false once it has closed.
using TPortCallback = TPortCallbackOf<bool>;
// Extended user: told ctOpen, ctClosing (while the dispatcher still works) and ctClosed.
using TPortCallbackEx = TPortCallbackOf<TSioCallbackType>;

// The callback of a member function: MakePortCallback<&T::PortChanged>(this), where PortChanged
// takes (TSioCustomComPort*, bool) or (TSioCustomComPort*, TSioCallbackType).
template <auto Method, typename T>
TPortCallback MakePortCallback(T* object) {
    return TPortCallback{[](void* o, TSioCustomComPort* cp, bool opening) {
                             (static_cast<T*>(o)->*Method)(cp, opening);
                         },
                         object};
}
template <auto Method, typename T>
TPortCallbackEx MakePortCallbackEx(T* object) {
    return TPortCallbackEx{[](void* o, TSioCustomComPort* cp, TSioCallbackType type) {
                               (static_cast<T*>(o)->*Method)(cp, type);
                           },
                           object};
}
