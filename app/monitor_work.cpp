// The gate between ticks, actions and commands.
#include "app/monitor_work.h"

#include <exception>

#include "platform/exception_display.h"

bool MonitorWork::RunTick(const std::function<void()>& tick) {
    if (busy_) return false;
    RunExclusive(tick);
    return true;
}

void MonitorWork::RunAction(std::function<void()> action) {
    if (busy_) {
        deferred_.push_back({std::move(action), true});
        return;
    }
    RunExclusive(action);
}

void MonitorWork::RunCommand(std::function<void()> command) {
    deferred_.push_back({std::move(command), false});
    // Whoever is further up the stack (the work that runs, or the loop over the waiting work)
    // comes to it in turn.
    if (!busy_ && !draining_) RunDeferred();
}

void MonitorWork::RunExclusive(const std::function<void()>& work) {
    busy_ = true;
    try {
        work();
    } catch (...) {
        busy_ = false;
        // The commands that waited are still answered.
        if (!draining_) RunDeferred();
        throw;
    }
    busy_ = false;
    if (!draining_) RunDeferred();
}

void MonitorWork::RunDeferred() {
    draining_ = true;
    while (!deferred_.empty()) {
        Waiting next = std::move(deferred_.front());
        deferred_.pop_front();
        // An action that waited holds the gate as if it had run at once: a tick or another action
        // that comes while it waits for the monitor must not run inside it.
        busy_ = next.exclusive;
        try {
            next.work();
            busy_ = false;
        } catch (const std::exception& e) {
            busy_ = false;
            ShowFailure([&e] { platform::ShowException(e); });
        } catch (...) {
            busy_ = false;
            ShowFailure([] { platform::ShowExceptionMessage("Unknown exception"); });
        }
    }
    draining_ = false;
}

void MonitorWork::ShowFailure(const std::function<void()>& show) {
    // The box runs a message loop, and the serial line delivers its command lines through it:
    // while it is open, nobody further up the stack is draining, so those commands are answered
    // at once (and the ones still waiting before them first) instead of waiting for somebody to
    // close the box.
    draining_ = false;
    show();
    draining_ = true;
}
