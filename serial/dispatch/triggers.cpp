// The small helpers of the trigger records.
#include "serial/dispatch/triggers.h"

uint16_t LineMaskToErrorBits(uint32_t Mask) {
    uint16_t bits = 0;
    if (Mask & 1) bits |= 2;
    if (Mask & 2) bits |= 4;
    if (Mask & 4) bits |= 8;
    if (Mask & 8) bits |= 16;
    return bits;
}

void ClearSaveBuffers(TTriggerSave& Save) {
    Save.tsTimerTriggers.clear();
    Save.tsDataTriggers.clear();
    Save.tsStatusTriggers.clear();
    Save.Saved = false;
}
