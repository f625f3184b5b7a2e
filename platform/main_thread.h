// "Run this on the main thread while I wait": how worker threads hand work to the thread that
// owns the user interface. The main thread must pump its messages for the call to go through.
#pragma once
#include <functional>

namespace platform {

// Makes the calling thread the main thread (the program calls it once at start-up; a test calls
// it from its own thread). Calling it again from another thread moves the role there.
void BindMainThread();

// Releases the main-thread role (its message window is destroyed on the calling thread, which
// must be the main thread).
void UnbindMainThread();

bool IsMainThread();

// Runs fn on the main thread while the calling thread waits; on the main thread itself, or when
// no main thread is bound, fn runs at once on the calling thread. An exception escaping fn is
// shown with the application's exception display on the main thread and does not reach the
// caller.
void RunOnMainThread(const std::function<void()>& fn);

}  // namespace platform
