// The messages of result codes: a table sorted by the magnitude of the code, and the system's
// text for numbers the table does not hold.
#pragma once
#include <cstdint>
#include <span>
#include <string>

struct SioMessageNumberLookupRecord {
    int32_t MessageNumber;
    const char* MessageString;  // may be empty, never null
};

// Sorted by the magnitude of MessageNumber, strictly increasing.
extern const std::span<const SioMessageNumberLookupRecord> ErrorMessageTable;

// The message of a code, looked up by its magnitude; when the table has no record for it, or
// the record's text is empty, the system's text for the same number taken as a system error.
std::string ErrorMessageText(int32_t Code);

// The operating system's text for a system error number, without trailing line breaks. Never
// empty: a number the system has no text for gives "System error N.".
std::string SystemErrorMessage(uint32_t Number);
