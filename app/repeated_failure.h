// Showing a failure that repeats on every timer tick once, rather than once per tick.
#pragma once
#include <functional>
#include <optional>
#include <string>

// The tick runs four times a second and keeps running while a message box is open (the box's
// own message loop delivers the timer), so a failure shown from inside the tick stacked up a
// box per tick. A failure is shown when no box of this display is open and it differs from the
// one shown last; a tick that ends without failing clears that memory, so the same failure
// coming back later is shown again.
class RepeatedFailureDisplay {
  public:
    using Show = std::function<void(const std::string& message)>;
    // show: puts the message in front of the user and returns when the user has closed it.
    explicit RepeatedFailureDisplay(Show show) : show_(std::move(show)) {}

    void Failed(const std::string& message);
    void Succeeded() { shown_.reset(); }

  private:
    Show show_;
    bool open_ = false;                 // a box of this display is open
    std::optional<std::string> shown_;  // the failure shown last, until a tick succeeds
};
