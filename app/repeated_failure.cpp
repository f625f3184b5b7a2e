// A failure that repeats on every tick, shown once.
#include "app/repeated_failure.h"

void RepeatedFailureDisplay::Failed(const std::string& message) {
    if (open_ || shown_ == message) return;
    shown_ = message;
    open_ = true;
    struct Closed {
        bool& open;
        ~Closed() { open = false; }
    } closed{open_};
    show_(message);
}
