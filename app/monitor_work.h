// One piece of work on the monitor at a time: a timer tick or an action is never entered twice
// or interleaved, and the commands that arrive in the middle of one are answered after it.
//
// The main thread's calls into the monitor's windows, and the focus move, may handle messages
// sent to this thread while they wait; the serial layer hands every command line to the main
// thread with such a message, and a user's click or a timer tick may come through a message
// loop that a tick or an action opens (a message box). Without this gate a READ, BTRV or DEVN
// could run inside a tick's read of the first-device field, or the clicks and keys of two
// actions could interleave. Main thread only: no lock.
#pragma once
#include <deque>
#include <functional>

class MonitorWork {
  public:
    // A tick: run now, or dropped while a tick or an action runs (the next tick follows soon).
    // Returns whether it ran.
    bool RunTick(const std::function<void()>& tick);
    // An action ("先頭変更", "反転"): run now, or right after the tick or action that runs; one
    // that waited runs alone as well, with ticks dropped and other actions and commands waiting.
    void RunAction(std::function<void()> action);
    // A command line: run now, or after the tick or action that runs and after the commands that
    // came before it, in arrival order. A command's own action runs inside the command, before
    // its reply.
    void RunCommand(std::function<void()> command);

    bool Busy() const { return busy_; }

  private:
    void RunExclusive(const std::function<void()>& work);
    // Runs the waiting work in order; an exception is shown and the next one still runs.
    void RunDeferred();
    // Shows a failure of waiting work with the gate open to the commands that arrive meanwhile.
    void ShowFailure(const std::function<void()>& show);

    struct Waiting {
        std::function<void()> work;
        bool exclusive;  // an action: holds the gate while it runs
    };

    bool busy_ = false;      // a tick or an action is running
    bool draining_ = false;  // RunDeferred is running further up the stack
    std::deque<Waiting> deferred_;
};
