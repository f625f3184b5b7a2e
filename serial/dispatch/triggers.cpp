// Data-trigger matching and the small helpers of the trigger records.
#include "serial/dispatch/triggers.h"

bool MatchDataTrigger(uint32_t (&MatchPos)[22], uint8_t C, uint32_t Len, bool IgnoreCase,
                      const uint8_t* Data) {
    if (IgnoreCase) C = UpperCaseByte(C);
    bool matched = false;
    bool newStart = false;
    bool check = true;
    for (uint32_t i = 0; i < Len; ++i) {
        if (check) {
            uint32_t p = MatchPos[i];
            if (Data[p] == C) {
                if (p == Len - 1) {
                    for (auto& m : MatchPos) m = 0;
                    matched = true;
                } else {
                    MatchPos[i] = p + 1;
                }
            } else if (Data[0] == C) {
                MatchPos[i] = 1;
                newStart = true;
            } else {
                MatchPos[i] = 0;
            }
        }
        if (MatchPos[i] == 1) newStart = true;
        // Slot Len is past the trigger; MatchPos has room for it (22 slots for 21 bytes).
        if (newStart)
            check = MatchPos[i + 1] != 0;
        else
            check = MatchPos[i + 1] != 0 || Data[0] == C;
    }
    return matched;
}

uint16_t LineMaskToErrorBits(uint32_t Mask) {
    uint16_t bits = 0;
    if (Mask & 1) bits |= 2;
    if (Mask & 2) bits |= 4;
    if (Mask & 4) bits |= 8;
    if (Mask & 8) bits |= 16;
    return bits;
}

uint8_t UpperCaseByte(uint8_t C) {
    // The Western single-byte code page (Windows-1252) the program runs with.
    if (C >= 'a' && C <= 'z') return static_cast<uint8_t>(C - 32);
    if (C >= 0xE0 && C <= 0xFE && C != 0xF7) return static_cast<uint8_t>(C - 32);
    switch (C) {
        case 0x9A:
            return 0x8A;
        case 0x9C:
            return 0x8C;
        case 0x9E:
            return 0x8E;
        case 0xFF:
            return 0x9F;
        default:
            return C;
    }
}

void ClearSaveBuffers(TTriggerSave& Save) {
    Save.tsTimerTriggers.clear();
    Save.tsDataTriggers.clear();
    Save.tsStatusTriggers.clear();
    Save.Saved = false;
}
