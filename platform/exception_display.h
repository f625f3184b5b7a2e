// The application's exception display: where an exception raised by an event handler, or a
// thread's exit code turned into an exception, ends up. No exception may cross a thread
// procedure or a window procedure; those catch and hand it here.
#pragma once
#include <exception>
#include <functional>
#include <string>

namespace platform {

// Shows the exception to the user. The default shows a message box on Windows and writes to
// standard error on the host. Safe to call from any thread; the display itself runs on the
// calling thread.
void ShowException(const std::exception& e);
void ShowExceptionMessage(const std::string& message);

// Replaces the display (tests record what would have been shown). An empty function restores
// the default.
void SetExceptionDisplay(std::function<void(const std::string& message)> display);

}  // namespace platform
