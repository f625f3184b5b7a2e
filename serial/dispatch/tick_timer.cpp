// Tick timers and the waits built on them.
#include "serial/dispatch/tick_timer.h"

#include "platform/clock.h"
#include "platform/message_window.h"

int32_t CurrentTicks() { return static_cast<int32_t>(platform::NowMs() / 55); }

void StartTickTimer(TickTimer& T, int32_t Ticks) {
    if (Ticks > TickLimit) Ticks = TickLimit;
    T.Started = CurrentTicks();
    T.Expires = T.Started + Ticks;
}

namespace {
// Ticks since the timer started, counted across one wrap of the clock.
int64_t Elapsed(const TickTimer& T) {
    int64_t now = CurrentTicks();
    if (now < T.Started) now += TickCycle;
    return now - T.Started;
}
}  // namespace

bool TickTimerDone(const TickTimer& T) {
    return Elapsed(T) > static_cast<int64_t>(T.Expires) - T.Started;
}

int32_t TickTimerLeft(const TickTimer& T) {
    int64_t left = static_cast<int64_t>(T.Expires) - T.Started - Elapsed(T);
    return left < 0 ? 0 : static_cast<int32_t>(left);
}

int32_t WaitTicks(int32_t Ticks, bool Yield) {
    if (Ticks <= 0) return 0;
    TickTimer timer;
    StartTickTimer(timer, Ticks);
    int32_t r = 0;
    for (;;) {
        if (Yield) {
            r = PumpOneMessage();
            if (r == static_cast<int32_t>(platform::kQuitMessage)) break;
        }
        if (TickTimerDone(timer)) break;
    }
    return r;
}

int32_t PumpOneMessage() {
    auto m = platform::PumpOneMessage();
    if (!m) return 0;
    auto wndLow = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(m->wnd) & 0xFFFF);
    return static_cast<int32_t>((wndLow << 16) + m->msg);
}
