// Line events from a look at the line, for device layers that cannot wait for the events
// themselves and sample the modem lines and the line errors instead: the termios layer always,
// the Windows layer on devices whose event waits end at once with nothing.
#pragma once
#include <cstdint>

namespace line_sample {

// The status word's bits, as the dispatcher knows them (the Windows line events).
constexpr uint32_t kEvCts = 0x8, kEvDsr = 0x10, kEvRlsd = 0x20, kEvBreak = 0x40, kEvErr = 0x80,
                   kEvRing = 0x100;
// Modem lines as a modem-status read gives them.
constexpr uint32_t kLineCts = 0x10, kLineDsr = 0x20, kLineRing = 0x40, kLineRlsd = 0x80;
// Line-error bits as the error read gives them; a break is one of them.
constexpr uint32_t kCeRxOver = 0x1, kCeOverrun = 0x2, kCeParity = 0x4, kCeFrame = 0x8,
                   kCeBreak = 0x10;

// The events a sample shows: a change of any modem line between two reads of the lines, a
// break, and any other line error that came since the last look (Errors holds only those).
constexpr uint32_t EventsOf(uint32_t LinesBefore, uint32_t LinesNow, uint32_t Errors) {
    const uint32_t changed = LinesBefore ^ LinesNow;
    uint32_t events = 0;
    if (changed & kLineCts) events |= kEvCts;
    if (changed & kLineDsr) events |= kEvDsr;
    if (changed & kLineRlsd) events |= kEvRlsd;
    if (changed & kLineRing) events |= kEvRing;
    if (Errors & kCeBreak) events |= kEvBreak;
    if (Errors & (kCeRxOver | kCeOverrun | kCeParity | kCeFrame)) events |= kEvErr;
    return events;
}

}  // namespace line_sample
