// Trigger records: timer, data and status triggers, and the saved copy of all of them that the
// port keeps while it is closed.
#pragma once
#include <cstdint>
#include <vector>

#include "serial/dispatch/tick_timer.h"

inline constexpr uint32_t MaxDataTriggerLen = 21;
// Handles are multiples of 8 from 8; fresh ones are handed out while the counter is below this,
// after that the lowest free one not above 4096 is reused.
inline constexpr uint32_t TriggerCounterLimit = 4096;
inline constexpr uint32_t LengthTriggerHandle = 1;

enum class StatusTriggerKind : uint32_t {
    Inactive = 0,
    ModemChange = 1,
    LineError = 2,
    OutputFree = 3,
    OutputUsed = 4,
    OutputSent = 5,
};

// Which of the dispatcher's three trigger lists holds a handle.
enum class TriggerListKind { None, Timer, Data, Status };

struct TimerTriggerRec {
    uint32_t Handle = 0;
    TickTimer Timer;
    int32_t Ticks = 0;  // last interval set
    bool Active = false;
};

struct DataTriggerRec {
    uint32_t Handle = 0;
    uint32_t Len = 0;
    // Matched by the scan, not yet announced. Partial matches are the port's scanner's
    // (data_trigger_scanner.h), over all its data triggers at once.
    bool Matched = false;
    bool IgnoreCase = false;
    uint8_t Data[24] = {};  // folded with the code page's upper case when IgnoreCase
};

struct StatusTriggerRec {
    uint32_t Handle = 0;  // base handle + kind
    StatusTriggerKind Kind = StatusTriggerKind::Inactive;
    uint16_t Value = 0;
    bool Active = false;
    bool Hit = false;  // fired in the current dispatcher pass
};

struct TTriggerSave {
    uint32_t tsLenTrigger = 0;
    // Absent (not just empty) until SaveTriggers fills them.
    bool Saved = false;
    std::vector<TimerTriggerRec> tsTimerTriggers;
    std::vector<DataTriggerRec> tsDataTriggers;
    std::vector<StatusTriggerRec> tsStatusTriggers;
};

// The caller's line-error mask (1 overrun, 2 parity, 4 framing, 8 break) as LastError bits.
uint16_t LineMaskToErrorBits(uint32_t Mask);

void ClearSaveBuffers(TTriggerSave& Save);
