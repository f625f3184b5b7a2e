// The dispatch log file: a header block, then one line (or several, wrapped) per entry of the
// dispatcher's log queue, 8-bit text with CR LF line ends. The queue and its state rules live in
// the dispatcher; this file only formats and writes.
#pragma once
#include <cstdint>
#include <ctime>
#include <span>
#include <string>

#include "serial/dispatch/dispatch_types.h"

class TIOQueue;

// Labels of the "Type" and "SubType" columns.
std::string DispatchTypeLabel(TDispatchType DT);
std::string DispatchSubTypeLabel(TDispatchSubType DST);

// The time column: milliseconds as at least seven digits with a point before the last three
// (2500 gives "0002.500").
std::string LogTimeText(uint32_t Ms);

// The text written for a status trigger's kind byte ("(Output buffer free)", ...); empty for
// kinds that have none.
std::string StatusTriggerKindText(uint8_t Kind);

// "(DCTS DDSR ... DCD)": the names of the modem-status bits set in Data.
std::string ModemStatusBitsText(uint32_t Data);

// "dd/mm/yy, hh:mm:ss" with the given date and time separators.
std::string LogDateTimeText(const std::tm& T, char DateSeparator, char TimeSeparator);
// The current local date and time in that form, with the user's locale separators.
std::string LogDateTimeNow();

// The seven header lines, each with its line end. Over-long texts are cut to 80 characters.
std::string DispatchLogHeader(const std::string& DeviceName, const std::string& OsText,
                              const std::string& DateTime);

// One entry: the 44-character prefix (time, type, subtype, data), then its bytes or texts,
// wrapped at 78 columns onto lines indented by 44 spaces, and a line end.
std::string FormatDispatchEntry(TDispatchType DT, TDispatchSubType DST, uint32_t Time,
                                uint32_t Data, std::span<const uint8_t> Bytes, bool InHex,
                                bool AllHex);

// Writes the header block and drains `queue` (TLogBuffer items) oldest first into FName,
// including entries pushed while it writes. Empty queue: returns 0 without touching the file.
// Open failure: the entries stay queued. Returns 0 or the negated I/O error code.
[[nodiscard]] int32_t WriteDispatchLogFile(const std::string& FName, bool Append, bool InHex,
                                           bool AllHex, const std::string& DeviceName,
                                           TIOQueue& queue);
