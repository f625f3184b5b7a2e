// The system's text for an error number on the host. The numbers are Windows error numbers (the
// device layer reports them negated), so the host answers with the Windows texts of the numbers
// the serial layer meets, and a generic text for the others.
#include <algorithm>
#include <iterator>
#include <string>

#include "serial/errors/error_messages.h"

namespace {

struct SystemText {
    uint32_t number;
    const char* text;
};

constexpr SystemText kSystemTexts[] = {
    {1, "Incorrect function."},
    {2, "The system cannot find the file specified."},
    {3, "The system cannot find the path specified."},
    {4, "The system cannot open the file."},
    {5, "Access is denied."},
    {6, "The handle is invalid."},
    {8, "Not enough memory resources are available to process this command."},
    {14, "Not enough memory resources are available to complete this operation."},
    {21, "The device is not ready."},
    {22, "The device does not recognize the command."},
    {31, "A device attached to the system is not functioning."},
    {32, "The process cannot access the file because it is being used by another process."},
    {87, "The parameter is incorrect."},
    {121, "The semaphore timeout period has expired."},
    {170, "The requested resource is in use."},
    {995,
     "The I/O operation has been aborted because of either a thread exit or an application "
     "request."},
    {996, "Overlapped I/O event is not in a signaled state."},
    {997, "Overlapped I/O operation is in progress."},
    {1117, "The request could not be performed because of an I/O device error."},
    {1167, "The device is not connected."},
    {1450, "Insufficient system resources exist to complete the requested service."},
};

}  // namespace

std::string SystemErrorMessage(uint32_t Number) {
    auto it = std::lower_bound(std::begin(kSystemTexts), std::end(kSystemTexts), Number,
                               [](const SystemText& t, uint32_t n) { return t.number < n; });
    if (it != std::end(kSystemTexts) && it->number == Number) return it->text;
    return "System error " + std::to_string(Number) + ".";
}
