// The layer's line settings (TSioDCB) to and from a termios record.
//
// termios holds the speed (its fixed rates), data bits 5..8, parity (none, odd, even, and mark
// and space where the system has CMSPAR), one or two stop bits, CTS/RTS handshake, XON/XOFF in
// both directions and the XON/XOFF characters. It has no place for the XON/XOFF limits, the
// error, end-of-file and event characters, DSR flow and sensitivity, DTR handshake, RTS toggle,
// null stripping, 1.5 stop bits (sent as two) or continue-on-XOFF: the device layer keeps the
// record it last wrote beside the termios one and answers those fields from it.
#pragma once
#include <termios.h>

#include <cstdint>

#include "serial/dispatch/base_dispatcher.h"

namespace posix_termios {

// The termios speed constant of a baud rate; 0 when termios has none.
speed_t SpeedOf(uint32_t Baud);
// The baud rate of a termios speed constant; 0 when unknown.
uint32_t BaudOf(speed_t Speed);

// Puts the fields termios holds from Dcb into Tio, in raw mode (no echo, no line editing, no
// character translation, the modem lines' carrier ignored, reads of at least one byte). False
// when termios cannot hold Dcb's baud rate, data bits or parity.
bool ToTermios(const TSioDCB& Dcb, termios& Tio);
// Dcb with the fields termios holds taken from Tio; the others as they were.
TSioDCB FromTermios(const termios& Tio, TSioDCB Dcb);
// Whether A and B agree on every field that ToTermios sets.
bool SameLine(const termios& A, const termios& B);

}  // namespace posix_termios
