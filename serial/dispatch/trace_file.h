// The trace file: the recorded bytes of a port, oldest first, in runs of one direction, as 8-bit
// text with CR LF line ends. The queue and its state rules live in the dispatcher.
#pragma once
#include <cstdint>
#include <span>
#include <string>

// One trace entry: 'R' a byte taken by the program, 'T' a byte accepted for sending, any other
// character a special entry of the user's choosing.
struct TTraceRecord {
    char EventType;
    char C;
};

// The header line of a run ("Receive: ", "Transmit: ", "Special-X: "), without its line end.
std::string TraceHeaderText(char EventType);

// The text of the whole trace for the entries `older` then `newer` (oldest first): a header for
// every run of one event type, an empty line between runs, data lines at most 78 columns wide,
// CR LF line ends and none after the last line. Empty input gives empty text.
std::string FormatTraceText(bool InHex, bool AllHex, std::span<const TTraceRecord> older,
                            std::span<const TTraceRecord> newer);

// Writes the trace file: creates or replaces FName, or appends to it when Append is set and it
// exists. Nothing to write: returns 0 without touching the file. Appended to a file that already
// holds text, the trace starts after a line end and an empty line, so that the file's last line
// and the first header stay apart. Returns 0 or the negated I/O error code (of the open, the
// first failed write or the close).
[[nodiscard]] int32_t WriteTraceRecords(const std::string& FName, bool Append, bool InHex,
                                        bool AllHex, std::span<const TTraceRecord> older,
                                        std::span<const TTraceRecord> newer);
