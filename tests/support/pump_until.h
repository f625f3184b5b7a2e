// Waiting in tests for work that other threads hand to this one: the calling thread's messages
// (the serial layer's calls onto the main thread among them) are handled while it waits.
#pragma once
#include <chrono>
#include <thread>

#include "platform/message_window.h"

namespace testsupport {

// Handles messages until done() holds. False once the limit has passed: the limit only keeps a
// broken run from hanging, nothing is measured by it. It is real time, whatever clock a test
// gives the program.
template <typename Done>
bool PumpUntil(Done done, std::chrono::milliseconds limit = std::chrono::seconds(60)) {
    const auto giveUp = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= giveUp) return false;
        if (!platform::PumpOneMessage()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Handles messages for a while, so that what other threads have already sent is handled.
inline void PumpFor(std::chrono::milliseconds span) {
    PumpUntil([] { return false; }, span);
}

// Handles messages for a while; how many there were (a thread that keeps the main thread busy
// through its queue shows as thousands).
inline int PumpCounting(std::chrono::milliseconds span) {
    int handled = 0;
    const auto until = std::chrono::steady_clock::now() + span;
    while (std::chrono::steady_clock::now() < until) {
        if (platform::PumpOneMessage())
            ++handled;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return handled;
}

}  // namespace testsupport
