// Notifications the dispatcher delivers to its handlers: message ids, handler kinds and their
// records.
#pragma once
#include <cstdint>

#include "platform/message_window.h"

inline constexpr uint32_t TriggerAvailMsg = 0x7E01;   // wParam: bytes offered
inline constexpr uint32_t TriggerDataMsg = 0x7E02;    // wParam: data trigger; data word: length
inline constexpr uint32_t TriggerTimerMsg = 0x7E03;   // wParam: timer trigger
inline constexpr uint32_t TriggerStatusMsg = 0x7E04;  // wParam: status trigger; data word: count

// A notification handler procedure: (message id, trigger value, lParam = dispatcher index ×
// 65536 + data word).
using TSioNotifyProc = void (*)(uint32_t Msg, uint32_t wParam, int32_t lParam);

// A notification handler method: a code pointer and the object it runs on. Deregistration
// compares the code alone, so one method is one handler whatever object it was registered with.
struct TSioNotifyEvent {
    void (*Code)(void* Object, uint32_t Msg, uint32_t wParam, int32_t lParam) = nullptr;
    void* Object = nullptr;  // not owned

    explicit operator bool() const { return Code != nullptr; }
    void operator()(uint32_t Msg, uint32_t wParam, int32_t lParam) const {
        Code(Object, Msg, wParam, lParam);
    }
};

// The handler event of a member function: MakeNotifyEvent<&TPacketManager::Notify>(this).
template <auto Method, typename T>
TSioNotifyEvent MakeNotifyEvent(T* object) {
    return TSioNotifyEvent{[](void* o, uint32_t msg, uint32_t wParam, int32_t lParam) {
                               (static_cast<T*>(o)->*Method)(msg, wParam, lParam);
                           },
                           object};
}

enum class TSioHandlerFlagUpdate { fuKeepPort, fuEnablePort, fuDisablePort };

struct WndHandlerRec {
    platform::WindowHandle Wnd = nullptr;
    bool Deleted = false;
};
struct ProcHandlerRec {
    TSioNotifyProc Proc = nullptr;
    bool Deleted = false;
};
struct EventHandlerRec {
    TSioNotifyEvent Event;
    bool Deleted = false;
    bool Sync = false;  // run on the main thread while the dispatcher thread waits
};
