// The serial layer's unit of time, the 55 ms tick, and the tick timers that triggers, packets and
// breaks count with. Plain functions of the millisecond clock: safe on any thread.
#pragma once
#include <cstdint>

// Longest interval a timer accepts; longer ones are cut to it.
inline constexpr int32_t TickLimit = 39045157;

// Ticks in one turn of the 32-bit millisecond clock. The clock wraps after 2^32 ms; the tick
// count then drops from 78090314 to 0 after a last, shorter tick, so a count taken after the wrap
// is 78090315 ticks further on than it reads.
inline constexpr int32_t TickCycle = static_cast<int32_t>(0x100000000ull / 55) + 1;

struct TickTimer {
    int32_t Started = 0;
    int32_t Expires = 0;
};

// The millisecond clock divided by 55.
int32_t CurrentTicks();

void StartTickTimer(TickTimer& T, int32_t Ticks);
// Whether the timer has run out; right across the clock's wrap (the elapsed time is counted
// modulo the tick cycle).
bool TickTimerDone(const TickTimer& T);
// Ticks left, 0 when run out.
int32_t TickTimerLeft(const TickTimer& T);

// Waits Ticks ticks by polling the clock; with Yield the calling thread's window messages are
// handled meanwhile and a quit message ends the wait early. Returns the last pump result
// (PumpOneMessage), 0 when not yielding.
int32_t WaitTicks(int32_t Ticks, bool Yield);

// Handles one window message of the calling thread, if any (the quit message is posted again).
// Returns the low word of the message's window handle × 65536 + its message id, 0 when none.
int32_t PumpOneMessage();
